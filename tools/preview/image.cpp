#include "image.h"

#include <algorithm>
#include <cmath>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO_DEFAULT_PATH_WARNING
#include <stb/stb_image_write.h>

namespace preview {

Colour Mix(const Colour& from, const Colour& to, float amount) {
  return {from.r + (to.r - from.r) * amount, from.g + (to.g - from.g) * amount, from.b + (to.b - from.b) * amount};
}

Image::Image(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), Colour{0.0f, 0.0f, 0.0f}) {}

void Image::Blend(int x, int y, const Colour& colour, float alpha) {
  Colour& pixel = at(x, y);
  pixel = Mix(pixel, colour, std::clamp(alpha, 0.0f, 1.0f));
}

std::vector<std::uint8_t> Image::Rgb8() const {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(pixels_.size() * 3);
  auto channel = [](float value) {
    // NaN would make the conversion undefined; it paints black.
    const float clamped = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    return static_cast<std::uint8_t>(std::lround(clamped * 255.0f));
  };
  for (const Colour& pixel : pixels_) {
    bytes.push_back(channel(pixel.r));
    bytes.push_back(channel(pixel.g));
    bytes.push_back(channel(pixel.b));
  }
  return bytes;
}

bool WritePng(const Image& image, const std::string& path) {
  if (image.width() == 0 || image.height() == 0) return false;
  const std::vector<std::uint8_t> bytes = image.Rgb8();
  return stbi_write_png(path.c_str(), image.width(), image.height(), 3, bytes.data(), image.width() * 3) != 0;
}

}  // namespace preview
