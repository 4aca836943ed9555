#!/bin/bash
# Runs every Windows test binary of a mingw build under Wine, then the end-to-end check of names outside ASCII.
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

dirs=()
[ -n "$prefix" ] && dirs+=("$prefix/bin")
for d in /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib; do [ -d "$d" ] && dirs+=("$d"); done
winepath=""
for d in "${dirs[@]}"; do winepath+="${winepath:+;}$(winepath -w "$d" 2>/dev/null)"; done
export WINEPATH="$winepath" WINEDEBUG=${WINEDEBUG:--all}

logs="$build/win-tests"
mkdir -p "$logs"
status=0
total_passed=0 total_skipped=0 total_failed=0
while IFS= read -r exe; do
  name=$(basename "$exe" .exe)
  start=$(date +%s)
  wine "$exe" --gtest_color=no >"$logs/$name.log" 2>&1
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
