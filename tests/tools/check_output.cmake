# Runs CHECKER (through EMULATOR, if any) with ARGS (default: INI; NONE: no argument at all) and compares its
# output, then what it wrote to stderr, then a line with its exit status, with the file EXPECTED, in which
# @PROGRAM@, @VERSION@, @SEPARATOR@ and @CHECKER_DIR@ stand for the checker's name, its version, the separator
# of its paths and its folder. With SIZE, INI is written first, in a folder of this test's own where the checker
# then runs: [MAIN] and empty lines, SIZE bytes in all.
set(own "")
set(where)
if(DEFINED SIZE)
  include(${CMAKE_CURRENT_LIST_DIR}/../own_folder.cmake)
  own_folder(own checker)
  set(where WORKING_DIRECTORY ${own})
  math(EXPR padding "${SIZE} - 7")
  string(REPEAT "\n" ${padding} lines)
  file(WRITE ${own}/${INI} "[MAIN]\n${lines}")
endif()
if(NOT DEFINED ARGS)
  set(ARGS ${INI})
elseif(ARGS STREQUAL "NONE")
  set(ARGS "")  # not unset: that would bring back the cache entry -DARGS made
endif()
get_filename_component(CHECKER_DIR ${CHECKER} DIRECTORY)
execute_process(COMMAND ${EMULATOR} ${CHECKER} ${ARGS} ${where}
                OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
if(own)
  file(REMOVE_RECURSE ${own})
endif()
string(APPEND output "${errors}exit status: ${status}\n")
file(READ ${EXPECTED} expected)
string(CONFIGURE "${expected}" expected @ONLY)
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "The checker's output differs from ${EXPECTED}.\n"
                      "--- got:\n${output}--- expected:\n${expected}")
endif()
