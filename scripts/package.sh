#!/bin/sh
# Makes the packages of the named configurations in build/packages/:
#   release  tempo-flanger_VERSION_amd64.deb (this machine's architecture)
#   arm64    tempo-flanger_VERSION_arm64.deb
#   win32    tempo-flanger-VERSION-win32.zip: the 32-bit DLL, fxvalidate.exe, README.txt
#   win64    tempo-flanger-VERSION-win64.zip
# Each is built in a folder of its own (build/package-CONFIG), without tests,
# with Debian's build flags for the Debian packages.
# Usage: scripts/package.sh [CONFIG...]      release when none is named
set -eu
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- release
jobs=$(nproc 2>/dev/null || echo 2)
toolchains=$(pwd)/cmake/toolchains
mkdir -p build/packages

for config in "$@"; do
    folder=build/package-$config
    host_arch=""
    case "$config" in
        release) set -- -DTF_DEBIAN_PACKAGE=ON ;;
        arm64) host_arch=arm64
            set -- -DTF_DEBIAN_PACKAGE=ON -DCMAKE_TOOLCHAIN_FILE="$toolchains/linux-aarch64.cmake" -DTF_BUILD_TOOLS=ON ;;
        win32) set -- -DCMAKE_TOOLCHAIN_FILE="$toolchains/mingw-i686.cmake" ;;
        win64) set -- -DCMAKE_TOOLCHAIN_FILE="$toolchains/mingw-x86_64.cmake" ;;
        *) echo "package: unknown configuration '$config' (release, arm64, win32, win64)" >&2; exit 1 ;;
    esac
    echo "== package: $config" >&2
    (
        if [ "$config" = release ] || [ "$config" = arm64 ]; then
            # Debian's hardening and build flags, for the package's architecture.
            [ -z "$host_arch" ] || export DEB_HOST_ARCH="$host_arch"
            export DEB_BUILD_MAINT_OPTIONS=hardening=+all
            CPPFLAGS=$(dpkg-buildflags --get CPPFLAGS)
            CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $CPPFLAGS"
            LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
            export CXXFLAGS LDFLAGS
        fi
        cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=Release -DTF_BUILD_TESTS=OFF -DTF_BUILD_BENCHMARKS=OFF "$@" >/dev/null
        cmake --build "$folder" -j "$jobs" >/dev/null
        cd "$folder" && cpack >/dev/null
    )
    for made in "$folder"/packages/*.deb "$folder"/packages/*.zip; do
        [ -e "$made" ] || continue
        cp "$made" build/packages/
        echo "package: build/packages/$(basename "$made")" >&2
    done
done
