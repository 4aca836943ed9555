#!/usr/bin/env bash
# Runs every fuzz target briefly from its seed corpus. Usage: fuzz/run_short.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$1
secs=${2:-20}
here=$(cd "$(dirname "$0")" && pwd)
shopt -s nullglob
status=0
for bin in "$build"/fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  corpus=$(mktemp -d)
  [ -d "$here/seeds/$name" ] && cp -r "$here/seeds/$name/." "$corpus/"
  echo "== $name for ${secs}s"
  if ! "$bin" -max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 "$corpus" 2>"$corpus.log"; then
    tail -n 60 "$corpus.log"; status=1
  fi
  rm -rf "$corpus" "$corpus.log"
done
exit $status
