#!/bin/sh
# Fails unless the library's only defined dynamic symbol is `main`.
set -eu
symbols=$(nm -D --defined-only "$1" | awk '{print $3}' | sort -u)
if [ "$symbols" != "main" ]; then
    echo "expected only 'main' to be exported by $1, found:" >&2
    echo "$symbols" >&2
    exit 1
fi
echo "only 'main' is exported by $1"
