# The table of what each part of the DLL takes (cmake/dll_layers.cmake), made from a linker map of the kind mingw's
# ld writes, and the check that holds the README to it (tests/dll_layers.cmake), on READMEs that do and do not agree.
#
#   cmake -DSOURCE_DIR=<project> -DWORK=<a folder of its own> -P dll_layers_test.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

set(lib /usr/lib/gcc/i686-w64-mingw32/12-posix)
set(b /work/build)
# Kept: a one-line and a two-line input section, the runtimes' code. Not counted: a discarded section, .bss, the
# imports, the debug sections, the fill between sections, symbols.
file(WRITE "${WORK}/test.map" "Archive member included to satisfy reference by file (symbol)

Discarded input sections

 .text          0x00000000       0x40 ${b}/src/config/libzephrel_config.a(rules.cpp.obj)

Linker script and memory map

.text           0x10001000     0x2000
 *(.text)
 .text          0x10001000      0x100 ${b}/src/plugin/CMakeFiles/zephrel.dir/plugin.cpp.obj
 .text\$_ZN6config5ParseEv
                0x10001100       0x80 ${b}/src/config/libzephrel_config.a(ini_parser.cpp.obj)
                0x10001100                config::Parse()
 *fill*         0x10001180        0x4 
 .text          0x10001184      0x200 ${lib}/libstdc++.a(eh_personality.o)
 .text          0x10001384       0x20 ${lib}/../../../../i686-w64-mingw32/lib/../lib/dllcrt2.o
.bss            0x10004000     0x1000
 .bss           0x10004000      0x800 ${b}/src/trails/libzephrel_trails.a(trail_store.cpp.obj)
.idata          0x10005000      0x200
 .idata\$7       0x10005000        0x4 ${lib}/../../../../i686-w64-mingw32/lib/../lib/libmsvcrt.a(libmsvcrt_defs00001.o)
.eh_frame       0x10006000      0x200
 .eh_frame      0x10006000       0x30 ${b}/src/config/libzephrel_config.a(ini_parser.cpp.obj)
.rsrc           0x10007000      0x400
 .rsrc          0x10007000      0x2c8 ${b}/src/plugin/CMakeFiles/zephrel.dir/__/__/package/zephrel.rc.res
.debug_info     0x10008000      0x100
 .debug_info    0x10008000      0x100 ${b}/src/host/libzephrel_host.a(host_version.cpp.obj)
")
string(REPEAT "x" 10000 bytes)
file(WRITE "${WORK}/test.dll" "${bytes}")

set(table "| part of the DLL | bytes |
|---|---:|
| platform | 0 |
| patching | 0 |
| host | 0 |
| hooks | 0 |
| config | 176 |
| banners | 0 |
| trails | 0 |
| plugin | 256 |
| the C++ runtime: exceptions, thread-safe statics and the threads they lock with | 512 |
| the C runtime and the DLL's start-up | 32 |
| the rest: headers, imports, base relocations, version resource, alignment | 9,024 |
| all of `Zephrel.dll`, stripped | 10,000 |
")
execute_process(COMMAND ${CMAKE_COMMAND} -DMAP=${WORK}/test.map -DDLL=${WORK}/test.dll -DOUTPUT=${WORK}/table.md
                        -P ${SOURCE_DIR}/cmake/dll_layers.cmake RESULT_VARIABLE rc ERROR_VARIABLE error)
file(READ "${WORK}/table.md" made)
if(NOT rc EQUAL 0 OR NOT made STREQUAL table)
  message(FATAL_ERROR "dll_layers.cmake made (${rc}, ${error}):\n${made}\nnot:\n${table}")
endif()

# What the check should say of the README when the second text is put in place of the first in its table.
set(cases
  PASS "" ""
  # 1 KiB off a small row is drift, not a price.
  PASS "| config | 176 |" "| config | 1,200 |"
  FAIL "| config | 176 |" "| config | 1,201 |"
  FAIL "| hooks | 0 |\n" ""
  FAIL "| host |" "| hosts |"
  FAIL "${table}" "no table at all\n")
list(LENGTH cases count)
math(EXPR last "${count} - 1")
foreach(at RANGE 0 ${last} 3)
  math(EXPR from_at "${at} + 1")
  math(EXPR to_at "${at} + 2")
  list(GET cases ${at} verdict)
  list(GET cases ${from_at} from)
  list(GET cases ${to_at} to)
  set(readme "Intro\n\n${table}\nMore text\n")
  if(NOT from STREQUAL "")
    string(REPLACE "${from}" "${to}" readme "${readme}")
  endif()
  file(WRITE "${WORK}/README${at}.md" "${readme}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DREADME=${WORK}/README${at}.md -DTABLE=${WORK}/table.md
                          -P ${SOURCE_DIR}/tests/dll_layers.cmake RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE error)
  if(verdict STREQUAL "PASS" AND NOT rc EQUAL 0)
    message(FATAL_ERROR "the check failed on:\n${readme}\n${error}")
  elseif(verdict STREQUAL "FAIL" AND (rc EQUAL 0 OR NOT error MATCHES "Paste the build's table"))
    message(FATAL_ERROR "the check passed, or failed without the table to paste, on:\n${readme}\n${error}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
