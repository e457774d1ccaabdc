#include "trails/immediate_vertices.h"

host::ImmediateVertex ImmediateVertices[kImmediateVertexCapacity];
