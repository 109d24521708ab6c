#!/bin/sh
# Installs the Debian packages the build and the tests need, only those that
# are missing: running it again does nothing.
set -eu

packages="cmake g++ clang lld make binutils pkg-config libgtest-dev libbenchmark-dev libsndfile1-dev libcli11-dev sndfile-programs"

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done

if [ -n "$missing" ]; then
    echo "setup: installing$missing" >&2
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo_cmd apt-get update -qq
    # shellcheck disable=SC2086
    $sudo_cmd apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
