#pragma once
// The scratch arrays handed to the host's immediate-mode renderer: the vertices, filled by banner drawing and
// then by trail drawing within the same drawing callback (never at the same time), and the indices of banner
// drawing.

#include <cstdint>

#include "host/host.h"

namespace host {

inline constexpr int kImmediateVertexCapacity = 256;
inline constexpr int kImmediateIndexCapacity = 1024;

extern ImmediateVertex ImmediateVertices[kImmediateVertexCapacity];
extern std::uint16_t ImmediateIndices[kImmediateIndexCapacity];

}  // namespace host
