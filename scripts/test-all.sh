#!/bin/sh
# Sets up a fresh machine if needed, then builds and runs every test: the
# normal, sanitizer and clang builds, 32-bit Linux, and both Windows DLLs
# with their tests under Wine.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)

for config in release asan clang linux32 win32 win64; do
    echo "== $config: build" >&2
    scripts/build.sh "$config"
    echo "== $config: test" >&2
    ctest --test-dir "build/$config" --output-on-failure -j "$jobs"
done
