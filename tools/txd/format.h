#pragma once
// The numbers of the dictionary format that reading and writing share. All of a file's numbers are little-endian.

#include <cstddef>
#include <cstdint>

namespace txd::format {

// Every section begins with its type, the size of what follows the header, and a library stamp.
inline constexpr std::size_t kHeaderSize = 12;
inline constexpr std::uint32_t kStruct = 0x01;
inline constexpr std::uint32_t kExtension = 0x03;
inline constexpr std::uint32_t kTexture = 0x15;
inline constexpr std::uint32_t kDictionary = 0x16;
inline constexpr std::uint32_t kModel = 0x10;  // a model file's first section
// The stamp the PC game writes; any other is read.
inline constexpr std::uint32_t kStamp = 0x1803FFFF;

// The dictionary's struct: a 16-bit texture count and a 16-bit device id.
inline constexpr std::size_t kDictionaryStructSize = 4;
inline constexpr std::uint16_t kDeviceId = 2;

// A texture's struct, from its start: platform, sampling, name, mask name, raster format, alpha or Direct3D format,
// width, height, bits per pixel, mip levels, raster type, compression or flags. Then the palette, if any, and the
// levels, each a 32-bit byte count and its pixels.
inline constexpr std::uint32_t kOlderPcPlatform = 8;
inline constexpr std::uint32_t kPcPlatform = 9;
// Other consoles' platforms: a number, or four letters.
inline constexpr std::uint32_t kConsolePlatforms[] = {5, 0x00325350};
inline constexpr std::size_t kPlatformAt = 0, kSamplingAt = 4, kNameAt = 8, kMaskAt = 40, kRasterFormatAt = 72,
                             kAlphaOrFormatAt = 76, kWidthAt = 80, kHeightAt = 82, kBitsAt = 84, kLevelsAt = 85,
                             kRasterTypeAt = 86, kFlagsAt = 87, kTextureStructSize = 88;
inline constexpr std::size_t kNameSize = 32;
inline constexpr std::uint32_t kSampling = 0x1106;  // linear with mipmaps, wrapped both ways
inline constexpr std::uint8_t kRasterTypeTexture = 4;

// The raster format: the pixel format in its low 12 bits, and flags above.
inline constexpr std::uint32_t kPixelFormatMask = 0x0F00;
inline constexpr std::uint32_t kRaster1555 = 0x0100, kRaster565 = 0x0200, kRaster4444 = 0x0300, kRasterGrey = 0x0400,
                               kRaster8888 = 0x0500, kRaster888 = 0x0600, kRaster555 = 0x0A00;
inline constexpr std::uint32_t kRasterPalette8 = 0x2000, kRasterPalette4 = 0x4000;
inline constexpr std::size_t kPaletteSize = 256 * 4;

// The flags byte of the PC layout.
inline constexpr std::uint8_t kFlagAlpha = 0x01, kFlagCubeMap = 0x02;

// Direct3D's formats, as the PC layout names them: four characters for the compressed ones, else a number.
constexpr std::uint32_t FourCharacters(char a, char b, char c, char d) {
  return static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b) << 8 | static_cast<std::uint8_t>(c) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24;
}
inline constexpr std::uint32_t kD3dDxt1 = FourCharacters('D', 'X', 'T', '1'),
                               kD3dDxt3 = FourCharacters('D', 'X', 'T', '3'),
                               kD3dDxt5 = FourCharacters('D', 'X', 'T', '5');
inline constexpr std::uint32_t kD3d8888 = 21, kD3d888 = 22, kD3d565 = 23, kD3d555 = 24, kD3d1555 = 25, kD3d4444 = 26,
                               kD3dPalette8 = 41, kD3dGrey = 50;

// The older PC layout's compression byte.
inline constexpr std::uint8_t kCompressionDxt1 = 1, kCompressionDxt3 = 3;

}  // namespace txd::format
