#!/usr/bin/env bash
# After scripts/windows.sh (with VELMORA_WIN_TESTS=1): the Windows test programs under Wine, then the installer
# installed silently into a throwaway Wine prefix, a run of the installed velmora-convert.exe stopped by the
# console's Ctrl+C, and two exports converted by the installed velmora-convert.exe: the sample export (when
# ../shared has it) and tests/e2e/charset_export.py's (names outside ASCII, UTF-16, UTF-7, GB18030, a meeting
# request). Linux's readers read every store, and the Linux build converts the same exports with the same
# SOURCE_DATE_EPOCH: the stores of both systems must be the same bytes (VELMORA_WIN_SAME_BYTES=0 leaves that
# comparison out).
# Usage: scripts/windows/check.sh LINUX_BUILD_DIR [--installer-only]
set -euo pipefail
cd "$(dirname "$0")/../.."
linux_build=$1
source build-win/prefixes.env

[ "${2:-}" = --installer-only ] || scripts/win-tests.sh build-win "$VELMORA_WIN_DEPS"

work=$(mktemp -d)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
setup=$(ls build-win/Velmora-*-setup.exe)
xvfb-run -a wine "$setup" /S '/D=C:\Velmora'
installed=$WINEPREFIX/drive_c/Velmora
for f in $(cd build-win/dist && ls) uninstall.exe; do
  [ -e "$installed/$f" ] || { echo "the installer did not install $f" >&2; exit 1; }
done
if [ -f build-win/dist/velmora.exe ]; then
  [ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Velmora.lnk" ] ||
    { echo "the installer made no Start-menu entry" >&2; exit 1; }
fi
echo "installed silently: $(ls "$installed" | tr '\n' ' ')"

# The console's Ctrl+C stops a run of the installed program as a confirmed Stop (the test tool that sends it
# is built with the test programs).
stopper=build-win/cli/velmora-console-stop.exe
if [ -f "$stopper" ]; then
  /usr/bin/python3 tests/e2e/wine_console_stop_test.py --convert "$installed/velmora-convert.exe" --stopper "$stopper"
else
  echo "skipped: no $stopper (built with VELMORA_WIN_TESTS=1): the console stop is not checked"
fi

export SOURCE_DATE_EPOCH=1700000000
# convert NAME SOURCE: both systems convert SOURCE (--multiple); every store is read and compared.
convert() {
  local name=$1 source=$2 out=$work/$1 count=0 start=$SECONDS rel
  mkdir -p "$out/win" "$out/linux" "$out/readpst"
  wine "$installed/velmora-convert.exe" --multiple --verify "$(winepath -w "$source")" "$(winepath -w "$out/win")"
  "$linux_build/cli/velmora-convert" --multiple --verify "$source" "$out/linux" >/dev/null
  while IFS= read -r -d '' pst; do
    rel=${pst#"$out/linux/"}
    [ -f "$out/win/$rel" ] || { echo "$name: not written under Wine: $rel" >&2; exit 1; }
    pffinfo "$out/win/$rel" >/dev/null || { echo "$name: pffinfo cannot read $rel" >&2; exit 1; }
    readpst -j 0 -q -o "$out/readpst" "$out/win/$rel" >/dev/null || { echo "$name: readpst cannot read $rel" >&2; exit 1; }
    if [ "${VELMORA_WIN_SAME_BYTES:-1}" = 1 ]; then
      if ! cmp "$pst" "$out/win/$rel" >&2; then
        mkdir -p build-win/different && cp "$pst" build-win/different/linux.pst && cp "$out/win/$rel" build-win/different/windows.pst
        echo "$name: Windows and Linux wrote different bytes: $rel (both kept in build-win/different/)" >&2
        exit 1
      fi
    fi
    count=$((count + 1))
  done < <(find "$out/linux" -name '*.pst' -print0)
  [ "$count" -gt 0 ] || { echo "$name: no .pst written" >&2; exit 1; }
  leftover=$(find "$out/win" -name '*.new' | head -1)
  [ -z "$leftover" ] || { echo "$name: a side file remains under Wine: $leftover" >&2; exit 1; }
  echo "$name: $count stores written under Wine, verified, read by pffinfo and readpst$(
    [ "${VELMORA_WIN_SAME_BYTES:-1}" = 1 ] && echo ", the same bytes as Linux's") ($((SECONDS - start)) s)"
}

/usr/bin/python3 tests/e2e/charset_export.py "$work/ours-export"
convert "charset export" "$work/ours-export"
sample=${VELMORA_SHARED:-$(cd .. && pwd)/shared}/export-sample
if [ -d "$sample" ]; then
  convert "sample export" "$sample"
else
  echo "skipped: the sample export ($sample) is absent"
fi
