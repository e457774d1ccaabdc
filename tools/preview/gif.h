#pragma once
// The animated GIF of a flight, written with Debian's giflib: one palette for all frames (a colour cube,
// dithered), every frame after the first only where it differs from the one before, playing in a loop.

#include <optional>
#include <string>
#include <vector>

#include "image.h"

struct GifFileType;

namespace preview {

class GifWriter {
 public:
  GifWriter() = default;
  ~GifWriter();  // closes the file if still open
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;

  // Starts the file of frames `width` by `height`, each shown for `delayCentiseconds`. False, with the reason in
  // error(), when it cannot.
  bool Open(const std::string& path, int width, int height, int delayCentiseconds);
  // Adds a frame of the size given to Open.
  bool Add(const Image& frame);
  // Ends the file; false when it could not be written whole.
  bool Close();

  int frames() const { return frames_; }
  const std::string& error() const { return error_; }

 private:
  bool Fail(int code);

  GifFileType* file_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int delay_ = 0;
  int frames_ = 0;
  std::optional<Image> previous_;  // the last frame, to find what changed
  std::vector<std::uint8_t> indices_;
  std::string error_;
};

// The palette index of an 8-bit colour at pixel (x, y): ordered dithering over a 6 x 7 x 6 colour cube.
std::uint8_t PaletteIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue, int x, int y);

}  // namespace preview
