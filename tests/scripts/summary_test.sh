#!/usr/bin/env bash
# The closing table of scripts/test counts what ctest counted: a small project with tests that pass, fail, are
# skipped and are disabled, run by ctest, read back by the table's counter and compared with ctest's JUnit report.
set -u
scripts=$1
work=$(mktemp -d --tmpdir zephrel-summary-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/project"
cat >"$work/project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(counts NONE)
enable_testing()
foreach(n 1 2 3)
  add_test(NAME passes.${n} COMMAND ${CMAKE_COMMAND} -E true)
endforeach()
add_test(NAME fails COMMAND ${CMAKE_COMMAND} -E false)
add_test(NAME skips COMMAND ${CMAKE_COMMAND} -E echo "Not run: no such thing here")
set_tests_properties(skips PROPERTIES SKIP_REGULAR_EXPRESSION "Not run: ")
add_test(NAME disabled COMMAND ${CMAKE_COMMAND} -E true)
set_tests_properties(disabled PROPERTIES DISABLED TRUE)
CMAKE
# Ninja, as every build here: a fresh machine has no make.
cmake -G Ninja -S "$work/project" -B "$work/build" >/dev/null || exit 1
ctest --test-dir "$work/build" --output-junit "$work/junit.xml" >"$work/ctest.log" 2>&1
source "$scripts/summary.sh"
read -r passed failed skipped <<<"$(ctest_counts "$work/ctest.log")"

attribute() { sed -n "s/^[[:space:]]*$1=\"\\([0-9]*\\)\"/\\1/p" "$work/junit.xml" | head -n 1; }
tests=$(attribute tests) failures=$(attribute failures) junit_skipped=$(attribute skipped)
junit_disabled=$(attribute disabled)
want="$((tests - failures - junit_skipped - junit_disabled)) $failures $((junit_skipped + junit_disabled))"
if [ "$passed $failed $skipped" != "$want" ] || [ "$want" != "3 1 2" ]; then
  echo "the table counts '$passed $failed $skipped', ctest's report '$want' (of 3 passed, 1 failed, 2 skipped)"
  exit 1
fi
summary_add "a suite" here "$passed" "$failed" "$skipped" 1
summary_add "another" there 5 0 0 2
last=$(summary_print | tail -n 1)
if [ "$last" != "Total: 8 passed, 1 failed, 2 skipped" ]; then
  echo "the closing line reads '$last'"
  exit 1
fi
echo "the table counts as ctest does: $passed passed, $failed failed, $skipped skipped"
