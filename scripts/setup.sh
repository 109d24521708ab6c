#!/bin/sh
# Installs the Debian packages that the named groups need, only those that
# are missing: running it again does nothing.
#   demo     what the demo needs: the plug-in and fxrender, nothing else
#   build    the native release build: the plug-in, the LV2 bundle, the tools, their tests
#   test     the other native configurations' compilers and the tools the tests run
#   windows  32-bit Linux and both Windows builds, with Wine (needs the i386 architecture)
#   arm64    the ARM64 cross build, its libraries and qemu to run it (needs the arm64 architecture)
#   package  what makes and checks the Debian packages
#   fresh    what makes a clean Debian root to try the README's commands in
# Usage: scripts/setup.sh [GROUP...]     every group when none is named
#
# A package index that cannot be fetched (a mirror in the middle of a sync)
# is tried again, then left out with a warning when what the groups need
# installs from the other indexes. 32-bit Wine is wanted, not needed: when
# it cannot be installed, the win32 tests say so and are skipped.
set -eu

[ $# -gt 0 ] || set -- build test windows arm64 package fresh

native=$(dpkg --print-architecture)
packages=""
wanted=""
architectures=""
for group in "$@"; do
    case "$group" in
        demo) packages="$packages cmake g++ make pkg-config libsndfile1-dev libcli11-dev" ;;
        build) packages="$packages cmake g++ make binutils pkg-config libgtest-dev libbenchmark-dev libsndfile1-dev
            libcli11-dev lv2-dev liblilv-dev man-db libjack-jackd2-dev"
            # The test of a library of the other pointer width builds one with -m32.
            [ "$native" != amd64 ] || packages="$packages g++-12-multilib" ;;
        test) packages="$packages clang lld sndfile-programs parallel sox lilv-utils lv2file sordi bc
            jalv jackd2 jack-tools" ;;
        windows) architectures="$architectures i386"
            packages="$packages g++-12-multilib libgtest-dev:i386 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
            wine wine64 qemu-user-static"
            wanted="$wanted wine32:i386" ;;
        arm64) architectures="$architectures arm64"
            packages="$packages g++-aarch64-linux-gnu qemu-user-static binfmt-support libsndfile1-dev:arm64
            libgtest-dev:arm64 liblilv-dev:arm64" ;;
        package) packages="$packages dpkg-dev lintian file gzip lilv-utils" ;;
        fresh) packages="$packages mmdebstrap util-linux" ;;
        *) echo "setup: unknown group '$group' (demo, build, test, windows, arm64, package, fresh)" >&2; exit 1 ;;
    esac
done

as_root=""
[ "$(id -u)" -eq 0 ] || as_root="sudo"
export DEBIAN_FRONTEND=noninteractive

# missing LIST: the packages of LIST that are not installed.
missing() {
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || printf ' %s' "$package"
    done
}

# installable LIST: true when apt can install all of LIST together.
installable() {
    # shellcheck disable=SC2068
    apt-get install -s -qq --no-install-recommends $@ >/dev/null 2>&1
}

# update PAUSES: apt-get update, tried again after each pause (seconds). On
# failure its last errors are in $update_errors.
update_errors=""
update() {
    for pause in "$@" 0; do
        if update_errors=$($as_root apt-get update -qq 2>&1); then
            return 0
        fi
        [ "$pause" -eq 0 ] || sleep "$pause"
    done
    update_errors=$(echo "$update_errors" | grep -E '^(E|W):' | head -3)
    return 1
}

fresh_indexes=yes
for architecture in $architectures; do
    if ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
        $as_root dpkg --add-architecture "$architecture"
        fresh_indexes=no
    fi
done

# shellcheck disable=SC2086
needed=$(missing $packages)
# shellcheck disable=SC2086
optional=$(missing $wanted)
if [ -n "$needed" ] || [ "$fresh_indexes" = no ]; then
    retries="5 15"
elif [ -n "$optional" ]; then
    retries=""  # only wanted packages are missing: one try
else
    retries=none
fi

if [ "$retries" != none ] && ! update $retries; then
    # shellcheck disable=SC2086
    if [ -z "$needed" ] || installable $needed; then
        echo "setup: warning: apt-get update failed for some package indexes; going on with the others," \
            "from which everything needed installs:" >&2
        echo "$update_errors" | sed 's/^/setup:   /' >&2
    fi
fi

if [ -n "$needed" ]; then
    # shellcheck disable=SC2086
    if ! installable $needed; then
        cannot=""
        for package in $needed; do
            installable "$package" || cannot="$cannot $package"
        done
        echo "setup: cannot install${cannot:- these packages together:$needed} from this machine's package sources${update_errors:+ (apt-get update failed: $(echo "$update_errors" | head -1))}" >&2
        exit 1
    fi
    echo "setup: installing$needed" >&2
    # shellcheck disable=SC2086
    $as_root apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends $needed >/dev/null
fi

for package in $optional; do
    if installable "$package"; then
        echo "setup: installing $package" >&2
        $as_root apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "$package" >/dev/null
    else
        echo "setup: warning: $package cannot be installed from this machine's package sources;" \
            "the tests that need it will say so and be skipped" >&2
    fi
done

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
