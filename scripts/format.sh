#!/usr/bin/env bash
# Formats every C++ file of the project with .clang-format (clang-format 14, Debian's).
#   format.sh           rewrites the files in place
#   format.sh --check   changes nothing; lists the files that need formatting and fails if any
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --check ]; then
  status=0
  for f in "${files[@]}"; do
    clang-format "$f" | cmp -s "$f" - || { echo "needs formatting: $f"; status=1; }
  done
  exit $status
fi
clang-format -i "${files[@]}"
