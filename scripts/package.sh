#!/bin/sh
# Makes the packages of the named configurations in build/packages/:
#   release  tempo-flanger_VERSION_amd64.deb (this machine's architecture)
#   arm64    tempo-flanger_VERSION_arm64.deb
#   win32    tempo-flanger-VERSION-win32.zip: the 32-bit DLL, fxvalidate.exe, README.txt
#   win64    tempo-flanger-VERSION-win64.zip
# The Debian packages are built in folders of their own (build/package-CONFIG),
# without tests, with Debian's build flags; the Windows archives come from
# the Windows builds in build/win32 and build/win64 (scripts/build.sh),
# whose tests do not install.
# Usage: scripts/package.sh [CONFIG...]      release when none is named
set -eu
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- release
jobs=$(nproc 2>/dev/null || echo 2)
toolchains=$(pwd)/cmake/toolchains
mkdir -p build/packages

# debian_package FOLDER ARCH CMAKE-ARGS...: the package of a build made for it.
debian_package() {
    folder=$1
    arch=$2
    shift 2
    (
        # Debian's hardening and build flags, for the package's architecture.
        export DEB_HOST_ARCH="$arch" DEB_BUILD_MAINT_OPTIONS=hardening=+all
        CPPFLAGS=$(dpkg-buildflags --get CPPFLAGS)
        CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $CPPFLAGS"
        LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
        export CXXFLAGS LDFLAGS
        cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=Release -DTF_BUILD_TESTS=OFF -DTF_BUILD_BENCHMARKS=OFF \
            -DTF_DEBIAN_PACKAGE=ON "$@" >/dev/null
        cmake --build "$folder" -j "$jobs" >/dev/null
    )
}

for config in "$@"; do
    echo "== package: $config" >&2
    case "$config" in
        release) folder=build/package-release
            debian_package "$folder" "$(dpkg --print-architecture)" ;;
        arm64) folder=build/package-arm64
            debian_package "$folder" arm64 -DCMAKE_TOOLCHAIN_FILE="$toolchains/linux-aarch64.cmake" -DTF_BUILD_TOOLS=ON ;;
        win32|win64) folder=build/$config
            scripts/build.sh "$config" >/dev/null ;;
        *) echo "package: unknown configuration '$config' (release, arm64, win32, win64)" >&2; exit 1 ;;
    esac
    rm -rf "$folder/packages"
    (cd "$folder" && cpack >/dev/null)
    for made in "$folder"/packages/*.deb "$folder"/packages/*.zip; do
        [ -e "$made" ] || continue
        cp "$made" build/packages/
        echo "package: build/packages/$(basename "$made")" >&2
    done
done
