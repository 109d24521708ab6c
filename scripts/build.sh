#!/bin/sh
# Configures and builds one configuration: release (default), asan or clang.
# Usage: scripts/build.sh [release|asan|clang]
set -eu
cd "$(dirname "$0")/.."
config=${1:-release}
jobs=$(nproc 2>/dev/null || echo 2)

case "$config" in
    release) set -- -DCMAKE_BUILD_TYPE=Release ;;
    asan) set -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTF_SANITIZE=ON -DTF_BUILD_BENCHMARKS=OFF ;;
    clang) set -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ -DTF_BUILD_BENCHMARKS=OFF ;;
    *) echo "build: unknown configuration '$config' (release, asan or clang)" >&2; exit 1 ;;
esac

cmake -S . -B "build/$config" "$@" >/dev/null
cmake --build "build/$config" -j "$jobs"
