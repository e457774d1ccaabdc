// A texture's largest level decoded to RGBA: the uncompressed layouts pixel by pixel, the compressed ones block by
// block. Midpoints of compressed blocks are truncated, as the common decoders compute them.

#include <cstdint>
#include <cstring>
#include <limits>

#include "txd/format.h"
#include "txd/pixels.h"
#include "txd/texture_dictionary.h"

namespace txd {

namespace {

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

std::uint32_t Read16(const std::uint8_t* at) { return at[0] | at[1] << 8; }

std::uint32_t Read32(const std::uint8_t* at) {
  return at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// A channel of `bits` bits (1, 4, 5 or 6) to 8, its high bits repeated below it so that the largest value is 255.
std::uint8_t Widen(std::uint32_t value, int bits) {
  if (bits == 1) return value != 0 ? 255 : 0;
  return static_cast<std::uint8_t>(value << (8 - bits) | value >> (2 * bits - 8));
}

Rgba From565(std::uint32_t word) {
  return {Widen(word >> 11 & 31, 5), Widen(word >> 5 & 63, 6), Widen(word & 31, 5), 255};
}

Rgba FromWord(PixelFormat format, std::uint32_t word) {
  switch (format) {
    case PixelFormat::k565:
      return From565(word);
    case PixelFormat::k1555:
      return {Widen(word >> 10 & 31, 5), Widen(word >> 5 & 31, 5), Widen(word & 31, 5), Widen(word >> 15, 1)};
    case PixelFormat::k555:
      return {Widen(word >> 10 & 31, 5), Widen(word >> 5 & 31, 5), Widen(word & 31, 5), 255};
    default:  // 4444
      return {Widen(word >> 8 & 15, 4), Widen(word >> 4 & 15, 4), Widen(word & 15, 4), Widen(word >> 12, 4)};
  }
}

// The colour half of a compressed block: two 565 colours and a 2-bit index a pixel. A first colour not above the
// second makes DXT1's three-colour block, whose fourth index is transparent black; DXT3 and DXT5 always have four.
void DecodeColours(const std::uint8_t* block, bool dxt1, Rgba (&pixels)[16]) {
  const std::uint32_t first = Read16(block), second = Read16(block + 2);
  Rgba colours[4] = {From565(first), From565(second)};
  const auto mix = [&](int weightFirst, int weightSecond, int total) {
    const auto channel = [&](std::uint8_t Rgba::*c) {
      return static_cast<std::uint8_t>((weightFirst * colours[0].*c + weightSecond * colours[1].*c) / total);
    };
    return Rgba{channel(&Rgba::r), channel(&Rgba::g), channel(&Rgba::b), 255};
  };
  if (dxt1 && first <= second) {
    colours[2] = mix(1, 1, 2);
    colours[3] = Rgba{0, 0, 0, 0};
  } else {
    colours[2] = mix(2, 1, 3);
    colours[3] = mix(1, 2, 3);
  }
  const std::uint32_t indices = Read32(block + 4);
  for (int i = 0; i < 16; ++i) pixels[i] = colours[indices >> (2 * i) & 3];
}

// DXT3's alpha: 4 bits a pixel, the first pixel in the low bits.
void DecodeExplicitAlpha(const std::uint8_t* block, Rgba (&pixels)[16]) {
  for (int i = 0; i < 16; ++i) pixels[i].a = Widen(block[i / 2] >> (4 * (i % 2)) & 15, 4);
}

// DXT5's alpha: two values and a 3-bit index a pixel. A first value above the second gives six steps between
// them; otherwise four, and 0 and 255.
void DecodeInterpolatedAlpha(const std::uint8_t* block, Rgba (&pixels)[16]) {
  const int first = block[0], second = block[1];
  int values[8] = {first, second};
  if (first > second) {
    for (int step = 1; step < 7; ++step) values[step + 1] = ((7 - step) * first + step * second) / 7;
  } else {
    for (int step = 1; step < 5; ++step) values[step + 1] = ((5 - step) * first + step * second) / 5;
    values[6] = 0;
    values[7] = 255;
  }
  std::uint64_t indices = 0;
  for (int i = 0; i < 6; ++i) indices |= static_cast<std::uint64_t>(block[2 + i]) << (8 * i);
  for (int i = 0; i < 16; ++i) pixels[i].a = static_cast<std::uint8_t>(values[indices >> (3 * i) & 7]);
}

void Put(Picture& picture, std::size_t index, Rgba pixel) {
  std::uint8_t* at = picture.rgba.data() + 4 * index;
  at[0] = pixel.r;
  at[1] = pixel.g;
  at[2] = pixel.b;
  at[3] = pixel.a;
}

void DecodeBlocks(PixelFormat format, const std::uint8_t* bytes, Picture& picture) {
  const std::size_t blockSize = format == PixelFormat::kDxt1 ? 8 : 16;
  const std::uint32_t across = (picture.width + 3) / 4, down = (picture.height + 3) / 4;
  for (std::uint32_t by = 0; by < down; ++by) {
    for (std::uint32_t bx = 0; bx < across; ++bx, bytes += blockSize) {
      Rgba pixels[16];
      if (format == PixelFormat::kDxt1) {
        DecodeColours(bytes, true, pixels);
      } else {
        DecodeColours(bytes + 8, false, pixels);
        if (format == PixelFormat::kDxt3)
          DecodeExplicitAlpha(bytes, pixels);
        else
          DecodeInterpolatedAlpha(bytes, pixels);
      }
      // The blocks on the right and bottom edges stand past the picture when a side is not a multiple of 4.
      for (std::uint32_t y = 0; y < 4 && by * 4 + y < picture.height; ++y) {
        for (std::uint32_t x = 0; x < 4 && bx * 4 + x < picture.width; ++x)
          Put(picture, std::size_t{by * 4 + y} * picture.width + bx * 4 + x, pixels[4 * y + x]);
      }
    }
  }
}

void DecodePixels(PixelFormat format, const std::uint8_t* bytes, const std::uint8_t* palette, Picture& picture) {
  const std::size_t count = std::size_t{picture.width} * picture.height;
  for (std::size_t i = 0; i < count; ++i) {
    Rgba pixel;
    switch (format) {
      case PixelFormat::k8888:
      case PixelFormat::k888: {
        const std::uint8_t* at = bytes + 4 * i;  // B, G, R, A
        pixel = {at[2], at[1], at[0], format == PixelFormat::k8888 ? at[3] : std::uint8_t{255}};
        break;
      }
      case PixelFormat::kGrey8:
        pixel = {bytes[i], bytes[i], bytes[i], 255};
        break;
      case PixelFormat::kPalette8: {
        const std::uint8_t* at = palette + 4 * bytes[i];  // R, G, B, A
        pixel = {at[0], at[1], at[2], at[3]};
        break;
      }
      default:
        pixel = FromWord(format, Read16(bytes + 2 * i));
        break;
    }
    Put(picture, i, pixel);
  }
}

bool IsCompressed(PixelFormat format) {
  return format == PixelFormat::kDxt1 || format == PixelFormat::kDxt3 || format == PixelFormat::kDxt5;
}

// Whether [at, at + size) lies within a file of `fileSize` bytes.
bool Within(std::size_t at, std::uint64_t size, std::size_t fileSize) {
  return at <= fileSize && size <= fileSize - at;
}

}  // namespace

std::uint64_t PixelBytesNeeded(PixelFormat format, std::uint32_t width, std::uint32_t height) {
  const std::uint64_t pixels = std::uint64_t{width} * height;
  const std::uint64_t blocks = std::uint64_t{(width + 3) / 4} * ((height + 3) / 4);
  switch (format) {
    case PixelFormat::kDxt1:
      return blocks * 8;
    case PixelFormat::kDxt3:
    case PixelFormat::kDxt5:
      return blocks * 16;
    case PixelFormat::k8888:
    case PixelFormat::k888:  // stored in 4 bytes on the PC
      return pixels * 4;
    case PixelFormat::k565:
    case PixelFormat::k1555:
    case PixelFormat::k4444:
    case PixelFormat::k555:
      return pixels * 2;
    case PixelFormat::kGrey8:
    case PixelFormat::kPalette8:
      return pixels;
    case PixelFormat::kPalette4:
    case PixelFormat::kOther:
      break;
  }
  return 0;
}

bool DecodePicture(std::span<const std::uint8_t> file, const Texture& texture, Picture& picture) {
  picture = Picture{};
  const std::uint64_t needed = PixelBytesNeeded(texture.format, texture.width, texture.height);
  if (!texture.notShown.empty() || needed == 0 || needed > texture.pixelBytes ||
      !Within(texture.pixels, texture.pixelBytes, file.size()))
    return false;
  if (texture.format == PixelFormat::kPalette8 && !Within(texture.palette, format::kPaletteSize, file.size()))
    return false;
  // At most eight times the pixels' bytes (DXT1: half a byte a pixel), which lie within the file.
  const std::uint64_t bytes = std::uint64_t{texture.width} * texture.height * 4;
  if (bytes > std::numeric_limits<std::size_t>::max()) return false;
  picture.width = texture.width;
  picture.height = texture.height;
  picture.rgba.resize(static_cast<std::size_t>(bytes));
  const std::uint8_t* pixels = file.data() + texture.pixels;
  if (IsCompressed(texture.format))
    DecodeBlocks(texture.format, pixels, picture);
  else
    DecodePixels(texture.format, pixels, file.data() + texture.palette, picture);
  return true;
}

}  // namespace txd
