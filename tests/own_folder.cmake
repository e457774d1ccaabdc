# A folder of a test's own for the files it writes, for the tests that are CMake scripts (cmake -P). ctest runs
# many tests at once and in any order: a fixed name in a shared folder would let one test read what another wrote.

# own_folder(VARIABLE NAME): makes zephrel-NAME-XXXXXX in the temporary folder ($TMPDIR, else /tmp), a name no other
# process holds, and sets VARIABLE to its path. The script removes it (file(REMOVE_RECURSE)) before it ends or fails.
function(own_folder variable name)
  execute_process(COMMAND mktemp -d --tmpdir zephrel-${name}-XXXXXX RESULT_VARIABLE status OUTPUT_VARIABLE folder
                  ERROR_VARIABLE error OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot make a folder of this test's own: ${error}")
  endif()
  set(${variable} ${folder} PARENT_SCOPE)
endfunction()
