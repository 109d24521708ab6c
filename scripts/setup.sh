#!/bin/sh
# Installs the Debian packages that the named groups need, only those that
# are missing: running it again does nothing.
#   build    the native release build: the plug-in, the LV2 bundle, the tools, their tests
#   test     the other native configurations' compilers and the tools the tests run
#   windows  32-bit Linux and both Windows builds, with Wine (needs the i386 architecture)
#   arm64    the ARM64 cross build, its libraries and qemu to run it (needs the arm64 architecture)
#   package  what makes and checks the Debian packages
# Usage: scripts/setup.sh [GROUP...]     every group when none is named
set -eu

[ $# -gt 0 ] || set -- build test windows arm64 package

packages=""
architectures=""
for group in "$@"; do
    case "$group" in
        build) packages="$packages cmake g++ make binutils pkg-config libgtest-dev libbenchmark-dev libsndfile1-dev
            libcli11-dev lv2-dev liblilv-dev" ;;
        test) packages="$packages clang lld sndfile-programs parallel sox lilv-utils lv2file sordi bc" ;;
        windows) architectures="$architectures i386"
            packages="$packages g++-12-multilib libgtest-dev:i386 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
            wine wine32:i386 wine64" ;;
        arm64) architectures="$architectures arm64"
            packages="$packages g++-aarch64-linux-gnu qemu-user-static binfmt-support libsndfile1-dev:arm64
            libgtest-dev:arm64 liblilv-dev:arm64" ;;
        package) packages="$packages dpkg-dev lintian file gzip lilv-utils" ;;
        *) echo "setup: unknown group '$group' (build, test, windows, arm64, package)" >&2; exit 1 ;;
    esac
done

as_root=""
[ "$(id -u)" -eq 0 ] || as_root="sudo"
export DEBIAN_FRONTEND=noninteractive

updated=yes
for architecture in $architectures; do
    if ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
        $as_root dpkg --add-architecture "$architecture"
        updated=no
    fi
done

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done

if [ -n "$missing" ]; then
    echo "setup: installing$missing" >&2
    $as_root apt-get update -qq
    # shellcheck disable=SC2086
    $as_root apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends $missing >/dev/null
elif [ "$updated" = no ]; then
    $as_root apt-get update -qq
fi

# ARM64 programs started by ARM64 programs (the tests start the tools, the
# validator starts its checks) run through the kernel's binfmt_misc, which
# hands them to qemu; the package registers qemu-aarch64 where it can.
case " $* " in
    *" arm64 "*)
        binfmt=/proc/sys/fs/binfmt_misc
        if [ ! -e "$binfmt/qemu-aarch64" ]; then
            [ -e "$binfmt/register" ] || $as_root mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
            $as_root update-binfmts --enable qemu-aarch64 >/dev/null 2>&1 ||
                { $as_root update-binfmts --import qemu-aarch64 >/dev/null 2>&1 &&
                  $as_root update-binfmts --enable qemu-aarch64 >/dev/null 2>&1; } || true
        fi
        ;;
esac
