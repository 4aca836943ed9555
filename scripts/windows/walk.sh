#!/usr/bin/env bash
# The wizard for Windows walked under Wine on a virtual display, with the keyboard walk of the Linux build
# (wizard/xvfb_walk.sh): a single-mailbox run, whose store Linux's readers must read with every message in
# its folder, and a multiple-mailbox run, which must write one store per mailbox. Screenshots of every window
# land in build-win/walk/. An optional step after the Windows build, not part of CI.
# Usage: scripts/windows/walk.sh        (after VELMORA_WIN_TESTS=1 scripts/windows.sh, with the wizard)
set -euo pipefail
cd "$(dirname "$0")/../.."
# Both walks on one virtual display: the desktop of a Wine session stays on the display it started on.
if [ -z "${VELMORA_WALK_DISPLAY:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "xvfb-run is not installed" >&2; exit 2; }
  VELMORA_WALK_DISPLAY=1 exec xvfb-run -a -n 160 -s '-screen 0 1280x1024x24' "$PWD/scripts/windows/walk.sh"
fi
exe=$PWD/build-win/wizard/velmora-walked.exe
[ -f "$exe" ] || { echo "no $exe: build the wizard with VELMORA_WIN_TESTS=1 scripts/windows.sh" >&2; exit 2; }
for p in wine winepath xdotool; do
  command -v "$p" >/dev/null || { echo "$p is not installed" >&2; exit 2; }
done

work=$(mktemp -d)
shots=$PWD/build-win/walk
export WINEDEBUG=-all WINEPREFIX=$work/wine
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
# A new prefix takes longer to come up than the walk waits for the first window.
wine wineboot --init >/dev/null 2>&1 || true

message() { # message FILE N
  mkdir -p "$(dirname "$1")"
  printf 'From: Alice Example <alice@example.com>\r\nTo: bob@example.org\r\nSubject: Walked message %s\r\n' "$2" >"$1"
  printf 'Date: Tue, 2 Jan 2024 09:00:00 +0000\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nBody %s\r\n' "$2" >>"$1"
}
win() { winepath -w "$1" 2>/dev/null; }
# The program as the walk starts it: the screenshot folder in Windows' form.
cat >"$work/velmora.sh" <<WRAP
#!/bin/bash
export VELMORA_SCREENSHOT_DIR=\$(winepath -w "\$VELMORA_SCREENSHOT_DIR" 2>/dev/null)
exec wine "$exe"
WRAP
chmod +x "$work/velmora.sh"
walk() { # walk SHOTS SOURCE TARGET [multiple]
  rm -rf "$1"
  mkdir -p "$1"
  bash wizard/xvfb_walk.sh "$work/velmora.sh" "$2" "$3" "$1" ${4:+"$4"} ||
    { echo "the walk stopped with $? (see wizard/xvfb_walk.sh; screenshots in $1)" >&2; return 1; }
}

start=$SECONDS
for i in 1 2 3; do message "$work/single/Mailbox/Inbox/$i.eml" "$i"; done
message "$work/single/Mailbox/Sent/1.eml" 4
mkdir -p "$work/out"
walk "$shots/single" "$(win "$work/single/Mailbox")" "$(win "$work/out/Mailbox.pst")"
[ -f "$work/out/Mailbox.pst" ] || { echo "no store where the save dialog was told: $(ls "$work/out")" >&2; exit 1; }
echo '{"folders": {"Inbox": 3, "Sent Items": 1}}' >"$work/expected.json"
/usr/bin/python3 tests/readers/check_readers.py "$work/out/Mailbox.pst" "$work/expected.json" >"$work/readers.txt" ||
  [ $? = 77 ] || { cat "$work/readers.txt" >&2; exit 1; }
echo "single-mailbox walk: Mailbox.pst written, 3 messages in Inbox and 1 in Sent Items"

for name in anna bert; do message "$work/multiple/$name/Inbox/1.eml" 1; done
mkdir -p "$work/out-multiple"
walk "$shots/multiple" "$(win "$work/multiple")" "$(win "$work/out-multiple")" multiple
for name in anna bert; do
  [ -f "$work/out-multiple/$name.pst" ] || { echo "no $name.pst: $(ls "$work/out-multiple")" >&2; exit 1; }
done
echo "multiple-mailbox walk: anna.pst and bert.pst written; screenshots in $shots ($((SECONDS - start)) s)"
