#!/usr/bin/env bash
# scripts/deps installs a consistent set from a mirror caught mid-sync: a local repository with a main suite and a
# security suite, read once for amd64 alone (as a machine image has its lists), then one index broken the way such a
# mirror breaks it (its file no longer matches its Release file) before deps adds i386 and installs a Multi-Arch
# pair, also on a machine set to German. apt and dpkg work on private folders here; the packages go into a private
# root, never onto this machine.
set -u
scripts=$1
if [ "$(id -u)" != 0 ]; then
  echo "Not run: scripts/deps installs only as root"
  exit 77
fi
work=$(mktemp -d --tmpdir zephrel-deps-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
repo=$work/repo

# A library that comes in both halves (Multi-Arch: same, so both must have the same version) and two programs that
# need it: an amd64 one whose security update needs the library's update, and an i386 one.
deb() { # NAME ARCH VERSION SUITE [CONTROL LINE...]
  local name=$1 arch=$2 version=$3 suite=$4
  shift 4
  local dir=$work/src/$name-$arch-$version
  mkdir -p "$dir/DEBIAN" "$dir/usr/share/zlt" "$repo/pool" "$repo/lists/$suite"
  echo "$name $version" >"$dir/usr/share/zlt/$name-$arch"
  printf 'Package: %s\nVersion: %s\nArchitecture: %s\nMaintainer: Zephrel <zephrel@localhost>\n' \
    "$name" "$version" "$arch" >"$dir/DEBIAN/control"
  printf '%s\n' "$@" "Description: test package" >>"$dir/DEBIAN/control"
  local file=pool/${name}_${version}_$arch.deb
  dpkg-deb -Zgzip --build "$dir" "$repo/$file" >/dev/null || exit 1
  {
    dpkg-deb -f "$repo/$file"
    echo "Filename: $file"
    echo "Size: $(stat -c %s "$repo/$file")"
    echo "SHA256: $(sha256sum <"$repo/$file" | cut -d' ' -f1)"
    echo
  } >>"$repo/lists/$suite/$arch"
}
for arch in amd64 i386; do
  deb zlt-lib "$arch" 1 "$codename" "Multi-Arch: same"
  deb zlt-lib "$arch" 2 "$codename-security" "Multi-Arch: same"
done
deb zlt-tool amd64 1 "$codename" "Depends: zlt-lib (>= 1)"
deb zlt-tool amd64 2 "$codename-security" "Depends: zlt-lib (>= 2)"
deb zlt-tool32 i386 1 "$codename" "Depends: zlt-lib"

# The suites' indexes and Release files, as the mirror had them when they matched.
publish() {
  local suite release
  rm -rf "$repo/dists"
  for suite in "$codename" "$codename-security"; do
    release=$repo/dists/$suite/Release
    mkdir -p "$repo/dists/$suite/main/binary-amd64" "$repo/dists/$suite/main/binary-i386"
    {
      printf 'Origin: Zephrel\nSuite: %s\nCodename: %s\nDate: %s\n' "$suite" "$suite" "$(LC_ALL=C date -u -R)"
      printf 'Architectures: amd64 i386\nComponents: main\nSHA256:\n'
    } >"$release"
    for arch in amd64 i386; do
      cp "$repo/lists/$suite/$arch" "$repo/dists/$suite/main/binary-$arch/Packages"
      printf ' %s %s main/binary-%s/Packages\n' "$(sha256sum <"$repo/lists/$suite/$arch" | cut -d' ' -f1)" \
        "$(stat -c %s "$repo/lists/$suite/$arch")" "$arch" >>"$release"
    done
  done
}

# A machine of its own for each case: dpkg's and apt's state, the root packages go into, and no configuration of
# this machine's (DPKG_ADMINDIR and APT_CONFIG are dpkg's and apt's own ways to that).
machine() {
  local m=$work/machine
  rm -rf "$m"
  mkdir -p "$m"/{dpkg/info,dpkg/updates,dpkg/triggers,root,apt/lists/partial,apt/archives/partial,log,parts,tmp}
  : >"$m/dpkg/status"
  printf 'deb [trusted=yes] file:%s %s main\ndeb [trusted=yes] file:%s %s-security main\n' \
    "$repo" "$codename" "$repo" "$codename" >"$m/sources.list"
  cat >"$m/apt.conf" <<EOF
Dir::State "$m/apt"; Dir::State::status "$m/dpkg/status"; Dir::Cache "$m/apt"; Dir::Log "$m/log";
Dir::Etc::SourceList "$m/sources.list"; Dir::Etc::SourceParts "$m/parts"; Dir::Etc::Parts "$m/parts";
Dir::Etc::main "/dev/null"; Dir::Etc::Preferences "/dev/null"; Dir::Etc::PreferencesParts "$m/parts";
Debug::NoLocking "true"; APT::Sandbox::User "root"; DPkg::Options { "--instdir=$m/root"; "--log=$m/log/dpkg.log"; };
EOF
  export DPKG_ADMINDIR=$m/dpkg APT_CONFIG=$m/apt.conf
}
# What dpkg has installed, shortly: lib:i386=1 for zlt-lib:i386 at version 1.
installed() { dpkg-query -W -f='${Package}:${Architecture}=${Version}\n' 2>/dev/null | sed 's/^zlt-//' | sort | xargs; }

# How deps is run: as this machine's language has it, or (below) in another one.
speaking=()
failures=0
fail() {
  echo "$case: $*"
  failures=$((failures + 1))
}

# check CASE BROKEN PACKAGES STATUS SAYS INSTALLED: the lists read once for amd64, then the index BROKEN ("SUITE
# ARCH", or - for none) broken, then deps asked for PACKAGES; it exits with STATUS, says one line matching SAYS about
# the indexes (- for nothing), and INSTALLED is what dpkg has then.
check() {
  case=$1
  local broken=$2 packages=$3 want_status=$4 want_line=$5 want_installed=$6 status=0 said got
  publish
  machine
  apt-get update -q >"$work/first-update.log" 2>&1 || fail "the first read of the lists failed"
  if [ "$broken" != - ]; then
    echo "a line the Release file does not count" >>"$repo/dists/${broken/ /\/main\/binary-}/Packages"
  fi
  # shellcheck disable=SC2086 # the packages are words
  ZEPHREL_APT_RETRY_PAUSE=0 TMPDIR=$work/machine/tmp "${speaking[@]}" "$scripts/deps" -- $packages \
    >"$work/deps.log" 2>&1 || status=$?
  said=$(grep '^apt: ' "$work/deps.log")
  [ "$status" = "$want_status" ] || fail "exit status $status, want $want_status"
  if [ "$want_line" = - ]; then
    [ -z "$said" ] || fail "said '$said' with every index read"
  elif ! grep -qE "$want_line" <<<"$said" || [ "$(wc -l <<<"$said")" != 1 ]; then
    fail "said '$said', want one line matching '$want_line'"
  fi
  got=$(installed)
  [ "$got" = "$want_installed" ] || fail "installed '$got', want '$want_installed'"
  case " $packages" in
    *:i386*) grep -qx i386 "$DPKG_ADMINDIR/arch" || fail "i386 was not added to dpkg" ;;
    *) ! grep -qsx i386 "$DPKG_ADMINDIR/arch" || fail "i386 added for no i386 package" ;;
  esac
  [ -z "$(ls -A "$work/machine/tmp")" ] || fail "left $(ls "$work/machine/tmp") in TMPDIR"
  if [ "$failures" != 0 ]; then sed 's/^/  | /' "$work/deps.log"; fi
}

check "every index read: the security versions, both halves alike" \
  - "zlt-tool zlt-tool32:i386" 0 - "lib:amd64=2 lib:i386=2 tool32:i386=1 tool:amd64=2"
check "security i386 index broken: the main suite's versions, said in one line" \
  "$codename-security i386" "zlt-tool zlt-tool32:i386" 0 "could not read $codename-security main/i386 .*-t $codename" \
  "lib:amd64=1 lib:i386=1 tool32:i386=1 tool:amd64=1"
check "main suite's i386 index broken: nothing sound to take instead, so the install fails" \
  "$codename i386" "zlt-tool zlt-tool32:i386" 100 "could not read $codename main/i386 .*going on with the lists" ""
check "no i386 package: no i386 architecture either" \
  - zlt-tool 0 - "lib:amd64=2 tool:amd64=2"

# The same broken index on a machine set to German, its locale made in this test's folder: apt speaks German there
# unless told otherwise, and deps reads apt's words, so the way out starts only if deps has apt speak English.
mkdir -p "$work/locales"
speaking=(env -u LC_ALL LOCPATH="$work/locales" LANG=de_DE.UTF-8 LANGUAGE=de)
if ! localedef -i de_DE -f UTF-8 "$work/locales/de_DE.UTF-8" >/dev/null 2>&1; then
  echo "(no de_DE.UTF-8 locale could be made here, from Debian's locales: the case in German is not checked)"
elif [ "$("${speaking[@]}" apt-get --help 2>&1)" = "$(LC_ALL=C apt-get --help 2>&1)" ]; then
  echo "(apt speaks no German here: the case in German is not checked)"
else
  check "security i386 index broken on a machine set to German: the main suite's versions all the same" \
    "$codename-security i386" "zlt-tool zlt-tool32:i386" 0 \
    "could not read $codename-security main/i386 .*-t $codename" "lib:amd64=1 lib:i386=1 tool32:i386=1 tool:amd64=1"
fi
speaking=()

# Without root nothing changes, i386 included. The scripts are copied where nobody can read them (a work tree in
# /root is not).
if command -v setpriv >/dev/null; then
  case="not root"
  machine
  mkdir -p "$work/scripts"
  cp "$scripts/deps" "$scripts/apt-lists.sh" "$scripts/i386-native" "$work/scripts/"
  chmod -R a+rX "$work"
  status=0
  setpriv --reuid=nobody --regid=nogroup --clear-groups "$work/scripts/deps" -- zlt-tool32:i386 \
    >"$work/deps.log" 2>&1 || status=$?
  [ "$status" = 1 ] || fail "exit status $status, want 1 ($(cat "$work/deps.log"))"
  ! grep -qsx i386 "$DPKG_ADMINDIR/arch" || fail "i386 added without root"
fi

if [ "$failures" = 0 ]; then echo "scripts/deps installed a consistent set in every case"; fi
[ "$failures" = 0 ]
