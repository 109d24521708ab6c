#!/bin/sh
# Sets up a fresh machine if needed, then builds and runs the tests of every
# configuration: the README's commands in a clean Debian 12 root (the demo,
# then the normal and sanitizer builds' tests, installed from nothing), the
# clang build, the build without vector kernels, 32-bit Linux, both Windows
# DLLs with their tests under Wine, ARM64 Linux with its tests under qemu,
# instances on threads under ThreadSanitizer, a bounded run of the
# host-interface fuzzer, and the packages (made, checked by lintian,
# installed, used and removed).
# Usage: scripts/test-all.sh                 every configuration (what CI runs)
#        scripts/test-all.sh quick           release and the sanitizers, for everyday work
#        scripts/test-all.sh CONFIG...       some of: fresh release asan clang plain linux32 win32 win64
#                                            arm64 tsan fuzz package
# The last line names what passed, how long each took, and what could not
# run on this machine (and why).
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

case "$*" in
    # fresh runs `quick` (release and asan) in the clean root.
    "") set -- fresh clang plain linux32 win32 win64 arm64 tsan fuzz package ;;
    quick) set -- release asan ;;
esac

# Only the packages the named configurations need.
groups="build test"
for config in "$@"; do
    case "$config" in
        linux32|win32|win64) groups="$groups windows" ;;
        arm64) groups="$groups arm64" ;;
        package) groups="$groups windows arm64 package" ;;
        fresh) groups="$groups fresh" ;;
    esac
done
# shellcheck disable=SC2046
scripts/setup.sh $(echo "$groups" | tr ' ' '\n' | sort -u)

passed=""
skipped=""
for config in "$@"; do
    started=$(date +%s)
    case "$config" in
        fresh)
            echo "== fresh: the README's commands in a clean Debian 12 root" >&2
            scripts/fresh-root.sh
            ;;
        tsan)
            echo "== tsan: instances on several threads" >&2
            scripts/build.sh tsan
            TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/instances_tests
            ;;
        fuzz)
            echo "== fuzz: the host interface for ${FUZZ_SECONDS:-60} s" >&2
            scripts/build.sh fuzz
            corpus=$(mktemp -d)
            cp tests/fuzz/corpus/* "$corpus"/
            if ! build/fuzz/tests/host_interface_fuzzer "$corpus" -max_total_time="${FUZZ_SECONDS:-60}" -max_len=4096 \
                    -print_final_stats=1 -artifact_prefix="$(pwd)/build/fuzz/" >"$corpus.log" 2>&1; then
                cat "$corpus.log" >&2
                rm -rf "$corpus" "$corpus.log"
                echo "fuzz: a finding; the input is in build/fuzz/" >&2
                exit 1
            fi
            grep -E "^stat::(number_of_executed_units|new_units_added)|DONE" "$corpus.log"
            rm -rf "$corpus" "$corpus.log"
            ;;
        arm64|linux32)
            echo "== $config: build" >&2
            scripts/build.sh "$config"
            echo "== $config: test" >&2
            # On a kernel that runs them (natively, or through qemu's
            # binfmt_misc entry), the tools start the programs they start.
            if "build/$config/fxvalidate" --version >/dev/null 2>&1; then
                ctest --test-dir "build/$config" --output-on-failure -j "$jobs"
            else
                # The kernel cannot start these programs by itself (no
                # binfmt_misc entry for them), so programs that the tools
                # start cannot run.
                count=$(ctest --test-dir "build/$config" -N -L starts_programs | sed -n 's/^Total Tests: //p')
                echo "$config: this kernel does not start these programs through qemu by itself:" \
                    "the $count tests that start the tools are skipped" >&2
                skipped="$skipped; $config: $count tests that start programs (no binfmt_misc entry for qemu)"
                ctest --test-dir "build/$config" --output-on-failure -j "$jobs" -LE starts_programs
            fi
            ;;
        win32)
            echo "== win32: build" >&2
            scripts/build.sh win32
            reason=""
            if ! scripts/runs-32-bit-x86.sh; then
                reason="this kernel starts no 32-bit x86 programs, which 32-bit Wine needs"
            elif ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
                reason="32-bit Wine (wine32:i386) is not installed: this machine's package sources could not provide it"
            fi
            if [ -n "$reason" ]; then
                echo "win32: built; its Wine tests cannot run: $reason" >&2
                skipped="$skipped; win32: its tests under Wine ($reason)"
            else
                echo "== win32: test" >&2
                ctest --test-dir build/win32 --output-on-failure -j "$jobs"
            fi
            ;;
        package)
            echo "== package: the Debian packages and the Windows archives" >&2
            scripts/package.sh release arm64 win32 win64
            # The build tree's fxrender, to compare the installed one's renders with.
            scripts/build.sh demo >/dev/null
            version=$(sed -n 's/^project(TempoFlanger VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
            for deb in build/packages/tempo-flanger_"$version"_amd64.deb build/packages/tempo-flanger_"$version"_arm64.deb; do
                echo "== $deb" >&2
                dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Architecture\|Depends\):/ \1:/p'
                dpkg-deb --contents "$deb"
            done
            status=0
            report=$(lintian --fail-on error build/packages/tempo-flanger_"$version"_arm64.deb 2>&1) || status=$?
            echo "$report" | grep -v "root privileges" || true
            [ "$status" -eq 0 ] || { echo "package: lintian reports errors in the arm64 package" >&2; exit 1; }
            tests/packaging/installed_product.sh build/packages/tempo-flanger_"$version"_amd64.deb
            ;;
        *)
            echo "== $config: build" >&2
            scripts/build.sh "$config"
            echo "== $config: test" >&2
            ctest --test-dir "build/$config" --output-on-failure -j "$jobs"
            ;;
    esac
    passed="$passed $config ($(($(date +%s) - started)) s)"
done
echo "all configurations passed:$passed${skipped:+; skipped:${skipped#;}}" >&2
