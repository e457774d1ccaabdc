# Runs CHECKER (through EMULATOR, if any) with ARGS (default: INI) and compares its output, followed by a line
# with its exit status, with the file EXPECTED, in which @PROGRAM@ and @VERSION@ stand for the checker's name
# and version. With SIZE, INI is written first: [MAIN] and empty lines, SIZE bytes in all.
if(DEFINED SIZE)
  math(EXPR padding "${SIZE} - 7")
  string(REPEAT "\n" ${padding} lines)
  file(WRITE ${INI} "[MAIN]\n${lines}")
endif()
if(NOT DEFINED ARGS)
  set(ARGS ${INI})
endif()
execute_process(COMMAND ${EMULATOR} ${CHECKER} ${ARGS}
                OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
string(APPEND output "exit status: ${status}\n")
file(READ ${EXPECTED} expected)
string(CONFIGURE "${expected}" expected @ONLY)
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "The checker's output differs from ${EXPECTED}.\n"
                      "--- got:\n${output}${errors}--- expected:\n${expected}")
endif()
