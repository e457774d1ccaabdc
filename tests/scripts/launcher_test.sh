#!/usr/bin/env bash
# scripts/run-i386 runs an i386 program itself exactly when the kernel would, and through qemu-i386 otherwise:
# the kernel's two answers (a binfmt_misc entry that claims i386 ELF files, and whether exec takes one) faked in
# every combination that matters, then the real answer held to a real i386 program.
set -u
scripts=$1 i386_program=$2
work=$(mktemp -d --tmpdir zephrel-launcher-test.XXXXXX)
trap 'umount "$work/noexec" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/bin"
printf '#!/bin/sh\necho "qemu-i386 $*"\n' >"$work/bin/qemu-i386"
printf '#!/bin/sh\necho "itself $*"\n' >"$work/program"
chmod +x "$work/bin/qemu-i386" "$work/program"

i386_magic=7f454c4601010100000000000000000002000300
arm_magic=7f454c4601010100000000000000000002002800
# binfmt_misc folder: status of the whole, then one entry as "state magic" (none: no entry at all).
entry() {
  local dir=$1 status=$2 state=$3 magic=$4
  rm -rf "$dir"
  mkdir -p "$dir"
  echo "$status" >"$dir/status"
  : >"$dir/register"
  [ "$state" = none ] && return
  printf '%s\ninterpreter /usr/bin/qemu-i386\nflags: F\noffset 0\nmagic %s\nmask fffffffffffefe\n' \
    "$state" "$magic" >"$dir/qemu-i386"
}

failures=0
# binfmt status | entry state | entry magic | exec takes i386 | expected runner
while read -r status state magic probe expected; do
  entry "$work/binfmt" "$status" "$state" "${magic/i386/$i386_magic}"
  [ "$magic" = arm ] && entry "$work/binfmt" "$status" "$state" "$arm_magic"
  got=$(PATH="$work/bin:$PATH" ZEPHREL_BINFMT_MISC="$work/binfmt" ZEPHREL_I386_PROBE="$probe" \
    "$scripts/run-i386" "$work/program" one two)
  want="itself one two"
  [ "$expected" = qemu ] && want="qemu-i386 $work/program one two"
  if [ "$got" != "$want" ]; then
    echo "binfmt $status, entry $state $magic, probe $probe: got '$got', want '$want'"
    failures=$((failures + 1))
  fi
done <<'CASES'
enabled  none     -    true  itself
enabled  none     -    false qemu
enabled  enabled  i386 true  qemu
enabled  enabled  i386 false qemu
enabled  disabled i386 true  itself
disabled enabled  i386 true  itself
enabled  enabled  arm  true  itself
CASES

# The real question, asked of this kernel with the minimal program, agrees with what exec does to a real one
# (where a binfmt_misc entry claims i386 files, both are the emulator's and the real program proves nothing).
if ! grep -qs '^magic 7f454c4601.*0300' /proc/sys/fs/binfmt_misc/* 2>/dev/null; then
  "$i386_program" --version >/dev/null 2>&1
  real=$?
  "$scripts/i386-native"
  asked=$?
  if [ $((real == 0)) != $((asked == 0)) ]; then
    echo "scripts/i386-native says $asked, but an i386 program exits with $real when run directly"
    failures=$((failures + 1))
  fi
fi

# The minimal program runs from a folder that runs programs: on a noexec $TMPDIR the answer stays the kernel's, and
# where no folder runs programs the answer is "cannot tell" (2), not "refuses".
if [ -z "${real:-}" ]; then
  echo "(an emulator claims i386 files here: the probe's folder is not checked)"
elif [ "$(id -u)" != 0 ] || ! command -v mount >/dev/null; then
  echo "(not root, or no mount here: the probe's folder is not checked)"
elif mkdir -p "$work/noexec" "$work/runs" && mount -t tmpfs -o noexec,size=1m zephrel-noexec "$work/noexec"; then
  want_native=$((real == 0 ? 0 : 1))
  # TMPDIR | folders to try (- for the default ones) | exit status; noexec and runs stand for the two folders
  while read -r tmpdir dirs want; do
    want=${want/native/$want_native}
    tmpdir=${tmpdir//noexec/$work/noexec} dirs=${dirs//noexec/$work/noexec}
    tmpdir=${tmpdir//runs/$work/runs} dirs=${dirs//runs/$work/runs}
    [ "$dirs" = - ] && dirs=""
    status=0
    TMPDIR=$tmpdir ZEPHREL_I386_PROBE_DIRS=$dirs "$scripts/i386-native" 2>"$work/said" || status=$?
    if [ "$status" != "$want" ]; then
      echo "TMPDIR $tmpdir, folders ${dirs:-default}: i386-native says $status, want $want ($(cat "$work/said"))"
      failures=$((failures + 1))
    elif [ "$status" = 2 ] && ! grep -q "cannot tell" "$work/said"; then
      echo "TMPDIR $tmpdir, folders $dirs: no 'cannot tell' in '$(cat "$work/said")'"
      failures=$((failures + 1))
    fi
  done <<'CASES'
noexec -            native
noexec noexec:runs  native
runs   noexec       2
CASES
  left=$(find "$work/noexec" "$work/runs" -mindepth 1)
  if [ -n "$left" ]; then
    echo "the probe left $left behind"
    failures=$((failures + 1))
  fi
else
  echo "(no noexec folder could be mounted: the probe's folder is not checked)"
fi

if [ "$failures" = 0 ]; then echo "the launcher chose right in every case"; fi
[ "$failures" = 0 ]
