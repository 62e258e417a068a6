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
# The fuzz targets are built with clang as well, so that they keep compiling
# for real fuzzing; their seed inputs already ran in the builds above.
echo "== fuzz: configure and build (clang, libFuzzer)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
