#!/bin/sh
# The README's commands on a clean machine: makes a minimal Debian 12 root
# (mmdebstrap, minbase) from this machine's Debian package sources, copies
# the checkout into it, and there runs the README's first command
# (scripts/demo.sh), then `scripts/test-all.sh quick`, as root. A package
# that a script needs but does not install fails here.
#
# The root lives in a temporary folder and its mounts in a mount namespace
# of their own, so nothing of it outlives the run. Needs root.
# Usage: scripts/fresh-root.sh [COMMAND]   COMMAND runs in the root instead
#                                          of the two above (for trying things)
set -eu
cd "$(dirname "$0")/.."
checkout=$(pwd)
[ "$(id -u)" -eq 0 ] || { echo "fresh-root: needs root (it makes a root file system and chroots into it)" >&2; exit 1; }
command -v mmdebstrap >/dev/null || { echo "fresh-root: mmdebstrap is not installed (scripts/setup.sh fresh)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/var/tmp}/fresh-root.XXXXXX")
trap 'rm -rf --one-file-system "$work"' EXIT INT TERM
root=$work/root
log=$work/log

# This machine's Debian sources (not the other vendors' it may list), in
# the format they are written in.
sources=""
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    case "$file" in
        *.sources) grep -qE '^URIs:.*debian' "$file" && sources="$sources $file" ;;
        *) grep -qE '^deb +[^#]*debian[^ ]* +bookworm' "$file" && sources="$sources $file" ;;
    esac
done
[ -n "$sources" ] || { echo "fresh-root: no Debian bookworm sources in /etc/apt" >&2; exit 1; }

started=$(date +%s)
echo "fresh-root: making a minimal Debian 12 root from$sources" >&2
# shellcheck disable=SC2086
if ! mmdebstrap --quiet --variant=minbase bookworm "$root" $sources 2>"$log"; then
    tail -20 "$log" >&2
    echo "fresh-root: mmdebstrap could not make the root" >&2
    exit 1
fi
# Services that packages would start have nothing to run on in a chroot.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mkdir -p "$root/root/tempo-flanger"
tar -C "$checkout" --exclude=./build --exclude=./.git -cf - . | tar -C "$root/root/tempo-flanger" -xf -
made=$(date +%s)
echo "fresh-root: root made in $((made - started)) s" >&2

if [ $# -gt 0 ]; then
    inside="$*"
else
    inside='start=$(date +%s)
        scripts/demo.sh -q
        [ -s tempo-flanger-demo.wav ] || { echo "fresh-root: the demo wrote no tempo-flanger-demo.wav" >&2; exit 1; }
        demo=$(date +%s)
        echo "fresh-root: scripts/demo.sh took $((demo - start)) s" >&2
        scripts/test-all.sh quick
        echo "fresh-root: scripts/test-all.sh quick took $(($(date +%s) - demo)) s" >&2'
fi
status=0
unshare --mount --propagation private --fork sh -eu -c '
    root=$1
    shift
    # The root a mount point of its own, as on a machine: tools such as
    # unshare -m change the propagation of / and need one.
    mount --bind "$root" "$root"
    mount --rbind /dev "$root/dev"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount -t tmpfs tmpfs "$root/tmp"
    exec chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 TERM=dumb /bin/sh -euc "cd /root/tempo-flanger && $1"
' fresh-root "$root" "$inside" || status=$?
echo "fresh-root: $( [ "$status" -eq 0 ] && echo passed || echo "FAILED ($status)") in $(($(date +%s) - started)) s" >&2
exit "$status"
