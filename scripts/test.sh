#!/usr/bin/env bash
# Builds everything in build/ (benchmarks too, so that they keep compiling)
# and runs the test suite. Extra arguments go to ctest (e.g. -L message).
# The exit status is ctest's.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$QV_ROOT/scripts/install-deps.sh"
build="$QV_ROOT/build"
qv_configure "$build" -DQV_BUILD_BENCHMARKS=ON -DQV_BUILD_TOOLS=ON
qv_build "$build"
cd "$build"
exec ctest --output-on-failure -j "$QV_JOBS" "$@"
