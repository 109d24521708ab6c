#!/bin/sh
# Sets up a fresh machine if needed, then builds and runs the tests of every
# configuration: the normal, sanitizer and clang builds, the build without
# vector kernels, 32-bit Linux, both Windows DLLs with their tests under
# Wine, instances on threads under ThreadSanitizer, and a bounded run of the
# host-interface fuzzer.
# Usage: scripts/test-all.sh                 every configuration (what CI runs)
#        scripts/test-all.sh quick           release and the sanitizers, for everyday work
#        scripts/test-all.sh CONFIG...       some of: release asan clang plain linux32 win32 win64 tsan fuzz
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)

case "$*" in
    "") set -- release asan clang plain linux32 win32 win64 tsan fuzz ;;
    quick) set -- release asan ;;
esac

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
        *)
            echo "== $config: build" >&2
            scripts/build.sh "$config"
            echo "== $config: test" >&2
            ctest --test-dir "build/$config" --output-on-failure -j "$jobs"
            ;;
    esac
done
echo "all configurations passed: $*" >&2
