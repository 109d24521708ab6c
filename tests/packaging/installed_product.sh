#!/bin/sh
# The product as users install it, on this machine (as root, or with sudo):
#   - the Debian package: lintian finds no error; installed, its fxrender
#     renders the demo (the same bits as the build tree's, when there is
#     one), lv2ls finds the bundle, the plug-in library is where the
#     package put it and passes the validator; removed, nothing is left;
#   - scripts/install.sh --user into a scratch home: the same uses, then
#     --uninstall leaves only what was there before.
# Usage: tests/packaging/installed_product.sh PACKAGE.deb
set -eu
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
uri=urn:tempo-flanger:lv2:flanger
as_root=""
[ "$(id -u)" -eq 0 ] || as_root="sudo"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "installed product: FAIL: $*" >&2
    exit 1
}

# The demo in floating point from the build tree, to compare bit for bit.
reference=""
if [ -x "$root/build/release/fxrender" ]; then
    "$root/build/release/fxrender" demo --float -q -o "$work/reference.wav"
    reference=$work/reference.wav
fi

# uses PREFIX_BIN PLUGIN_DIR LV2_PATH: what a user does with an install.
uses() {
    "$1/fxrender" demo --float -q -o "$work/demo.wav" || fail "$1/fxrender demo failed"
    [ -z "$reference" ] || cmp -s "$work/demo.wav" "$reference" || fail "$1/fxrender renders other bits than the build tree"
    "$1/fxrender" info | grep -q "^plug-in  *$2/tempo_flanger.so$" || fail "$1/fxrender does not find $2/tempo_flanger.so"
    "$1/fxvalidate" "$2/tempo_flanger.so" | grep -q "verdict: PASS" || fail "$2/tempo_flanger.so does not pass the validator"
    env ${3:+LV2_PATH="$3"} lv2ls | grep -qx "$uri" || fail "lv2ls does not find $uri"
    echo "installed product: $1/fxrender renders the demo, the plug-in in $2 passes, lv2ls finds $uri" >&2
}

echo "== lintian $(basename "$deb")" >&2
status=0
report=$(lintian --fail-on error "$deb" 2>&1) || status=$?
echo "$report" | grep -v "running with root privileges" >&2 || true
[ "$status" -eq 0 ] || fail "lintian reports errors"

if dpkg-query -W -f='${Status}' tempo-flanger 2>/dev/null | grep -q "install ok installed"; then
    echo "installed product: tempo-flanger is installed on this machine already: the package is not tried" >&2
else
    echo "== the package installed, used and removed" >&2
    $as_root apt-get -o DPkg::Lock::Timeout=900 install -y -qq "$deb" >/dev/null
    dpkg-query -L tempo-flanger >"$work/files"
    uses /usr/bin /usr/lib/tempo-flanger ""
    [ "$(man -w fxrender)" = /usr/share/man/man1/fxrender.1.gz ] || fail "man does not find fxrender's page"
    $as_root apt-get -o DPkg::Lock::Timeout=900 purge -y -qq tempo-flanger >/dev/null
    ! dpkg-query -W -f='${Status}' tempo-flanger 2>/dev/null | grep -q "installed" || fail "the package is still installed"
    while IFS= read -r path; do
        if [ -e "$path" ] && [ ! -d "$path" ]; then fail "$path is left after removal"; fi
    done <"$work/files"
    for folder in /usr/lib/tempo-flanger /usr/lib/lv2/tempo-flanger.lv2 /usr/share/doc/tempo-flanger; do
        [ ! -e "$folder" ] || fail "$folder is left after removal"
    done
    echo "installed product: the package installs, works and leaves nothing behind" >&2
fi

echo "== scripts/install.sh --user into a scratch home" >&2
home=$work/home
mkdir -p "$home/.local/bin"
echo "not ours" >"$home/.local/bin/someone-elses-tool"
(cd "$home" && find . | sort) >"$work/before"
HOME=$home "$root/scripts/install.sh" --user 2>"$work/install.log" || { cat "$work/install.log" >&2; fail "install.sh --user failed"; }
uses "$home/.local/bin" "$home/.local/lib/tempo-flanger" "$home/.lv2"
[ -f "$home/.local/share/man/man1/fxrender.1" ] || fail "no manual page in $home/.local/share/man/man1"
HOME=$home "$root/scripts/install.sh" --user --uninstall 2>/dev/null || fail "install.sh --user --uninstall failed"
(cd "$home" && find . | sort) >"$work/after"
cmp -s "$work/before" "$work/after" || { diff "$work/before" "$work/after" >&2; fail "--uninstall left files behind"; }
echo "installed product: install.sh --user installs, works and --uninstall leaves nothing behind" >&2
