#!/bin/sh
# A manual page made from a tool's help: man formats it without a warning,
# it names no folder of the machine that built it, and it holds the given
# texts (options of every command).
# Usage: check_man_page.sh PAGE BUILD_FOLDER TEXT...
set -eu
page=$1
build=$2
shift 2
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
    echo "$page: man warns: $warnings" >&2
    exit 1
fi
text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)
if printf '%s' "$text" | grep -qF "$build"; then
    echo "$page: names the build folder $build" >&2
    exit 1
fi
for wanted in "$@"; do
    printf '%s' "$text" | grep -qF -- "$wanted" || { echo "$page: no '$wanted'" >&2; exit 1; }
done
