// Shared by the msvcrt stand-ins.
#pragma once

#include <span>

#include "win32_internal.h"

namespace simhost::pe::detail {

// msvcrt's errno, which the DLL reads through _errno(); the host's values are translated.
void set_errno(int msvcrt_value);
void set_errno_from_host();  // from the host's errno

std::span<const Shim> msvcrt_io_shims();

}  // namespace simhost::pe::detail
