# The closing summary of scripts/test: one row a suite, then one line of totals. Sourced by scripts/test and by
# the test that holds its counts to ctest's own.

summary_rows=()
summary_failed_suites=0

# ctest_counts LOG: "passed failed skipped" from ctest's own closing lines. ctest counts a skipped test among the
# passed ("100% tests passed ... out of N" with some of the N skipped), and a disabled one in none of the N.
ctest_counts() {
  local log=$1 total=0 failed=0 skipped disabled line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=${BASH_REMATCH[1]}
    total=${BASH_REMATCH[2]}
  fi
  skipped=$(sed -n '/^The following tests did not run:/,/^$/p' "$log" | grep -cE '\(Skipped\)$')
  disabled=$(sed -n '/^The following tests did not run:/,/^$/p' "$log" | grep -cE '\(Disabled\)$')
  echo "$((total - failed - skipped)) $failed $((skipped + disabled))"
}

# summary_add SUITE WHERE PASSED FAILED SKIPPED SECONDS [NOTE]
summary_add() {
  summary_rows+=("$1|$2|$3|$4|$5|$6|${7:-}")
  if [ "$4" != 0 ]; then summary_failed_suites=$((summary_failed_suites + 1)); fi
}

summary_print() {
  local row suite where passed failed skipped seconds note total_p=0 total_f=0 total_s=0
  echo
  printf '%-34s %-22s %7s %7s %8s %7s  %s\n' suite "where it ran" passed failed skipped time note
  for row in "${summary_rows[@]}"; do
    IFS='|' read -r suite where passed failed skipped seconds note <<<"$row"
    printf '%-34s %-22s %7s %7s %8s %6ss  %s\n' "$suite" "$where" "$passed" "$failed" "$skipped" "$seconds" "$note"
    total_p=$((total_p + passed))
    total_f=$((total_f + failed))
    total_s=$((total_s + skipped))
  done
  echo
  echo "Total: $total_p passed, $total_f failed, $total_s skipped"
}
