# Runs CHECKER (through EMULATOR, if any) with ARGS (default: INI; NONE: no argument at all) and compares its
# output, then what it wrote to stderr, then a line with its exit status, with the file EXPECTED, in which
# @PROGRAM@, @VERSION@, @SEPARATOR@ and @CHECKER_DIR@ stand for the checker's name, its version, the separator
# of its paths and its folder. With SIZE, INI is written first, in a folder of this test's own where the checker
# then runs: [MAIN] and empty lines, SIZE bytes in all. With DICTIONARY, the same folder gets a copy of INI and
# WRITER (through EMULATOR) writes the dictionary of that kind at DICTIONARY_AT, a path relative to the folder.
set(own "")
set(where)
if(DEFINED SIZE OR DEFINED DICTIONARY)
  include(${CMAKE_CURRENT_LIST_DIR}/../own_folder.cmake)
  own_folder(own checker)
  set(where WORKING_DIRECTORY ${own})
endif()
if(DEFINED SIZE)
  math(EXPR padding "${SIZE} - 7")
  string(REPEAT "\n" ${padding} lines)
  file(WRITE ${own}/${INI} "[MAIN]\n${lines}")
endif()
if(DEFINED DICTIONARY)
  file(COPY ${INI} DESTINATION ${own})
  get_filename_component(INI ${INI} NAME)
  if(NOT DICTIONARY STREQUAL "none")
    get_filename_component(folder ${own}/${DICTIONARY_AT} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    execute_process(COMMAND ${EMULATOR} ${WRITER} ${DICTIONARY} ${DICTIONARY_AT} WORKING_DIRECTORY ${own}
                    RESULT_VARIABLE written)
    if(NOT written EQUAL 0)
      file(REMOVE_RECURSE ${own})
      message(FATAL_ERROR "cannot write the ${DICTIONARY} dictionary: ${written}")
    endif()
  endif()
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
