#pragma once
// Calling conventions of the host's functions, spelled out on every host function type: the host was built
// by a compiler whose free functions are cdecl and whose member functions are thiscall (object in ECX).

#if defined(__wasm__)
// The browser preview plays the host in WebAssembly, which has a single calling convention.
#define HOST_CDECL
#define HOST_THISCALL
#else
#define HOST_CDECL __attribute__((cdecl))
#define HOST_THISCALL __attribute__((thiscall))
#endif
