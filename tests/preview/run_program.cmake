# Runs PROGRAM (a list: an emulator, if any, then the program) with ARGUMENTS (one string, split like a shell
# would) and checks its exit status against STATUS and its output (stdout and stderr) against the regex EXPECTED.
# @FOLDER@ in ARGUMENTS stands for a folder of this run's own, removed afterwards.
include(${CMAKE_CURRENT_LIST_DIR}/../own_folder.cmake)
own_folder(folder preview)
string(REPLACE "@FOLDER@" "${folder}" ARGUMENTS "${ARGUMENTS}")
separate_arguments(arguments UNIX_COMMAND "${ARGUMENTS}")
execute_process(COMMAND ${PROGRAM} ${arguments} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(REMOVE_RECURSE ${folder})
if(NOT result STREQUAL STATUS)
  message(FATAL_ERROR "exit status ${result}, expected ${STATUS}\nstdout: ${out}\nstderr: ${err}")
endif()
if(NOT "${out}${err}" MATCHES "${EXPECTED}")
  message(FATAL_ERROR "output does not match '${EXPECTED}'\nstdout: ${out}\nstderr: ${err}")
endif()
