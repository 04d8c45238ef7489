#!/bin/sh
# Runs a Windows program under Wine for ctest:
#   wine-run.sh [--dll-path=DIR:DIR...] program.exe [arguments...]
# Uses a throwaway Wine prefix of its own (KW_WINEPREFIX, default
# /tmp/maskschedule-wine-<user>), created on first use, with Wine's own
# diagnostics silenced. 64-bit programs run in the 64-bit loader, which
# Debian keeps outside PATH; 32-bit ones in the 32-bit loader. The folders
# of --dll-path are searched for DLLs (WINEPATH) after the program's own.
set -e

dll_path=
case "$1" in
  --dll-path=*) dll_path=${1#--dll-path=}; shift ;;
esac
[ $# -ge 1 ] || { echo "usage: $0 [--dll-path=DIRS] program.exe [args...]" >&2; exit 2; }
[ -f "$1" ] || { echo "wine-run.sh: no such program: $1" >&2; exit 2; }

find_loader() {
  for candidate in "$@"; do
    if [ -x "$candidate" ]; then echo "$candidate"; return 0; fi
    if command -v "$candidate" >/dev/null 2>&1; then command -v "$candidate"; return 0; fi
  done
  return 1
}

# The PE machine field: 0x8664 for x86_64, 0x14c for i386.
machine=$(od -An -tx1 -j60 -N4 "$1" 2>/dev/null | awk '{print $4$3$2$1}')
pe=$(od -An -tx1 -j$((0x$machine + 4)) -N2 "$1" 2>/dev/null | awk '{print $2$1}')
if [ "$pe" = "8664" ]; then
  loader=$(find_loader /usr/lib/wine/wine64 wine64 /usr/lib/wine/wine wine) || {
    echo "wine-run.sh: no 64-bit Wine found" >&2; exit 1; }
else
  loader=$(find_loader /usr/lib/wine/wine wine) || {
    echo "wine-run.sh: no 32-bit Wine found" >&2; exit 1; }
fi

export WINEPREFIX="${KW_WINEPREFIX:-/tmp/maskschedule-wine-$(id -un)}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ -n "$dll_path" ]; then
  winpath=
  old_ifs=$IFS; IFS=:
  for dir in $dll_path; do
    [ -n "$dir" ] && winpath="${winpath:+$winpath;}Z:$(printf '%s' "$dir" | tr / '\\')"
  done
  IFS=$old_ifs
  export WINEPATH="$winpath${WINEPATH:+;$WINEPATH}"
fi

# Create the prefix once; concurrent tests wait for the first.
if [ ! -f "$WINEPREFIX/.kw-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.kw-ready" ]; then
      WINELOADER="$loader" "$loader" wineboot --init >/dev/null 2>&1 || true
      "$(dirname "$loader")/wineserver" -w 2>/dev/null || wineserver -w 2>/dev/null || true
      touch "$WINEPREFIX/.kw-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

exec "$loader" "$@"
