# The simulated host as a Windows program's part, for Wine: a static library, because the host image is the
# test program's own section .game (windows.cpp). The linker's default script, with .game inserted at
# 0x401000 before .text, puts it where the game has its code and data, in an image that must load at 0x400000.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${CMAKE_LINKER} --verbose OUTPUT_VARIABLE linker_help RESULT_VARIABLE linker_status)
string(REGEX MATCH "\n=+\n(.*)\n=+\n" script "${linker_help}")
set(script "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\n  \\.text  __image_base__ [^\n]*:\n"
       "\n  .game __image_base__ + 0x1000 : { *(.game) }\n  .text BLOCK(__section_alignment__) :\n"
       script "${script}")
if(NOT linker_status EQUAL 0 OR NOT script MATCHES "\n  \\.game ")
  message(FATAL_ERROR "Cannot make the host image's linker script from the default script of ${CMAKE_LINKER}")
endif()
set(image_script ${CMAKE_CURRENT_BINARY_DIR}/host_image.ld)
file(WRITE ${image_script} "${script}\n")

add_library(simhost STATIC image.cpp entries.cpp world.cpp plugin.cpp windows.cpp)
target_include_directories(simhost PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/layers/host
                                          ${CMAKE_BINARY_DIR}/layers/patching)
target_compile_options(simhost PUBLIC -msse2 -mfpmath=sse)
# Wine's drive Z: is the root of the Linux file system.
target_compile_definitions(simhost PRIVATE ZEPHREL_DLL_PATH="Z:${ZEPHREL_DIST_DIR}/Zephrel.dll")
# Fixed at 0x400000 (no relocation) and, like the DLL, without runtime DLLs beside it.
target_link_options(simhost INTERFACE -static -static-libgcc -static-libstdc++
  -Wl,--image-base=0x400000 -Wl,--disable-dynamicbase -Wl,--disable-reloc-section -Wl,-T,${image_script})
