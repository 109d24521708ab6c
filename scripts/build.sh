#!/bin/sh
# Configures and builds one configuration into build/<configuration>:
#   release  the normal native build (default)
#   asan     AddressSanitizer and UndefinedBehaviorSanitizer
#   clang    the native build with clang
#   tsan     clang with ThreadSanitizer: instances on several threads at once
#   fuzz     clang with libFuzzer and the sanitizers: the host-interface fuzzer
#   linux32  32-bit x86 Linux (gcc -m32)
#   plain    the native build without vector kernels: the audio loop frame by frame
#   win32    32-bit Windows DLL and tests (mingw-w64; tests run under Wine)
#   win64    64-bit Windows DLL and tests
#   arm64    ARM64 Linux: the plug-in, the LV2 bundle, the tools and the tests (run under qemu-aarch64)
# Usage: scripts/build.sh [configuration]
set -eu
cd "$(dirname "$0")/.."
config=${1:-release}
jobs=$(nproc 2>/dev/null || echo 2)
toolchains=$(pwd)/cmake/toolchains

case "$config" in
    release) set -- -DCMAKE_BUILD_TYPE=Release ;;
    # -O1 and line tables: what the sanitizers' reports need, at half the build time of -O2 -g.
    asan) set -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
        -DTF_SANITIZE=ON -DTF_BUILD_BENCHMARKS=OFF ;;
    clang) set -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ -DTF_BUILD_BENCHMARKS=OFF ;;
    fuzz) set -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DTF_FUZZ=ON \
        -DTF_BUILD_TOOLS=OFF -DTF_BUILD_BENCHMARKS=OFF ;;
    tsan) set -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DTF_TSAN=ON \
        -DTF_BUILD_TOOLS=OFF -DTF_BUILD_BENCHMARKS=OFF ;;
    linux32) set -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchains/linux-i686.cmake" \
        -DTF_BUILD_TOOLS=OFF -DTF_BUILD_BENCHMARKS=OFF ;;
    # The audio loop without vector kernels; the host-side tools do not change with it.
    plain) set -- -DCMAKE_BUILD_TYPE=Release -DTF_VECTOR_KERNELS=OFF -DTF_BUILD_TOOLS=OFF -DTF_BUILD_BENCHMARKS=OFF ;;
    win32) set -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchains/mingw-i686.cmake" ;;
    win64) set -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchains/mingw-x86_64.cmake" ;;
    arm64) set -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchains/linux-aarch64.cmake" \
        -DTF_BUILD_TOOLS=ON -DTF_BUILD_BENCHMARKS=OFF ;;
    *) echo "build: unknown configuration '$config' (release, asan, clang, plain, tsan, fuzz, linux32, win32, win64, arm64)" >&2; exit 1 ;;
esac

cmake -S . -B "build/$config" "$@" >/dev/null
if [ "$config" = fuzz ]; then
    cmake --build "build/$config" -j "$jobs" --target host_interface_fuzzer
elif [ "$config" = tsan ]; then
    cmake --build "build/$config" -j "$jobs" --target instances_tests
else
    cmake --build "build/$config" -j "$jobs"
fi
