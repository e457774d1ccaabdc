#pragma once
// The scratch arrays handed to the host's immediate-mode renderer: the vertices, filled by banner drawing and
// then by trail drawing within the same drawing callback (never at the same time), and the indices of the
// banners' cloths and the trails' ribbons.

#include <array>
#include <cstddef>
#include <cstdint>

#include "host/host.h"

namespace host {

inline constexpr int kImmediateVertexCapacity = 256;
inline constexpr int kImmediateIndexCapacity = 1024;

extern ImmediateVertex ImmediateVertices[kImmediateVertexCapacity];
extern std::uint16_t ImmediateIndices[kImmediateIndexCapacity];

// The triangle list of a band of `Pairs` vertex pairs, pair k being vertices 2k and 2k + 1 across the band: two
// triangles between each pair and the next. A banner's cloth and a trail's ribbon are such bands.
template <int Pairs>
constexpr std::array<std::uint16_t, 6 * (Pairs - 1)> BandIndices() {
  std::array<std::uint16_t, 6 * (Pairs - 1)> indices{};
  std::size_t n = 0;
  for (int k = 0; k + 1 < Pairs; ++k) {
    const int upper = 2 * k;
    for (int index : {upper, upper + 1, upper + 3, upper, upper + 3, upper + 2}) {
      indices[n++] = static_cast<std::uint16_t>(index);
    }
  }
  return indices;
}

}  // namespace host
