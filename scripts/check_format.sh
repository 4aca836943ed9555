#!/usr/bin/env bash
# Fails when a C++ source of ours differs from the repository's .clang-format (clang-format 14, Debian 12's).
set -euo pipefail
cd "$(dirname "$0")/.."
find . \( -path './build*' -o -path './.git' \) -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0 |
  sort -z | xargs -0 clang-format --dry-run --Werror
