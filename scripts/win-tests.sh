#!/bin/bash
# Runs every Windows test binary of a mingw build under Wine, then the end-to-end check of names outside ASCII.
# The window tests (status/, wizard/; built with the wizard) run on a virtual display (xvfb-run): Wine's
# window system needs one even for Qt's offscreen platform.
#
# Usage: scripts/win-tests.sh [BUILD_DIR [DEPS_PREFIX]]
#   BUILD_DIR    the Windows build (default: build-win)
#   DEPS_PREFIX  the prefix the Windows dependencies were installed into, for their DLLs (default:
#                $VELMORA_WIN_PREFIX); the mingw runtime folders are added to WINEPATH as well.
# Each binary's output goes to BUILD_DIR/win-tests/NAME.log; the summary counts cases passed, skipped (each
# skipped case says why) and failed. Exit status 0 when nothing failed.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-win}
prefix=${2:-${VELMORA_WIN_PREFIX:-}}
command -v wine >/dev/null || { echo "win-tests: wine is not installed" >&2; exit 2; }
status=0

dirs=()
[ -n "$prefix" ] && dirs+=("$prefix/bin")
for d in /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib; do [ -d "$d" ] && dirs+=("$d"); done
winepath=""
for d in "${dirs[@]}"; do winepath+="${winepath:+;}$(winepath -w "$d" 2>/dev/null)"; done
export WINEPATH="$winepath" WINEDEBUG=${WINEDEBUG:--all}

logs="$build/win-tests"
mkdir -p "$logs"

# The wizard's test programs, when this build has the wizard (a build without it may still hold old ones).
gui=$(sed -n 's/^VELMORA_GUI:BOOL=//p' "$build/CMakeCache.txt" 2>/dev/null)
gui_runner=()
if [ "$gui" = ON ]; then
  if command -v xvfb-run >/dev/null; then
    gui_runner=(xvfb-run -a -n 140 -s '-screen 0 1280x1024x24')
  else
    echo "win-tests: xvfb-run is not installed: the window tests are not run" >&2
    status=1
  fi
  # Qt's offscreen platform draws with the faces of one folder (the tests take the system's Fonts folder by
  # default). Wine keeps Tahoma outside it and has no Verdana: Wine's Tahoma and DejaVu Sans (Verdana's
  # stand-in on Linux too) are put in a folder of their own. Wine passes QT_* variables on only as WINEQT_*.
  fonts="$logs/fonts"
  rm -rf "$fonts"
  mkdir -p "$fonts"
  for f in /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf \
    /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf; do
    [ -f "$f" ] && ln -s "$f" "$fonts/"
  done
  export WINEQT_QPA_FONTDIR
  WINEQT_QPA_FONTDIR=$(winepath -w "$fonts" 2>/dev/null)
fi
total_passed=0 total_skipped=0 total_failed=0
while IFS= read -r exe; do
  name=$(basename "$exe" .exe)
  runner=()
  case "$exe" in
  "$build"/status/* | "$build"/wizard/*)
    [ "$gui" = ON ] || continue
    [ ${#gui_runner[@]} -gt 0 ] || continue
    runner=("${gui_runner[@]}")
    ;;
  esac
  start=$(date +%s)
  "${runner[@]}" wine "$exe" --gtest_color=no >"$logs/$name.log" 2>&1
  rc=$?
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$logs/$name.log" | tail -1)
  skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) test.*/\1/p' "$logs/$name.log" | tail -1)
  failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$logs/$name.log" | tail -1)
  passed=${passed:-0} skipped=${skipped:-0} failed=${failed:-0}
  [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ] && failed=1  # a crash before the summary
  printf '%-24s %4d passed %4d skipped %4d failed  (%ds, exit %d)\n' "$name" "$passed" "$skipped" "$failed" \
    $(( $(date +%s) - start )) "$rc"
  grep "^\[  FAILED  \] [A-Za-z]" "$logs/$name.log" | sed "s/ ([0-9]* ms)$//" | sort -u | sed "s/^/    /"
  total_passed=$((total_passed + passed)) total_skipped=$((total_skipped + skipped))
  total_failed=$((total_failed + failed))
  [ "$rc" -ne 0 ] && status=1
done < <(find "$build" -name '*_tests.exe' -not -path '*/win-tests/*' | sort)

echo "cases: $total_passed passed, $total_skipped skipped, $total_failed failed"
convert=$(find "$build" -name velmora-convert.exe | head -1)
/usr/bin/python3 "$here/tests/e2e/wine_unicode_test.py" --convert "${convert:-$build/cli/velmora-convert.exe}"
rc=$?
[ "$rc" -ne 0 ] && [ "$rc" -ne 77 ] && status=1
exit $status
