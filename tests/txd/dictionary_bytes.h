#pragma once
// Texture dictionaries written byte by byte, field by field, for the tests and the fuzzer's seeds: nothing here
// comes from the library, so that a fact it gets wrong is not written wrong here too.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace txd_test {

// A Direct3D format named by four characters, as "DXT1".
constexpr std::uint32_t FourCharacters(const char (&text)[5]) {
  return static_cast<std::uint8_t>(text[0]) | static_cast<std::uint8_t>(text[1]) << 8 |
         static_cast<std::uint8_t>(text[2]) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[3])) << 24;
}

class Bytes {
 public:
  Bytes& U8(std::uint32_t value) {
    data.push_back(static_cast<std::uint8_t>(value));
    return *this;
  }
  Bytes& U16(std::uint32_t value) { return U8(value & 0xFF).U8(value >> 8 & 0xFF); }
  Bytes& U32(std::uint32_t value) { return U16(value & 0xFFFF).U16(value >> 16); }
  Bytes& Raw(const std::vector<std::uint8_t>& bytes) {
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
  }
  // A text field of `size` bytes, padded with NULs.
  Bytes& Text(const std::string& text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) U8(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    return *this;
  }
  // A section whose size Close fills in.
  Bytes& Open(std::uint32_t type, std::uint32_t stamp = 0x1803FFFF) {
    open_.push_back(data.size());
    return U32(type).U32(0).U32(stamp);
  }
  Bytes& Close() {
    const std::size_t at = open_.back();
    open_.pop_back();
    const auto size = static_cast<std::uint32_t>(data.size() - at - 12);
    for (int i = 0; i < 4; ++i) data[at + 4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    return *this;
  }

  std::vector<std::uint8_t> data;

 private:
  std::vector<std::size_t> open_;
};

// One texture's fields as a file holds them; by default a 4 by 4 8888 texture of the PC layout.
struct TextureFields {
  std::string name = "Banner";
  std::uint32_t platform = 9;
  std::uint32_t rasterFormat = 0x0500;
  std::uint32_t alphaOrFormat = 21;  // the older layout's alpha, or the PC layout's Direct3D format
  std::uint32_t width = 4, height = 4;
  std::uint8_t bits = 32, rasterType = 4, flags = 0;
  std::vector<std::uint8_t> palette{};              // written when not empty
  std::vector<std::vector<std::uint8_t>> levels{};  // each level's pixels, largest first
};

inline void AddTexture(Bytes& bytes, const TextureFields& fields) {
  bytes.Open(0x15).Open(0x01);
  bytes.U32(fields.platform).U32(0x1106).Text(fields.name, 32).Text("", 32);
  bytes.U32(fields.rasterFormat).U32(fields.alphaOrFormat).U16(fields.width).U16(fields.height);
  bytes.U8(fields.bits).U8(static_cast<std::uint32_t>(fields.levels.size())).U8(fields.rasterType).U8(fields.flags);
  bytes.Raw(fields.palette);
  for (const auto& level : fields.levels) bytes.U32(static_cast<std::uint32_t>(level.size())).Raw(level);
  bytes.Close().Open(0x03).Close().Close();
}

inline std::vector<std::uint8_t> Dictionary(const std::vector<TextureFields>& textures, std::uint32_t deviceId = 2) {
  Bytes bytes;
  bytes.Open(0x16).Open(0x01).U16(static_cast<std::uint32_t>(textures.size())).U16(deviceId).Close();
  for (const TextureFields& texture : textures) AddTexture(bytes, texture);
  bytes.Open(0x03).Close().Close();
  return bytes.data;
}

}  // namespace txd_test
