// Writing a dictionary in the one form the PC game's own files have: every texture uncompressed 32-bit B, G, R, A
// with one level, each side a power of two up to 2048, so that no loader of the game has anything to convert.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "txd/format.h"
#include "txd/texture_dictionary.h"

namespace txd {

namespace {

using namespace format;

// Beyond this a side is no picture a player means, and the integer sums of resizing could overflow.
constexpr std::uint32_t kLargestPictureSide = 65535;
constexpr std::uint32_t kMostTextures = 65535;  // the dictionary's count is 16 bits

// The source pixels that make one side's new pixel, with their weights: the new pixel i is made of
// taps[first[i]] up to taps[first[i + 1]], whose weights sum to `total`.
struct Tap {
  std::uint32_t source, weight;
};
struct Axis {
  std::vector<std::size_t> first{0};
  std::vector<Tap> taps;
  std::uint64_t total = 1;
};

Axis Weights(std::uint32_t from, std::uint32_t to) {
  Axis axis;
  if (to < from) {
    // Each new pixel covers [i * from, (i + 1) * from) and each source pixel [s * to, (s + 1) * to), in units of
    // 1/to of a source pixel: the weights are the overlaps.
    axis.total = from;
    for (std::uint32_t i = 0; i < to; ++i) {
      const std::uint64_t begin = std::uint64_t{i} * from, end = begin + from;
      for (std::uint64_t s = begin / to; s * to < end; ++s) {
        const std::uint64_t overlap = std::min(end, (s + 1) * to) - std::max(begin, s * to);
        axis.taps.push_back({static_cast<std::uint32_t>(s), static_cast<std::uint32_t>(overlap)});
      }
      axis.first.push_back(axis.taps.size());
    }
  } else if (to > from) {
    // The new pixel i's centre lies (2i + 1) * from - to units of 1/(2 to) of a source pixel past the first source
    // pixel's centre: the two source pixels around it, weighted by nearness, the edges' held beyond them.
    axis.total = 2 * std::uint64_t{to};
    for (std::uint32_t i = 0; i < to; ++i) {
      const std::int64_t position = (2 * std::int64_t{i} + 1) * from - to;
      const std::int64_t left = position < 0 ? -1 : position / (2 * std::int64_t{to});
      const auto past = static_cast<std::uint32_t>(position - left * 2 * to);
      const auto clamp = [&](std::int64_t s) {
        return static_cast<std::uint32_t>(std::clamp<std::int64_t>(s, 0, from - 1));
      };
      axis.taps.push_back({clamp(left), 2 * to - past});
      axis.taps.push_back({clamp(left + 1), past});
      axis.first.push_back(axis.taps.size());
    }
  } else {
    for (std::uint32_t i = 0; i < to; ++i) {
      axis.taps.push_back({i, 1});
      axis.first.push_back(axis.taps.size());
    }
  }
  return axis;
}

// Sums of weighted pixels: red, green and blue each times alpha, alpha, and red, green and blue alone (for the
// pixels where every source pixel is transparent).
using Sums = std::array<std::uint64_t, 7>;

void Add(Sums& sums, const std::uint8_t* pixel, std::uint64_t weight) {
  const std::uint64_t alpha = pixel[3];
  for (int c = 0; c < 3; ++c) {
    sums[c] += weight * pixel[c] * alpha;
    sums[4 + c] += weight * pixel[c];
  }
  sums[3] += weight * alpha;
}

std::uint8_t Divide(std::uint64_t sum, std::uint64_t total) {
  return static_cast<std::uint8_t>((sum + total / 2) / total);
}

void PutU8(std::vector<std::uint8_t>& out, std::uint32_t value) { out.push_back(static_cast<std::uint8_t>(value)); }

void PutU16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  PutU8(out, value & 0xFF);
  PutU8(out, value >> 8 & 0xFF);
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  PutU16(out, value & 0xFFFF);
  PutU16(out, value >> 16);
}

void PutHeader(std::vector<std::uint8_t>& out, std::uint32_t type, std::uint64_t size) {
  PutU32(out, type);
  PutU32(out, static_cast<std::uint32_t>(size));
  PutU32(out, kStamp);
}

std::string Size(std::uint32_t width, std::uint32_t height) {
  return std::to_string(width) + " by " + std::to_string(height);
}

// Players' words for a picture that cannot be written, or empty.
std::string Refusal(const NamedPicture& named, std::span<const NamedPicture> before) {
  const std::string quoted = "\"" + named.name + "\"";
  if (named.name.empty()) return "a picture has no name: a texture needs one";
  if (named.name.size() > kLongestName)
    return "the name " + quoted + " is " + std::to_string(named.name.size()) + " bytes long: the game keeps at most " +
           std::to_string(kLongestName);
  if (named.name.find('\0') != std::string::npos) return "the name " + quoted + " holds a NUL byte";
  for (const NamedPicture& other : before) {
    if (other.name == named.name) return "two pictures are named " + quoted + ": the game would find only the first";
  }
  const Picture& picture = named.picture;
  if (picture.width == 0 || picture.height == 0)
    return "the picture for " + quoted + " is " + Size(picture.width, picture.height) + " pixels: it has none";
  if (picture.width > kLargestPictureSide || picture.height > kLargestPictureSide)
    return "the picture for " + quoted + " is " + Size(picture.width, picture.height) +
           " pixels: a side of more than 65535 is too large";
  if (picture.rgba.size() != std::uint64_t{picture.width} * picture.height * 4)
    return "the picture for " + quoted + " does not hold its " + Size(picture.width, picture.height) + " pixels";
  return {};
}

}  // namespace

std::uint32_t FittingSide(std::uint32_t side) {
  if (side >= kLargestSide) return kLargestSide;
  if (side <= 1) return 1;
  std::uint32_t lower = 1;
  while (lower * 2 <= side) lower *= 2;
  return side - lower >= lower / 2 ? lower * 2 : lower;
}

Picture Resize(const Picture& picture, std::uint32_t width, std::uint32_t height) {
  const Axis across = Weights(picture.width, width), down = Weights(picture.height, height);
  const std::uint64_t total = across.total * down.total;
  Picture resized{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4)};
  std::vector<Sums> row(width), sums(width);
  for (std::uint32_t y = 0; y < height; ++y) {
    std::fill(sums.begin(), sums.end(), Sums{});
    for (std::size_t t = down.first[y]; t < down.first[y + 1]; ++t) {
      const std::uint8_t* source = picture.rgba.data() + std::size_t{down.taps[t].source} * picture.width * 4;
      std::fill(row.begin(), row.end(), Sums{});
      for (std::uint32_t x = 0; x < width; ++x) {
        for (std::size_t a = across.first[x]; a < across.first[x + 1]; ++a)
          Add(row[x], source + std::size_t{across.taps[a].source} * 4, across.taps[a].weight);
        for (int c = 0; c < 7; ++c) sums[x][c] += row[x][c] * down.taps[t].weight;
      }
    }
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* out = resized.rgba.data() + (std::size_t{y} * width + x) * 4;
      const std::uint64_t alpha = sums[x][3];
      for (int c = 0; c < 3; ++c) out[c] = alpha != 0 ? Divide(sums[x][c], alpha) : Divide(sums[x][4 + c], total);
      out[3] = Divide(alpha, total);
    }
  }
  return resized;
}

WrittenDictionary WriteDictionary(std::span<const NamedPicture> pictures) {
  WrittenDictionary written;
  if (pictures.empty()) {
    written.problem = "there is no picture to put in the dictionary";
    return written;
  }
  if (pictures.size() > kMostTextures) {
    written.problem = "a dictionary holds at most 65535 textures";
    return written;
  }
  std::uint64_t texturesSize = 0;
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    written.problem = Refusal(pictures[i], pictures.first(i));
    if (!written.problem.empty()) return written;
    const Picture& picture = pictures[i].picture;
    WrittenTexture texture;
    texture.name = pictures[i].name;
    texture.pictureWidth = picture.width;
    texture.pictureHeight = picture.height;
    texture.width = FittingSide(picture.width);
    texture.height = FittingSide(picture.height);
    if (texture.width != picture.width || texture.height != picture.height) {
      texture.note = "resized from " + Size(picture.width, picture.height) + " to " +
                     Size(texture.width, texture.height) +
                     " pixels, since the game reads only sides that are powers of two up to 2048; the cloth "
                     "stretches it across itself as before";
    }
    texturesSize += 3 * kHeaderSize + kTextureStructSize + 4 + std::uint64_t{texture.width} * texture.height * 4;
    written.textures.push_back(std::move(texture));
  }
  const std::uint64_t dictionarySize = kHeaderSize + kDictionaryStructSize + texturesSize + kHeaderSize;
  if (kHeaderSize + dictionarySize > UINT32_MAX) {
    written.problem = "these pictures make a dictionary larger than 4 GiB, too large for the game";
    written.textures.clear();
    return written;
  }

  std::vector<std::uint8_t>& out = written.bytes;
  out.reserve(static_cast<std::size_t>(kHeaderSize + dictionarySize));
  PutHeader(out, kDictionary, dictionarySize);
  PutHeader(out, kStruct, kDictionaryStructSize);
  PutU16(out, static_cast<std::uint32_t>(pictures.size()));
  PutU16(out, kDeviceId);
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    WrittenTexture& texture = written.textures[i];
    const bool resized = !texture.note.empty();
    const Picture fitted = resized ? Resize(pictures[i].picture, texture.width, texture.height) : Picture{};
    const std::vector<std::uint8_t>& rgba = resized ? fitted.rgba : pictures[i].picture.rgba;
    texture.hasAlpha = false;
    for (std::size_t p = 3; p < rgba.size(); p += 4) texture.hasAlpha = texture.hasAlpha || rgba[p] != 255;

    const std::uint64_t pixelBytes = rgba.size();
    const std::uint64_t structSize = kTextureStructSize + 4 + pixelBytes;
    PutHeader(out, kTexture, 2 * kHeaderSize + structSize);
    PutHeader(out, kStruct, structSize);
    PutU32(out, kPcPlatform);
    PutU32(out, kSampling);
    std::string name = texture.name;
    name.resize(kNameSize, '\0');
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), kNameSize, 0);  // no mask
    PutU32(out, kRaster8888);
    PutU32(out, kD3d8888);
    PutU16(out, texture.width);
    PutU16(out, texture.height);
    PutU8(out, 32);
    PutU8(out, 1);  // one level
    PutU8(out, kRasterTypeTexture);
    PutU8(out, texture.hasAlpha ? kFlagAlpha : 0);
    PutU32(out, static_cast<std::uint32_t>(pixelBytes));
    for (std::size_t p = 0; p < rgba.size(); p += 4) {
      const std::uint8_t bgra[] = {rgba[p + 2], rgba[p + 1], rgba[p], rgba[p + 3]};
      out.insert(out.end(), bgra, bgra + 4);
    }
    PutHeader(out, kExtension, 0);
  }
  PutHeader(out, kExtension, 0);
  return written;
}

}  // namespace txd
