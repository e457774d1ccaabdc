# Reading Debian's package lists from a mirror that may be caught mid-sync, for scripts/deps and scripts/vm32's
# private apt. Sourced.
#
# Such a mirror can serve one index that does not match its Release file (the security suite's i386 index, for
# days at a time). apt then goes on without it, and an install that needs both halves of a Multi-Arch pair (libssl3
# and libssl3:i386) finds the amd64 half at the security suite's version and the i386 half only at the main suite's:
# "held broken packages". Taking every package at the main suite's version (apt's target release) keeps the pairs
# equal. It is chosen only when an index failed, and said in one line; apt still checks every index it reads.
# apt's words are read here, so apt speaks English (LC_ALL=C) whatever language the machine is set to.

# apt_failed_indexes LOG: one line per index apt could not fetch, "SUITE|WHAT|REASON", WHAT being component/arch
# (or the Release file itself).
apt_failed_indexes() {
  sed -n -E 's#^[EW]: Failed to fetch [^ ]*/dists/([^/ ]+)/([^ ]*)  (.*)$#\1|\2|\3#p' "$1" |
    sed -E 's#\|([^/|]+)/binary-([^/|]+)/[^|]*\|#|\1/\2|#; s#\|In?Release\|#|Release file|#; s# \[IP: [^]]*\]$##'
}

# apt_read_lists APT...: runs `APT update` (apt-get, or a private apt with its own options), a second time after a
# pause when an index failed. Sets apt_target_release: empty when every index was read or nothing sounder can be
# done, else the options that take the main suite's versions. Prints one line when an index failed, and keeps it
# in apt_lists_said.
apt_read_lists() {
  local log try failed codename
  apt_target_release=()
  apt_lists_said=""
  log=$(mktemp) || return 1
  for try in 1 2; do
    if LC_ALL=C "$@" update -q >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    [ "$try" = 2 ] || sleep "${ZEPHREL_APT_RETRY_PAUSE:-5}"
  done
  failed=$(apt_failed_indexes "$log")
  codename=$(. "${ZEPHREL_OS_RELEASE:-/etc/os-release}" && echo "${VERSION_CODENAME:-}")
  local what=""
  if [ -n "$failed" ]; then
    what="could not read $(cut -d'|' -f1,2 <<<"$failed" | tr '|' ' ' | paste -sd, - | sed 's/,/, /g')"
    what+=" ($(head -n 1 <<<"$failed" | cut -d'|' -f3))"
  else
    what="apt-get update failed: $(grep -m 1 -E '^(E|W):' "$log" || tail -n 1 "$log")"
  fi
  rm -f "$log"
  if [ -n "$failed" ] && [ -n "$codename" ] && ! cut -d'|' -f1 <<<"$failed" | grep -qx "$codename"; then
    apt_target_release=(-t "$codename")
    apt_lists_said="apt: $what; installing $codename's own versions (-t $codename), so that amd64 and i386 halves match"
  else
    apt_lists_said="apt: $what; going on with the lists it read"
  fi
  echo "$apt_lists_said" >&2
}
