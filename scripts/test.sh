#!/usr/bin/env bash
# Installs what is missing, builds the default and the sanitizer builds, and runs every test in both.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
for preset in default asan; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  ctest --preset "$preset" "$@"
done
