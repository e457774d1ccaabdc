# Wine runs the Windows programs of the tests. Its prefix lives in this build tree and is made on first use
# (the probe below, at configure time); every program runs with WINEDEBUG=-all, and under a locale whose ANSI
# code page is 1252. Where Wine cannot start a program (a kernel that refuses 32-bit programs, wine32
# missing), configuring says so and the wine tests are reported as not run, with that reason. With
# ZEPHREL_TESTS_IN_VM the tests run under the Wine of scripts/vm32's i386 machine, in the prefix made with it.
if(ZEPHREL_TESTS_IN_VM)
  set(ZEPHREL_WINE_PROGRAM /usr/bin/wine)
  set(ZEPHREL_WINESERVER /usr/bin/wineserver)
  set(ZEPHREL_WINE_PREFIX /var/lib/zephrel/wine-prefix)
else()
  find_program(ZEPHREL_WINE_PROGRAM wine)
  find_program(ZEPHREL_WINESERVER wineserver)
  set(ZEPHREL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
endif()
set(ZEPHREL_WINE_ENVIRONMENT WINEPREFIX=${ZEPHREL_WINE_PREFIX} WINEDEBUG=-all LC_ALL=C.UTF-8)
set(CMAKE_CROSSCOMPILING_EMULATOR env ${ZEPHREL_WINE_ENVIRONMENT} ${ZEPHREL_WINE_PROGRAM})

# The probe program: run here to see whether Wine starts, and by the wine server fixture to start its services.
set(probe_dir ${CMAKE_BINARY_DIR}/wine-probe)
file(WRITE ${probe_dir}/probe.cpp "int main() { return 0; }\n")
try_compile(probe_built ${probe_dir}/build ${probe_dir}/probe.cpp LINK_OPTIONS -static
            COPY_FILE ${probe_dir}/probe.exe OUTPUT_VARIABLE probe_log)
if(NOT probe_built)
  message(FATAL_ERROR "Cannot build a Windows program\n${probe_log}")
endif()

set(ZEPHREL_WINE_UNAVAILABLE "")
if(ZEPHREL_TESTS_IN_VM)
  message(STATUS "The wine tests run in the i386 machine of scripts/vm32 (prefix ${ZEPHREL_WINE_PREFIX} there)")
elseif(NOT ZEPHREL_WINE_PROGRAM OR NOT ZEPHREL_WINESERVER)
  set(ZEPHREL_WINE_UNAVAILABLE "Wine is not installed (scripts/deps installs wine and wine32)")
else()
  execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${probe_dir}/probe.exe TIMEOUT 300
                  RESULT_VARIABLE probe_status OUTPUT_VARIABLE probe_output ERROR_VARIABLE probe_output)
  if(NOT probe_status STREQUAL "0")
    string(STRIP "${probe_output}" probe_output)
    set(ZEPHREL_WINE_UNAVAILABLE "Wine cannot start a program here (exit status ${probe_status}) ${probe_output}")
  endif()
endif()
if(ZEPHREL_WINE_UNAVAILABLE)
  message(WARNING "${ZEPHREL_WINE_UNAVAILABLE}. The wine tests will be reported as not run.")
elseif(NOT ZEPHREL_TESTS_IN_VM)
  message(STATUS "Wine starts Windows programs here (prefix ${ZEPHREL_WINE_PREFIX})")
endif()

# Tests that run under Wine: labelled wine, and sharing one wine server for the test run (wine_server).
function(zephrel_wine_properties)
  set_tests_properties(${ARGN} PROPERTIES LABELS wine FIXTURES_REQUIRED wine_server)
endfunction()

# Where Wine cannot start, a test standing for the group `name` that ctest reports as not run, with the reason.
function(zephrel_wine_not_run name)
  add_test(NAME ${name}.not_run COMMAND ${CMAKE_COMMAND} -E echo "Not run: ${ZEPHREL_WINE_UNAVAILABLE}")
  set_tests_properties(${name}.not_run PROPERTIES LABELS wine SKIP_REGULAR_EXPRESSION "Not run: ")
endfunction()

# One wine server kept for the whole test run, so that a program starts in a fraction of a second, and stopped
# at the end; both for this prefix only. A server still lingering from the build is stopped first: a running
# server cannot be told to stay. The server and the services Wine starts with the first program live as long
# as the server does and keep the standard output and error they were given, which ctest would wait on: they
# get a log instead (the probe program starts the services).
function(zephrel_wine_server_fixture)
  if(ZEPHREL_WINE_UNAVAILABLE)
    return()
  endif()
  set(log ${CMAKE_BINARY_DIR}/wineserver.log)
  add_test(NAME wine.server.start COMMAND env ${ZEPHREL_WINE_ENVIRONMENT} sh -c
           "${ZEPHREL_WINESERVER} -k 2>/dev/null; ${ZEPHREL_WINESERVER} -p 2>>${log} && \
            ${ZEPHREL_WINE_PROGRAM} ${CMAKE_BINARY_DIR}/wine-probe/probe.exe </dev/null >>${log} 2>&1")
  add_test(NAME wine.server.stop COMMAND env ${ZEPHREL_WINE_ENVIRONMENT} ${ZEPHREL_WINESERVER} -k)
  # Under software emulation Wine's services take minutes to start, not seconds.
  set(start_timeout 60)
  if(ZEPHREL_TESTS_IN_VM)
    set(start_timeout 600)
  endif()
  set_tests_properties(wine.server.start PROPERTIES LABELS wine FIXTURES_SETUP wine_server TIMEOUT ${start_timeout})
  set_tests_properties(wine.server.stop PROPERTIES LABELS wine FIXTURES_CLEANUP wine_server)
endfunction()
