#!/bin/sh
# True when this machine's kernel starts 32-bit x86 programs: a tiny one,
# built with gcc -m32 (g++-12-multilib), runs.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'int main(void) { return 0; }\n' >"$work/probe.c"
gcc -m32 -o "$work/probe" "$work/probe.c" 2>/dev/null && "$work/probe" 2>/dev/null
