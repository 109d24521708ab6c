#!/bin/sh
# Configures and builds one configuration into build/<configuration>:
#   release  the normal native build (default)
#   demo     only the plug-in and fxrender, in build/release: what scripts/demo.sh needs
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
folder=build/$config
target=""

case "$config" in
    # A folder the demo configured without tests gets them back here.
    release) set -- -DCMAKE_BUILD_TYPE=Release -DTF_BUILD_TESTS=ON -DTF_BUILD_BENCHMARKS=ON -DTF_BUILD_LV2=ON ;;
    demo) folder=build/release target=fxrender
        if [ -f "$folder/CMakeCache.txt" ]; then
            set --  # configured already (with or without the tests): build only the tool and the plug-in
        else
            set -- -DCMAKE_BUILD_TYPE=Release -DTF_BUILD_TESTS=OFF -DTF_BUILD_BENCHMARKS=OFF -DTF_BUILD_LV2=OFF
        fi ;;
    # -O1 and line tables: what the sanitizers' reports need, at half the build time of -O2 -g.
    asan) set -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
        -DTF_SANITIZE=ON -DTF_BUILD_BENCHMARKS=OFF ;;
    clang) set -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ -DTF_BUILD_BENCHMARKS=OFF ;;
    fuzz) set -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DTF_FUZZ=ON \
        -DTF_BUILD_TOOLS=OFF -DTF_BUILD_BENCHMARKS=OFF ;;
    tsan) set -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DTF_TSAN=ON \
        -DTF_BUILD_TOOLS=OFF -DTF_BUILD_BENCHMARKS=OFF ;;
    linux32) set -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchains/linux-i686.cmake" \
        -DTF_BUILD_TOOLS=OFF -DTF_BUILD_BENCHMARKS=OFF
        # A kernel that cannot start 32-bit x86 programs runs the tests under qemu.
        if ! scripts/runs-32-bit-x86.sh; then
            emulator=$(command -v qemu-i386-static || command -v qemu-i386 || true)
            [ -n "$emulator" ] || { echo "build: this kernel runs no 32-bit x86 programs and qemu-i386 is not installed (scripts/setup.sh windows)" >&2; exit 1; }
            set -- "$@" -DTF_I386_EMULATOR="$emulator"
        fi ;;
    # The audio loop without vector kernels; the host-side tools do not change with it.
    plain) set -- -DCMAKE_BUILD_TYPE=Release -DTF_VECTOR_KERNELS=OFF -DTF_BUILD_TOOLS=OFF -DTF_BUILD_BENCHMARKS=OFF ;;
    win32) set -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchains/mingw-i686.cmake" ;;
    win64) set -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchains/mingw-x86_64.cmake" ;;
    arm64) set -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchains/linux-aarch64.cmake" \
        -DTF_BUILD_TOOLS=ON -DTF_BUILD_BENCHMARKS=OFF ;;
    *) echo "build: unknown configuration '$config' (release, demo, asan, clang, plain, tsan, fuzz, linux32, win32, win64, arm64)" >&2; exit 1 ;;
esac

case "$config" in
    fuzz) target=host_interface_fuzzer ;;
    tsan) target=instances_tests ;;
esac
[ "$config" = demo ] && [ $# -eq 0 ] || cmake -S . -B "$folder" "$@" >/dev/null
cmake --build "$folder" -j "$jobs" ${target:+--target "$target"}
