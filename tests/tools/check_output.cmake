# Runs CHECKER (through EMULATOR, if any) on INI and compares its output, followed by a line with its exit
# status, with the file EXPECTED.
execute_process(COMMAND ${EMULATOR} ${CHECKER} ${INI}
                OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
string(APPEND output "exit status: ${status}\n")
file(READ ${EXPECTED} expected)
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "The checker's output differs from ${EXPECTED}.\n"
                      "--- got:\n${output}${errors}--- expected:\n${expected}")
endif()
