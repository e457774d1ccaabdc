#!/usr/bin/env bash
# scripts/vm32 stops at the first step that fails and marks a machine made only after its first boot passed; it
# unpacks only this make's packages; a command reaches the machine's dash word for word. Without the network or an
# emulator: apt-get and qemu are stand-ins that serve small packages made here and run the guest's script with dash.
set -u
scripts=$1
if [ "$(id -u)" != 0 ]; then
  echo "Not run: the packages unpack as root"
  exit 77
fi
work=$(mktemp -d --tmpdir zephrel-vm32-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
# A work tree whose path dash must be handed right: spaces, a quote and letters beyond ASCII.
top="$work/tree ä'ö"
mkdir -p "$top/scripts" "$work/bin" "$work/debs"
cp "$scripts/vm32" "$scripts/apt-lists.sh" "$top/scripts/"

# The machine's packages: one holds what the make reads from a root, one is taken in two versions (the older in the
# cache from an earlier make), and a partial download lies in the cache too.
deb() { # NAME VERSION FILE...
  local name=$1 version=$2 dir=$work/src/$1-$2
  shift 2
  mkdir -p "$dir/DEBIAN"
  printf 'Package: %s\nVersion: %s\nArchitecture: i386\nMaintainer: Zephrel <z@localhost>\nDescription: t\n' \
    "$name" "$version" >"$dir/DEBIAN/control"
  local file
  for file in "$@"; do
    mkdir -p "$dir/$(dirname "$file")"
    head -c 200 /dev/urandom >"$dir/$file"
  done
  dpkg-deb -Zgzip --build "$dir" "$work/debs/${name}_${version//:/%3a}_i386.deb" >/dev/null
}
deb base 1 bin/busybox boot/vmlinuz-6.1 lib/modules/6.1/kernel/.keep usr/share/base-passwd/passwd.master \
  usr/share/base-passwd/group.master usr/i686-w64-mingw32/lib/zlib1.dll usr/lib/i386-linux-gnu/wine/i386-windows/.keep \
  usr/bin/.keep sbin/.keep etc/.keep
deb lib 1:2 usr/share/lib/version-2
deb lib 1:1 usr/share/lib/version-1

# apt-get: `update` reads nothing (with FAKE_UPDATE=broken, the security suite's i386 index fails); `install -s`
# resolves to base 1 and lib 1:2; `install --download-only` copies them into the cache (or fails, with
# FAKE_DOWNLOAD=fail), where the cache also keeps lib 1:1 and a partial file. It speaks German unless LC_ALL=C, as
# apt does on a machine set to German; each call is logged.
cat >"$work/bin/apt-get" <<'EOF'
#!/bin/bash
echo "$*" >>"$FAKE_APT_LOG"
cache=""
for arg; do case "$arg" in Dir::Cache=*) cache=${arg#Dir::Cache=} ;; esac; done
case " $* " in
  *" update "*)
    [ "${FAKE_UPDATE:-}" = broken ] || exit 0
    index="file:/mirror/dists/zlt-security/main/binary-i386/Packages"
    if [ "${LC_ALL:-}" = C ]; then
      echo "E: Failed to fetch $index  Hash Sum mismatch"
    else
      echo "E: Fehlschlag beim Holen von $index  Hash-Summe stimmt nicht"
    fi
    exit 100 ;;
  *" -s "*) printf 'Inst base (1 Debian:12 [i386]) []\nInst lib (1:2 Debian:12, Debian:12-security [i386])\n' ;;
  *" --download-only "*)
    [ "${FAKE_DOWNLOAD:-}" = fail ] && { echo "E: Failed to fetch lib"; exit 100; }
    cp "$FAKE_DEBS"/*.deb "$cache/archives/"
    echo "not a package" >"$cache/archives/partial/base_1_i386.deb"
    if [ "${LC_ALL:-}" = C ]; then
      echo "Need to get 1 kB of archives."
    else
      echo "Es müssen 1 kB an Archiven heruntergeladen werden."
    fi ;;
esac
EOF
# qemu: the first boot passes or not as FAKE_FIRST_BOOT says (with FAKE_BOOT_WAITS_FOR, once that file says that a
# second caller waits); later runs run the command with dash, as the machine does, from the run folder it shares.
cat >"$work/bin/qemu" <<'EOF'
#!/bin/bash
echo "$*" >>"$FAKE_LOG"
for arg; do
  case "$arg" in local,path=*,mount_tag=run,*) run=${arg#local,path=} run=${run%%,mount_tag=run,*} ;; esac
done
if grep -q wineboot "$run/command"; then
  for _ in $(seq 300); do
    [ -z "${FAKE_BOOT_WAITS_FOR:-}" ] || grep -qs "waiting for the make" "$FAKE_BOOT_WAITS_FOR" && break
    sleep 0.1
  done
  [ -x "$run/sanitizer-probe" ] || exit 1
  [ "$FAKE_FIRST_BOOT" = pass ] && echo 0 >"$run/status"
  exit 0
fi
dash "$run/command" >"$run/output" 2>&1
echo $? >"$run/status"
EOF
printf '#!/bin/sh\ncat >/dev/null\n' >"$work/bin/cpio"
chmod +x "$work/bin"/*

failures=0
fail() {
  echo "$case: $*"
  failures=$((failures + 1))
}
printf 'VERSION_CODENAME=zlt\n' >"$work/os-release"
vm32() {
  PATH="$work/bin:$PATH" FAKE_DEBS=$work/debs FAKE_LOG=$work/qemu.log FAKE_APT_LOG=$work/apt.log \
    ZEPHREL_VM32_QEMU=$work/bin/qemu ZEPHREL_VM32_DIR=$work/vm ZEPHREL_APT_RETRY_PAUSE=0 \
    ZEPHREL_OS_RELEASE=$work/os-release "$top/scripts/vm32" "$@"
}

# check CASE DOWNLOAD CORRUPT FIRST-BOOT STATUS STOPPED-AT: a make with the download failing or not, one of this
# make's packages corrupt or not, and the first boot passing or not; it exits with STATUS, naming the step it
# stopped at (- when made), and only a machine that was made has a stamp and went on past the step.
check() {
  case=$1
  local download=$2 corrupt=$3 first_boot=$4 want_status=$5 want_step=$6 status=0
  rm -rf "$work/vm" "$work/qemu.log"
  mkdir -p "$work/vm/apt/cache/archives/partial"
  cp "$work/debs/lib_1%3a1_i386.deb" "$work/vm/apt/cache/archives/"
  cp "$work/debs/lib_1%3a2_i386.deb" "$work/lib-2.deb"
  [ "$corrupt" = corrupt ] && head -c 100 "$work/lib-2.deb" >"$work/debs/lib_1%3a2_i386.deb"
  FAKE_DOWNLOAD=$download FAKE_FIRST_BOOT=$first_boot vm32 --ready >"$work/vm32.log" 2>&1 || status=$?
  cp "$work/lib-2.deb" "$work/debs/lib_1%3a2_i386.deb"
  [ "$status" = "$want_status" ] || fail "exit status $status, want $want_status"
  if [ "$want_step" = - ]; then
    [ -s "$work/vm/stamp" ] || fail "no stamp for a machine made"
    [ ! -e "$work/vm/apt/cache/archives/lib_1%3a1_i386.deb" ] || fail "the older version stays in the cache"
  else
    [ ! -e "$work/vm/stamp" ] || fail "a stamp for a machine that failed at $want_step"
    grep -q "$want_step" "$work/vm32.log" || fail "did not say it stopped at $want_step"
    if [ "$want_step" != "first boot" ] && [ -e "$work/vm/root.img" ]; then fail "a disk made after $want_step"; fi
    if [ "$want_step" != "first boot" ] && [ -s "$work/qemu.log" ]; then fail "booted after $want_step failed"; fi
  fi
  if [ -d "$work/vm/root" ]; then
    [ -e "$work/vm/root/usr/share/lib/version-2" ] || [ "$corrupt" = corrupt ] || fail "this make's lib not unpacked"
    [ ! -e "$work/vm/root/usr/share/lib/version-1" ] || fail "an earlier make's version unpacked"
  fi
  if [ "$failures" != 0 ]; then sed 's/^/  | /' "$work/vm32.log"; fi
}

check "the download fails: nothing after it" fail - pass 1 "could not be downloaded"
check "a package does not unpack: no disk, no boot" ok corrupt pass 123 make_root
check "the first boot fails: no stamp" ok - fail 1 "first boot"
check "every step passes: made, with only this make's packages" ok - pass 0 -

# A mirror caught mid-sync on a machine set to German: apt's words are read in English all the same, so the make
# takes the main suite's versions, and its stamp says so; a machine made that way stays made.
case="a broken index under another language"
rm -rf "$work/vm" "$work/qemu.log" "$work/apt.log"
status=0
(
  unset LC_ALL
  export LANG=de_DE.UTF-8 LANGUAGE=de
  FAKE_UPDATE=broken FAKE_FIRST_BOOT=pass vm32 --ready
) >"$work/vm32.log" 2>&1 || status=$?
[ "$status" = 0 ] || fail "exit status $status, want 0"
grep -q "^  Need to get 1 kB" "$work/vm32.log" || fail "apt's download size is not shown"
grep -q -- "--download-only -t zlt " "$work/apt.log" ||
  fail "downloaded without -t zlt: $(grep -- --download "$work/apt.log")"
want="way out taken: could not read zlt-security main/i386 (Hash Sum mismatch); installing zlt's own versions (-t zlt)"
[ "$(sed -n 2p "$work/vm/stamp")" = "$want, so that amd64 and i386 halves match" ] ||
  fail "the stamp says '$(sed -n 2p "$work/vm/stamp" 2>/dev/null)'"
FAKE_FIRST_BOOT=pass vm32 --ready >>"$work/vm32.log" 2>&1 || fail "ready again: exit status $?"
[ "$(wc -l <"$work/qemu.log")" = 1 ] || fail "made again: $(wc -l <"$work/qemu.log") boots"
if [ "$failures" != 0 ]; then sed 's/^/  | /' "$work/vm32.log"; fi

# Two callers at once, as two work trees sharing the machine: the second waits for the first one's make (whose first
# boot holds until the second has said so) and then finds the machine made, so it is made once.
case="two callers at once"
rm -rf "$work/vm" "$work/qemu.log" "$work/both.log"
FAKE_FIRST_BOOT=pass FAKE_BOOT_WAITS_FOR=$work/both.log vm32 --ready >>"$work/both.log" 2>&1 &
first=$!
status=0
FAKE_FIRST_BOOT=pass FAKE_BOOT_WAITS_FOR=$work/both.log vm32 --ready >>"$work/both.log" 2>&1 || status=$?
wait $first || status=$?
[ "$status" = 0 ] || fail "exit status $status, want 0"
[ "$(wc -l <"$work/qemu.log")" = 1 ] || fail "$(wc -l <"$work/qemu.log") first boots, want 1"
[ "$(grep -c "waiting for the make" "$work/both.log")" = 1 ] || fail "no caller waited"
if [ "$failures" != 0 ]; then sed 's/^/  | /' "$work/both.log"; fi

# A command typed in the work tree reaches the machine word for word, in the same folder, and its status comes back.
case="a command"
mkdir -p "$top/sub dir"
got=$(cd "$top/sub dir" && vm32 -- sh -c 'pwd; printf "<%s>\n" "$@"; exit 3' sh "two words" "it's" "é \$x" 2>&1)
status=$?
want="$top/sub dir
<two words>
<it's>
<é \$x>"
[ "$got" = "$want" ] || fail "printed '$got', want '$want'"
[ "$status" = 3 ] || fail "exit status $status, want 3"

if [ "$failures" = 0 ]; then echo "scripts/vm32 stopped, unpacked and passed words as it should in every case"; fi
[ "$failures" = 0 ]
