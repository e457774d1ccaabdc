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

std::uint8_t Channel8(float value) {
  // NaN would make the conversion undefined. Rounded by adding a half, as the value is not negative: a call
  // per channel would cost an animation dearly.
  const float clamped = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
  return static_cast<std::uint8_t>(clamped * 255.0f + 0.5f);
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
  for (const Colour& pixel : pixels_) {
    bytes.push_back(Channel8(pixel.r));
    bytes.push_back(Channel8(pixel.g));
    bytes.push_back(Channel8(pixel.b));
  }
  return bytes;
}

void FillRect(Image& image, int left, int top, int width, int height, const Colour& colour, float alpha) {
  const int right = std::min(image.width(), left + std::max(width, 0));
  const int bottom = std::min(image.height(), top + std::max(height, 0));
  for (int y = std::max(top, 0); y < bottom; ++y) {
    for (int x = std::max(left, 0); x < right; ++x) image.Blend(x, y, colour, alpha);
  }
}

void Paste(Image& into, const Image& from, int left, int top) {
  const int first = std::max(0, -left);
  const int last = std::min(from.width(), into.width() - left);  // one past
  if (first >= last) return;
  for (int y = std::max(0, -top); y < from.height() && y + top < into.height(); ++y) {
    std::copy(&from.at(first, y), &from.at(last - 1, y) + 1, &into.at(first + left, y + top));
  }
}

bool WritePng(const Image& image, const std::string& path) {
  if (image.width() == 0 || image.height() == 0) return false;
  const std::vector<std::uint8_t> bytes = image.Rgb8();
  return stbi_write_png(path.c_str(), image.width(), image.height(), 3, bytes.data(), image.width() * 3) != 0;
}

}  // namespace preview
