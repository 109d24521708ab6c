#!/bin/sh
# Installs the Debian packages the builds and the tests need, only those that
# are missing: running it again does nothing. The Windows builds need the
# i386 architecture (for 32-bit Wine).
set -eu

packages="cmake g++ clang lld make binutils pkg-config libgtest-dev libbenchmark-dev libsndfile1-dev
libcli11-dev sndfile-programs parallel sox lv2-dev liblilv-dev lilv-utils lv2file sordi bc g++-multilib libgtest-dev:i386 g++-mingw-w64-i686-posix
g++-mingw-w64-x86-64-posix wine wine32:i386 wine64"

as_root=""
[ "$(id -u)" -eq 0 ] || as_root="sudo"
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $as_root dpkg --add-architecture i386
    updated=no
fi

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
elif [ "${updated:-yes}" = no ]; then
    $as_root apt-get update -qq
fi
