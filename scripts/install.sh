#!/bin/sh
# Builds the release configuration if needed and installs the plug-in, the
# LV2 bundle, fxrender and fxvalidate with their manual pages.
#
# Usage: scripts/install.sh [--user] [--prefix DIR] [--plugin-dir DIR] [--uninstall]
#   (no option)       system-wide under /usr/local, with sudo when not root
#   --user            for this user only, without root: ~/.local/bin,
#                     ~/.local/lib/tempo-flanger, ~/.lv2, ~/.local/share/man
#   --prefix DIR      system-wide under DIR instead of /usr/local
#   --plugin-dir DIR  the plug-in library's folder instead of PREFIX/lib/tempo-flanger
#   --uninstall       remove what an install with the same options put there
#
# Files are replaced by renaming new ones over them, so that a host that has
# the old plug-in loaded keeps running it. The list of installed files is
# kept in the documentation folder, for --uninstall.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

user=no
prefix=/usr/local
plugin_dir=""
uninstall=no
while [ $# -gt 0 ]; do
    case "$1" in
        --user) user=yes ;;
        --prefix) [ $# -ge 2 ] || { echo "install: --prefix needs a folder" >&2; exit 1; }
            prefix=$2; shift ;;
        --plugin-dir) [ $# -ge 2 ] || { echo "install: --plugin-dir needs a folder" >&2; exit 1; }
            plugin_dir=$2; shift ;;
        --uninstall) uninstall=yes ;;
        -h|--help) sed -n '2,15s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "install: unknown option '$1' (see scripts/install.sh --help)" >&2; exit 1 ;;
    esac
    shift
done

if [ "$user" = yes ]; then
    [ -n "${HOME:-}" ] || { echo "install: --user needs HOME" >&2; exit 1; }
    prefix=$HOME/.local
    lv2_dir=$HOME/.lv2
    as_root=""
else
    lv2_dir=$prefix/lib/lv2
    as_root=""
    [ "$(id -u)" -eq 0 ] || as_root="sudo"
fi
case "$prefix" in /*) ;; *) prefix=$(pwd)/$prefix ;; esac
[ -n "$plugin_dir" ] || plugin_dir=$prefix/lib/tempo-flanger
case "$plugin_dir" in /*) ;; *) plugin_dir=$(pwd)/$plugin_dir ;; esac
bin_dir=$prefix/bin
man_dir=$prefix/share/man/man1
doc_dir=$prefix/share/doc/tempo-flanger
manifest=$doc_dir/installed-files

if [ "$uninstall" = yes ]; then
    if [ ! -f "$manifest" ]; then
        echo "install: nothing to uninstall: no $manifest" >&2
        exit 1
    fi
    folders=$(sed -n 's/^folder //p' "$manifest" | awk '{ print length($0) "\t" $0 }' | sort -rn | cut -f2-)
    while IFS= read -r entry; do
        case "$entry" in
            "folder "*|"") ;;
            *) $as_root rm -f "$entry" ;;
        esac
    done <"$manifest"
    $as_root rm -f "$manifest"
    # The folders the installs made, deepest first, where nothing else is left.
    echo "$folders" | while IFS= read -r folder; do
        [ -z "$folder" ] || $as_root rmdir "$folder" 2>/dev/null || true
    done
    echo "install: removed what $manifest listed" >&2
    exit 0
fi

# What the build needs; then the build itself, as scripts/demo.sh makes it.
"$root/scripts/setup.sh" build
"$root/scripts/build.sh" release >/dev/null

stage=$(mktemp -d)
list=$(mktemp)
plan=$stage.plan
trap 'rm -rf "$stage" "$list" "$plan"' EXIT
cmake --install "$root/build/release" --prefix "$stage" --strip >/dev/null

# Every staged file and the folder it goes to; none may belong to a Debian
# package (such as this project's own), checked before anything is written.
{
    for file in "$stage"/bin/*; do echo "$file	$bin_dir"; done
    for file in "$stage"/lib/tempo-flanger/*; do echo "$file	$plugin_dir"; done
    for file in "$stage"/lib/lv2/tempo-flanger.lv2/*; do echo "$file	$lv2_dir/tempo-flanger.lv2"; done
    for file in "$stage"/share/man/man1/*; do echo "$file	$man_dir"; done
    for file in "$stage"/share/doc/tempo-flanger/*; do [ ! -f "$file" ] || echo "$file	$doc_dir"; done
    for file in "$stage"/share/doc/tempo-flanger/docs/*; do echo "$file	$doc_dir/docs"; done
} >"$plan"
if command -v dpkg-query >/dev/null 2>&1; then
    while IFS='	' read -r file folder; do
        target=$folder/$(basename "$file")
        if dpkg-query -S "$target" >/dev/null 2>&1; then
            echo "install: $target belongs to a Debian package; remove the package or choose another --prefix" >&2
            exit 1
        fi
    done <"$plan"
fi

# Each file through a temporary name in its folder and a rename, keeping
# the staged permissions. Folders made here are listed too ("folder PATH"),
# to be removed again when empty; an earlier install's list is kept.
while IFS='	' read -r file folder; do
    target=$folder/$(basename "$file")
    missing=$folder
    while [ ! -d "$missing" ]; do
        grep -qxF "folder $missing" "$list" 2>/dev/null || echo "folder $missing" >>"$list"
        missing=$(dirname "$missing")
    done
    $as_root mkdir -p "$folder"
    $as_root cp -p "$file" "$target.installing-$$"
    $as_root mv -f "$target.installing-$$" "$target"
    echo "$target" >>"$list"
done <"$plan"
if [ -f "$manifest" ]; then
    while IFS= read -r entry; do
        grep -qxF "$entry" "$list" || echo "$entry" >>"$list"
    done <"$manifest"
fi
$as_root cp "$list" "$manifest.installing-$$"
$as_root chmod 644 "$manifest.installing-$$"
$as_root mv -f "$manifest.installing-$$" "$manifest"

cat >&2 <<EOF
install: installed
  fxrender, fxvalidate   $bin_dir
  the plug-in library    $plugin_dir/tempo_flanger.so
  the LV2 bundle         $lv2_dir/tempo-flanger.lv2
  manual pages           $man_dir
LV2 hosts find the bundle by themselves. For hosts of the 1.0 interface, add
$plugin_dir to the folders they scan for plug-ins (in their preferences).
EOF
if [ "$plugin_dir" != "$prefix/lib/tempo-flanger" ]; then
    echo "fxrender looks for the plug-in in $prefix/lib/tempo-flanger: give it --plugin $plugin_dir/tempo_flanger.so" >&2
fi
case ":${PATH:-}:" in
    *":$bin_dir:"*) ;;
    *) echo "$bin_dir is not on your PATH: add it, or run $bin_dir/fxrender" >&2 ;;
esac
