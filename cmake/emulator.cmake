# Decide how i386 programs run here: natively where the kernel takes 32-bit executables, otherwise
# through qemu-i386. ctest, gtest discovery and custom commands all honour CMAKE_CROSSCOMPILING_EMULATOR.
option(ZEPHREL_FORCE_QEMU "Run i386 programs through qemu-i386 even where they would run natively" OFF)

set(_probe_dir ${CMAKE_BINARY_DIR}/i386-probe)
file(WRITE ${_probe_dir}/probe.cpp "int main() { return 0; }\n")
try_compile(_probe_built ${_probe_dir}/build ${_probe_dir}/probe.cpp
            COPY_FILE ${_probe_dir}/probe OUTPUT_VARIABLE _probe_log)
if(NOT _probe_built)
  message(FATAL_ERROR "Cannot build an i386 program (is g++-multilib installed?)\n${_probe_log}")
endif()

set(_native FALSE)
if(NOT ZEPHREL_FORCE_QEMU)
  execute_process(COMMAND ${_probe_dir}/probe RESULT_VARIABLE _probe_rc OUTPUT_QUIET ERROR_QUIET)
  if(_probe_rc STREQUAL "0")
    set(_native TRUE)
  endif()
endif()

# Kept in the cache, so that the test command can tell without configuring anything else.
set(ZEPHREL_I386_NATIVE ${_native} CACHE INTERNAL "i386 programs run natively here")
if(_native)
  message(STATUS "i386 programs run natively")
  set(CMAKE_CROSSCOMPILING_EMULATOR "")
else()
  find_program(ZEPHREL_QEMU_I386 qemu-i386 REQUIRED)
  message(STATUS "i386 programs run through ${ZEPHREL_QEMU_I386}")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEPHREL_QEMU_I386})
endif()
