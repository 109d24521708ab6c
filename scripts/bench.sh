#!/bin/sh
# Builds and runs the benchmarks (not part of the tests): the plug-in through
# its entry points as hosts call it, against memcpy and beside the flangers
# Debian ships where they are installed (swh-plugins, tap-plugins,
# calf-plugins, mda-lv2), then fxrender against a plain copy.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release >/dev/null
# Repetitions interleaved at random, so that a slow spell of a shared machine
# falls on all benchmarks alike rather than on one.
build/release/bench/plugin_bench --benchmark_repetitions=5 --benchmark_min_time=0.2 \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true "$@"
bench/render_speed.sh build/release
