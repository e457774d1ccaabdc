#pragma once
// The order of the library's static initialisation is part of its behaviour: the host bindings (which detect
// the host build) come before the plug-in object, whatever order the linker puts the objects in and whichever
// object format the library has. Lower numbers run first.

#define ZEPHREL_INIT_HOST_BINDINGS __attribute__((init_priority(1000)))
#define ZEPHREL_INIT_PLUGIN_OBJECT __attribute__((init_priority(2000)))
