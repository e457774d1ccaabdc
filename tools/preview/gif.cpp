#include "gif.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace preview {
namespace {

constexpr int kRedLevels = 6;
constexpr int kGreenLevels = 7;  // the eye tells greens apart best, and the ground is green
constexpr int kBlueLevels = 6;
constexpr int kPaletteSize = 256;
constexpr std::uint8_t kUnchanged = 255;  // transparent: the pixel shows the frame before
static_assert(kRedLevels * kGreenLevels * kBlueLevels <= kUnchanged);

// A 4 x 4 Bayer matrix: the thresholds of ordered dithering, in sixteenths.
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

int Level(std::uint8_t value, int levels, int threshold) {
  // floor(value / 255 * (levels - 1) + (threshold + 0.5) / 16), in integers.
  const int level = (value * (levels - 1) * 32 + (2 * threshold + 1) * 255) / (255 * 32);
  return std::min(level, levels - 1);
}

}  // namespace

std::uint8_t PaletteIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue, int x, int y) {
  const int threshold = kBayer[y & 3][x & 3];
  const int r = Level(red, kRedLevels, threshold);
  const int g = Level(green, kGreenLevels, threshold);
  const int b = Level(blue, kBlueLevels, threshold);
  return static_cast<std::uint8_t>((r * kGreenLevels + g) * kBlueLevels + b);
}

GifWriter::~GifWriter() {
  if (file_ != nullptr) Close();
}

bool GifWriter::Fail(int code) {
  error_ = GifErrorString(code) != nullptr ? GifErrorString(code) : "giflib error " + std::to_string(code);
  if (file_ != nullptr) {
    int ignored = 0;
    EGifCloseFile(file_, &ignored);
    file_ = nullptr;
  }
  return false;
}

bool GifWriter::Open(const std::string& path, int width, int height, int delayCentiseconds) {
  // Opened here rather than by giflib, which would make the file readable by its owner only.
  const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (descriptor < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  int code = 0;
  file_ = EGifOpenFileHandle(descriptor, &code);
  if (file_ == nullptr) {
    close(descriptor);
    return Fail(code);
  }
  width_ = width;
  height_ = height;
  delay_ = delayCentiseconds;
  frames_ = 0;
  previous_.reset();

  GifColorType colours[kPaletteSize] = {};
  for (int r = 0; r < kRedLevels; ++r) {
    for (int g = 0; g < kGreenLevels; ++g) {
      for (int b = 0; b < kBlueLevels; ++b) {
        GifColorType& colour = colours[(r * kGreenLevels + g) * kBlueLevels + b];
        colour.Red = static_cast<GifByteType>(r * 255 / (kRedLevels - 1));
        colour.Green = static_cast<GifByteType>(g * 255 / (kGreenLevels - 1));
        colour.Blue = static_cast<GifByteType>(b * 255 / (kBlueLevels - 1));
      }
    }
  }
  ColorMapObject* palette = GifMakeMapObject(kPaletteSize, colours);
  if (palette == nullptr) return Fail(E_GIF_ERR_NOT_ENOUGH_MEM);
  EGifSetGifVersion(file_, true);  // GIF89a: frame delays and transparency
  const int described = EGifPutScreenDesc(file_, width, height, 8, 0, palette);
  GifFreeMapObject(palette);
  if (described == GIF_ERROR) return Fail(file_->Error);
  // Loop for ever (the application extension browsers understand).
  unsigned char loop[] = {1, 0, 0};
  if (EGifPutExtensionLeader(file_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(file_, 11, "NETSCAPE2.0") == GIF_ERROR ||
      EGifPutExtensionBlock(file_, sizeof loop, loop) == GIF_ERROR || EGifPutExtensionTrailer(file_) == GIF_ERROR) {
    return Fail(file_->Error);
  }
  return true;
}

bool GifWriter::Add(const Image& frame) {
  if (file_ == nullptr || frame.width() != width_ || frame.height() != height_) return false;
  const bool first = !previous_;
  // Only the box around what changed is written, with what did not change inside it transparent. Most of a
  // frame is the same sky and ground as before, so only changed pixels are converted.
  int left = width_, top = height_, right = -1, bottom = -1;
  indices_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), kUnchanged);
  for (int y = 0; y < height_; ++y) {
    const Colour* now = &frame.at(0, y);
    const Colour* before = first ? nullptr : &previous_->at(0, y);
    std::uint8_t* row = &indices_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_)];
    for (int x = 0; x < width_; ++x) {
      if (!first && std::memcmp(&now[x], &before[x], sizeof(Colour)) == 0) continue;
      row[x] = PaletteIndex(Channel8(now[x].r), Channel8(now[x].g), Channel8(now[x].b), x, y);
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < 0) left = right = top = bottom = 0;  // nothing changed: one transparent pixel keeps the time

  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSE_DO_NOT;
  control.DelayTime = delay_;
  control.TransparentColor = first ? NO_TRANSPARENT_COLOR : kUnchanged;
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);
  if (EGifPutExtension(file_, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) == GIF_ERROR ||
      EGifPutImageDesc(file_, left, top, right - left + 1, bottom - top + 1, false, nullptr) == GIF_ERROR) {
    return Fail(file_->Error);
  }
  for (int y = top; y <= bottom; ++y) {
    GifPixelType* row =
        &indices_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(left)];
    if (EGifPutLine(file_, row, right - left + 1) == GIF_ERROR) return Fail(file_->Error);
  }
  previous_ = frame;
  ++frames_;
  return true;
}

bool GifWriter::Close() {
  if (file_ == nullptr) return false;
  int code = 0;
  const int closed = EGifCloseFile(file_, &code);
  file_ = nullptr;
  if (closed == GIF_ERROR) {
    error_ = GifErrorString(code) != nullptr ? GifErrorString(code) : "cannot finish the file";
    return false;
  }
  return true;
}

}  // namespace preview
