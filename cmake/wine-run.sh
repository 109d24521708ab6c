#!/bin/sh
# Runs a Windows program under Wine, headless and quiet, in one prefix per
# user that is created on first use and then reused. CMake uses it as the
# emulator for the Windows builds, so ctest runs the tests through it.
#
# Wine's background services inherit the first program's stderr and keep it
# open until the server exits, which makes whoever reads that stderr wait;
# they are started here with all of their stdio on /dev/null first.
set -eu

export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/wine-prefix-$(id -u)}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX/.wine-run.lock"
flock 9
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
fi
# A server that lingers between tests, and the services, detached from our stdio.
wineserver -p"${WINE_RUN_LINGER:-30}" </dev/null >/dev/null 2>&1 9>&- || true  # already running is fine
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || true
exec 9>&-

exec wine "$@"
