#!/bin/sh
# An hour of audio with random automation and program changes through one
# instance, in the AddressSanitizer + UndefinedBehaviorSanitizer build.
# Usage: scripts/soak.sh [seconds of audio, default 3600] [seed]
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh asan >/dev/null
exec build/asan/tests/soak "${1:-3600}" "${2:-1}"
