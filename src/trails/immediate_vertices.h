#pragma once
// The one scratch array of immediate-mode vertices, filled by banner drawing and then by trail drawing within
// the same drawing callback, never at the same time.

#include "host/host.h"

inline constexpr int kImmediateVertexCapacity = 256;

extern host::ImmediateVertex ImmediateVertices[kImmediateVertexCapacity];
