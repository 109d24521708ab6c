#!/bin/sh
# Sets up a fresh machine if needed, builds the plug-in and fxrender (not
# the tests), and renders the built-in demo signal through the plug-in:
# tempo-flanger-demo.wav in the current folder (or the file given with -o).
# Further arguments go to `fxrender demo`.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" demo
"$root/scripts/build.sh" demo >/dev/null
exec "$root/build/release/fxrender" demo "$@"
