#!/bin/bash
# Walks the real wizard with keyboard input on a virtual display (run under xvfb-run): introduction page,
# mode page, then either the single-folder page, the folder chooser, the save dialog and the completion
# message, or (MODE "multiple") the multiple-folder page, the folder chooser, Select All, the output folder
# typed in and the completion message. Only keys that a user would press: Return, Space, Tab, the arrows.
# Every window is saved as a PNG into SHOTS by the program's screenshot hook; after a multiple-mailbox run
# the places of the page and the status window are written to SHOTS/geometry.txt and must not overlap.
#
# Usage: xvfb_walk.sh VELMORA_BINARY SOURCE_FOLDER PST_PATH_OR_OUTPUT_FOLDER SHOTS_FOLDER [multiple]
# Exit status: 0 when the walk reached the completion message; 10+ names the step that did not come up (26: the
# completion message did not go).
set -u
BIN=$1; MAILBOX=$2; PST=$3; SHOTS=$4; MODE=${5:-single}
export VELMORA_SCREENSHOT_DIR=$SHOTS QT_QPA_PLATFORM=xcb
# Qt's own file dialogs, whatever desktop integration the machine has.
unset QT_QPA_PLATFORMTHEME
"$BIN" >"$SHOTS/velmora.log" 2>&1 &
APP=$!
trap 'kill $APP 2>/dev/null' EXIT

# Waits up to 10 s for a window with exactly this title.
wait_for() {
  for _ in $(seq 1 100); do
    xdotool search --name "^$1\$" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "window did not come up: $1" >&2
  return 1
}
gone() {
  for _ in $(seq 1 30); do
    xdotool search --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}
# Keyboard focus to the newest window with this title (there is no window manager to give it).
focus() { xdotool search --name "^$1\$" | tail -1 | xargs -I{} xdotool windowfocus --sync {}; }
# Types a path into a file dialog and presses Return until the dialog has gone (the first Return may only
# close the name completer's pop-up).
enter_path() {
  wait_for "$1" || return 1
  sleep 0.5
  focus "$1"
  # Everything in the box selected, whichever keys its edit field knows (Wine's file dialogs: not Ctrl+A).
  xdotool key ctrl+a Home shift+End
  xdotool type --delay 15 "$2"
  sleep 0.3
  for _ in 1 2 3; do
    xdotool key Return
    gone "$1" && return 0
  done
  echo "dialog stayed open: $1" >&2
  return 1
}

TITLE="Velmora eM Client Converter v3.1"
wait_for "$TITLE" || exit 10
sleep 0.5
focus "$TITLE"
xdotool key Return # introduction page: Next has the focus
sleep 0.5
focus "$TITLE"
if [ "$MODE" = multiple ]; then
  xdotool key Down Return # mode page: the multiple option, then Next
  wait_for "Multiple Folder Mode" || exit 21
  sleep 0.5
  focus "Multiple Folder Mode"
  xdotool key space # "Select..." has the focus
  enter_path "Choose Source Folder..." "$MAILBOX" || exit 22
  sleep 0.5
  focus "Multiple Folder Mode"
  xdotool key Tab space # Select All
  sleep 0.3
  xdotool key Tab Tab ctrl+a # the output folder box
  xdotool type --delay 15 "$PST"
  xdotool key Return # Next, the page's default
  wait_for "Completed" || exit 24
  sleep 0.8
  focus "Completed"
  xdotool key Return
  # The status window moves once the message has gone (under Wine that takes longer than on Linux).
  gone "Completed" || exit 26
  sleep 0.8
  # The status window must cover nothing of the page: 25 when it does.
  place() { xdotool getwindowgeometry --shell "$(xdotool search --name "^$1\$" | tail -1)" | tee -a "$SHOTS/geometry.txt"; }
  eval "$(place "Multiple Folder Mode" | sed 's/^/P_/')"
  eval "$(place "Converting .* Folders" | sed 's/^/S_/')"
  [ $((S_X >= P_X + P_WIDTH || S_X + S_WIDTH <= P_X || S_Y >= P_Y + P_HEIGHT || S_Y + S_HEIGHT <= P_Y)) = 1 ] || exit 25
  exit 0
fi
xdotool key Return # mode page: Next with the single option
wait_for "Single Folder Mode" || exit 11
sleep 0.5
focus "Single Folder Mode"
xdotool key space # "Select..." has the focus
enter_path "Choose Source Folder..." "$MAILBOX" || exit 12
sleep 0.5
focus "Single Folder Mode"
xdotool key Return # Next has the focus after the pick: the status window and the run
enter_path "Save Outlook Data File" "$PST" || exit 13
wait_for "Completed" || exit 14
sleep 0.8 # the screenshot hook saves the status window behind the message
focus "Completed"
xdotool key Return
sleep 0.5
exit 0
