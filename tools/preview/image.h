#pragma once
// An RGB picture being painted, and writing it as PNG.

#include <cstdint>
#include <string>
#include <vector>

namespace preview {

struct Colour {
  float r;
  float g;
  float b;
};

Colour Mix(const Colour& from, const Colour& to, float amount);  // amount 0: from, 1: to

// A channel's value (0..1, clamped; NaN paints black) in 8 bits.
std::uint8_t Channel8(float value);

class Image {
 public:
  Image(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }

  // The caller keeps x and y inside the picture.
  Colour& at(int x, int y) { return pixels_[Index(x, y)]; }
  const Colour& at(int x, int y) const { return pixels_[Index(x, y)]; }

  // Lays `colour` over the pixel with opacity `alpha` (0..1).
  void Blend(int x, int y, const Colour& colour, float alpha);

  // 8 bits per channel, row by row from the top, values clamped to 0..1.
  std::vector<std::uint8_t> Rgb8() const;

 private:
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
  }

  int width_;
  int height_;
  std::vector<Colour> pixels_;
};

// Lays `colour` with opacity `alpha` over the pixels of the rectangle that lie inside the picture.
void FillRect(Image& image, int left, int top, int width, int height, const Colour& colour, float alpha = 1.0f);

// Copies `from` into `into` with its top left corner at (left, top), as far as it fits.
void Paste(Image& into, const Image& from, int left, int top);

// False when the file cannot be written.
bool WritePng(const Image& image, const std::string& path);

}  // namespace preview
