#!/usr/bin/env bash
# Builds the tests with sanitizers in a folder of their own and runs them.
#   scripts/sanitize.sh asan [ctest label regex]   AddressSanitizer + UndefinedBehaviorSanitizer, build-asan/
#   scripts/sanitize.sh tsan [ctest label regex]   ThreadSanitizer, build-tsan/
# Any sanitizer report fails the run: the code is built with
# -fno-sanitize-recover=all and every runtime halts on its first report.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

usage() {
  echo "usage: $0 <asan|tsan> [ctest label regex]" >&2
  exit 2
}
[ $# -ge 1 ] || usage
kind="$1"
labels="${2:-}"

case "$kind" in
  asan)
    build="$QV_ROOT/build-asan"
    sanitize="address;undefined"
    # Leak checking stays on: the Qt code paths the tests take free what they
    # allocate, and the few one-off allocations inside Qt's uninstrumented
    # libraries that are never freed are listed in .ci/lsan.supp.
    export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1"
    export LSAN_OPTIONS="suppressions=$QV_ROOT/.ci/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
    ;;
  tsan)
    build="$QV_ROOT/build-tsan"
    sanitize="thread"
    export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$QV_ROOT/.ci/tsan.supp"
    ;;
  *)
    usage
    ;;
esac

"$QV_ROOT/scripts/install-deps.sh"
# Tools stay on: tests may start the codec simulator. Benchmarks are not run
# here, and the plain build already keeps them compiling.
qv_configure "$build" -DQV_SANITIZE="$sanitize" -DQV_BUILD_TOOLS=ON -DQV_BUILD_BENCHMARKS=OFF -DQV_BUILD_FUZZERS=OFF
qv_build "$build"

cd "$build"
args=(--output-on-failure -j "$QV_JOBS")
if [ -n "$labels" ]; then
  args+=(-L "$labels")
fi
exec ctest "${args[@]}"
