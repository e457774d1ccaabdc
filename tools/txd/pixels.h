#pragma once
// How much of a file the largest level of a texture takes, for the reader to check before anything is decoded.

#include <cstdint>

#include "txd/texture_dictionary.h"

namespace txd {

// The bytes a width by height level takes in the format; 0 for a format that is not decoded.
std::uint64_t PixelBytesNeeded(PixelFormat format, std::uint32_t width, std::uint32_t height);

}  // namespace txd
