# Decide how i386 programs run here: natively where the kernel takes 32-bit executables itself (scripts/i386-native
# asks it), otherwise through qemu-i386. ctest, gtest discovery and custom commands all honour
# CMAKE_CROSSCOMPILING_EMULATOR.
option(ZEPHREL_FORCE_QEMU "Run i386 programs through qemu-i386 even where they would run natively" OFF)

set(_native FALSE)
if(ZEPHREL_TESTS_IN_VM)
  set(_native TRUE)
elseif(NOT ZEPHREL_FORCE_QEMU)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/i386-native RESULT_VARIABLE _native_rc)
  if(_native_rc STREQUAL "0")
    set(_native TRUE)
  endif()
endif()

set(ZEPHREL_I386_NATIVE ${_native} CACHE INTERNAL "i386 programs run natively where the tests run")
if(ZEPHREL_TESTS_IN_VM)
  message(STATUS "i386 programs run natively in the machine of scripts/vm32, where the tests run")
elseif(_native)
  message(STATUS "i386 programs run natively")
endif()
if(_native)
  set(CMAKE_CROSSCOMPILING_EMULATOR "")
else()
  find_program(ZEPHREL_QEMU_I386 qemu-i386 REQUIRED)
  message(STATUS "i386 programs run through ${ZEPHREL_QEMU_I386}")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEPHREL_QEMU_I386})
endif()

# A program people type: the i386 executable is <name>.i386, and <name> beside it a launcher that runs it through
# scripts/run-i386, which picks qemu-i386 at each run where this kernel refuses i386 programs.
function(zephrel_typed_program target name)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name}.i386)
  file(GENERATE OUTPUT $<TARGET_FILE_DIR:${target}>/${name}
       CONTENT "#!/bin/sh\nexec '${PROJECT_SOURCE_DIR}/scripts/run-i386' '$<TARGET_FILE:${target}>' \"$@\"\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endfunction()
