#!/bin/sh
# Sets up a fresh machine if needed, then builds and runs the tests of every
# configuration: the normal, sanitizer and clang builds, the build without
# vector kernels, 32-bit Linux, both Windows DLLs with their tests under
# Wine, ARM64 Linux with its tests under qemu, instances on threads under
# ThreadSanitizer, a bounded run of the host-interface fuzzer, and the
# packages (made, checked by lintian, installed, used and removed).
# Usage: scripts/test-all.sh                 every configuration (what CI runs)
#        scripts/test-all.sh quick           release and the sanitizers, for everyday work
#        scripts/test-all.sh CONFIG...       some of: release asan clang plain linux32 win32 win64 arm64
#                                            tsan fuzz package
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

case "$*" in
    "") set -- release asan clang plain linux32 win32 win64 arm64 tsan fuzz package ;;
    quick) set -- release asan ;;
esac

# Only the packages the named configurations need.
groups="build test"
for config in "$@"; do
    case "$config" in
        linux32|win32|win64) groups="$groups windows" ;;
        arm64) groups="$groups arm64" ;;
        package) groups="$groups windows arm64 package" ;;
    esac
done
# shellcheck disable=SC2046
scripts/setup.sh $(echo "$groups" | tr ' ' '\n' | sort -u)

for config in "$@"; do
    case "$config" in
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
        arm64)
            echo "== arm64: build" >&2
            scripts/build.sh arm64
            echo "== arm64: test under qemu-aarch64" >&2
            if build/arm64/fxvalidate --version >/dev/null 2>&1; then
                ctest --test-dir build/arm64 --output-on-failure -j "$jobs"
            else
                # The kernel cannot start ARM64 programs by itself (no
                # binfmt_misc here), so programs that the tools start cannot run.
                skipped=$(ctest --test-dir build/arm64 -N -L starts_programs | sed -n 's/^Total Tests: //p')
                echo "arm64: this machine's kernel does not run ARM64 programs through qemu by itself:" \
                    "the $skipped tests that start the tools are skipped" >&2
                ctest --test-dir build/arm64 --output-on-failure -j "$jobs" -LE starts_programs
            fi
            ;;
        package)
            echo "== package: the Debian packages and the Windows archives" >&2
            scripts/package.sh release arm64 win32 win64
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
done
echo "all configurations passed: $*" >&2
