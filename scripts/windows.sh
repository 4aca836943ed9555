#!/usr/bin/env bash
# Builds the Windows release on Debian 12: the cross toolchain, the dependencies from Debian's sources (cached),
# the three programs and the installer build-win/Velmora-<version>-setup.exe.
# Usage: scripts/windows.sh [deps|qt|all]     (deps, qt: only that dependency step)
#        scripts/windows.sh qt-cached         prints the Qt prefix and exits 0 when it is in the cache (the wizard
#                                             then builds without Qt's cold cross-build), exits 1 otherwise
#   VELMORA_GUI=OFF: without the wizard (and without Qt); VELMORA_WIN_TESTS=1: the test programs as well.
# The dependency prefixes live in ${VELMORA_WIN_CACHE:-~/.cache/velmora-win}, one directory per hash of the
# build steps and source versions: reused when present, built from nothing otherwise.
set -euo pipefail
VELMORA_ROOT=$(cd "$(dirname "$0")/.." && pwd)
here=$VELMORA_ROOT/scripts/windows
source "$here/common.sh"
source "$here/deps.sh"
source "$here/qt.sh"
stop=${1:-all}
cache=${VELMORA_WIN_CACHE:-$HOME/.cache/velmora-win}
qt_prefix=$cache/qt-$(cache_key qt6-base "$here/qt.sh" "$VELMORA_ROOT/cmake/mingw-w64.cmake")
if [ "$stop" = qt-cached ]; then
  [ -d "$qt_prefix" ] || exit 1
  echo "$qt_prefix"
  exit 0
fi

"$VELMORA_ROOT/scripts/deps.sh" windows
ensure_deb_src

deps=$cache/deps-$(cache_key "${!VELMORA_SRC[*]}" "$here/deps.sh" "$here"/*.[ch] "$VELMORA_ROOT/cmake/mingw-w64.cmake")
if [ "$stop" != qt ]; then
  cached_build "$deps" build_deps
  echo "dependencies: $deps"
  [ "$stop" = deps ] && exit 0
fi
qt=
if [ "${VELMORA_GUI:-ON}" = ON ]; then
  qt=$qt_prefix
  cached_build "$qt" build_qt
  echo "qt: $qt"
fi
[ "$stop" = qt ] && exit 0
mkdir -p "$VELMORA_ROOT/build-win"
printf 'VELMORA_WIN_DEPS=%q\nVELMORA_WIN_QT=%q\n' "$deps" "$qt" >"$VELMORA_ROOT/build-win/prefixes.env"
source "$here/release.sh"
build_release "$deps" "$qt"
