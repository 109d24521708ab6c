#!/bin/sh
# Sets up a fresh machine if needed, builds, and shows where the plug-in
# library is.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release >/dev/null
echo "plug-in library: $(pwd)/build/release/tempo_flanger.so"
