# Runs PROGRAM (a list: an emulator, if any, then the program) with ARGUMENTS (one string, split like a shell
# would) and checks its exit status against STATUS and its output (stdout and stderr) against the regex EXPECTED.
separate_arguments(arguments UNIX_COMMAND "${ARGUMENTS}")
execute_process(COMMAND ${PROGRAM} ${arguments} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result STREQUAL STATUS)
  message(FATAL_ERROR "exit status ${result}, expected ${STATUS}\nstdout: ${out}\nstderr: ${err}")
endif()
if(NOT "${out}${err}" MATCHES "${EXPECTED}")
  message(FATAL_ERROR "output does not match '${EXPECTED}'\nstdout: ${out}\nstderr: ${err}")
endif()
