#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing, so a second run costs nothing.
# Usage: scripts/deps.sh build|test|windows
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
want=$(grep -v '^#' "$here/packages-build.txt")
if [ "${1:-build}" = test ]; then
  want="$want $(grep -v '^#' "$here/packages-test.txt")"
elif [ "${1:-build}" = windows ]; then
  want=$(grep -v '^#' "$here/packages-windows.txt")
fi
missing=()
for p in $want; do
  st=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$st" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing missing packages: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q || true
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
