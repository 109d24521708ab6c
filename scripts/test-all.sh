#!/bin/sh
# Sets up a fresh machine if needed, then builds and runs every test in the
# normal, the sanitizer and the clang configurations.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh

for config in release asan clang; do
    echo "== $config: build" >&2
    scripts/build.sh "$config"
    echo "== $config: test" >&2
    ctest --test-dir "build/$config" --output-on-failure -j "$(nproc 2>/dev/null || echo 2)"
done
