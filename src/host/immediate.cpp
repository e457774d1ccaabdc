#include "host/immediate.h"

namespace host {

ImmediateVertex ImmediateVertices[kImmediateVertexCapacity];
std::uint16_t ImmediateIndices[kImmediateIndexCapacity];

}  // namespace host
