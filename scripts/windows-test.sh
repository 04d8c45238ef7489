#!/bin/sh
# Builds the library and its tests for Windows with MinGW-w64 (x86_64 and
# i686) and runs the tests under Wine. Installs the cross compilers and Wine
# with apt-get when they are missing (needs root or sudo).
#
#   scripts/windows-test.sh            both architectures
#   scripts/windows-test.sh x86_64     one of them (x86_64 or i686)
#
# Build folders: build-win64 and build-win32 in the source tree.
# 32-bit programs need a kernel that runs 32-bit Linux programs (Wine's
# 32-bit loader is one); where it cannot, the i686 build is made and checked
# but its tests are reported as not run.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}
archs=${*:-"x86_64 i686"}

sudo_cmd=
[ "$(id -u)" -eq 0 ] || sudo_cmd=sudo

missing_packages() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

apt_install() {
  need=$(missing_packages "$@")
  [ -n "$need" ] || return 0
  echo "Installing: $need"
  $sudo_cmd apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends $need >/dev/null
}

# 32-bit Wine needs a kernel that runs 32-bit programs. Starting the loader
# is not proof enough (an emulator may start it and then fail), so one small
# test program of the build has to list its tests, within a time limit.
can_run_32bit() {
  [ -x /usr/lib/wine/wine ] && timeout 60 /usr/lib/wine/wine --version >/dev/null 2>&1 &&
    timeout 300 "$root/cmake/wine-run.sh" "$1/bin/container_test.exe" --gtest_list_tests \
      >/dev/null 2>&1
}

apt_install cmake make mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 googletest wine wine64

case " $archs " in
  *" i686 "*)
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $sudo_cmd dpkg --add-architecture i386
      $sudo_cmd apt-get update -qq
    fi
    # Where the kernel cannot run 32-bit programs, 32-bit packages may fail
    # their set-up steps; the i686 build is still made and checked below.
    apt_install wine32:i386 || echo "== i686: 32-bit Wine could not be installed completely"
    ;;
esac

status=0
for arch in $archs; do
  case "$arch" in
    x86_64) dir=build-win64 ;;
    i686) dir=build-win32 ;;
    *) echo "unknown architecture: $arch" >&2; exit 2 ;;
  esac
  echo "== $arch: configure and build ($dir)"
  cmake -S "$root" -B "$root/$dir" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMASKSCHEDULE_BUILD_BENCH=OFF >/dev/null
  cmake --build "$root/$dir" -j "$jobs" >/dev/null

  # The DLL exports what hosts link against.
  objdump=$arch-w64-mingw32-objdump
  exports=$("$objdump" -p "$root/$dir/bin/MaskSchedule.dll")
  for symbol in CKwMaskSchedule CKwLogger CKwArrayP KwStructuredCall KwTestSetTickCount; do
    if ! printf '%s\n' "$exports" | grep -q "$symbol"; then
      echo "MaskSchedule.dll ($arch) does not export $symbol" >&2
      status=1
    fi
  done

  if [ "$arch" = i686 ] && ! can_run_32bit "$root/$dir"; then
    echo "== $arch: tests NOT RUN: this machine's kernel cannot run 32-bit programs (32-bit Wine)"
    continue
  fi
  echo "== $arch: tests under Wine"
  (cd "$root/$dir" && ctest -j "$jobs" --output-on-failure) || status=1
done
exit $status
