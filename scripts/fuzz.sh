#!/usr/bin/env bash
# Builds and runs one libFuzzer target under ASan/UBSan.
#   scripts/fuzz.sh <fuzz_xmls_receive|fuzz_compact|fuzz_parse> [seconds] [extra libFuzzer args]
# Configures build-fuzz/ with clang on first use. New inputs go to
# build-fuzz/corpus/<target>/, crashes to build-fuzz/artifacts/<target>/; copy a
# crasher into fuzz/corpus/<target>/ once fixed, so the tests replay it.
# One process only: the machine is shared.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?usage: scripts/fuzz.sh <target> [seconds] [libFuzzer args...]}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
build=$root/build-fuzz

if [ ! -f "$build/build.ninja" ]; then
  cmake -G Ninja -S "$root" -B "$build" \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQV_BUILD_FUZZERS=ON -DQV_BUILD_TESTS=OFF -DQV_BUILD_TOOLS=OFF -DQV_BUILD_BENCHMARKS=OFF \
    -DQV_SANITIZE="address;undefined"
fi
ninja -C "$build" -j2 "$target"

work=$build/corpus/$target
artifacts=$build/artifacts/$target/
mkdir -p "$work" "$artifacts"
dict=()
case $target in
  fuzz_parse|fuzz_xmls_receive) dict=(-dict="$root/fuzz/xml.dict") ;;
esac

exec "$build/fuzz/$target" "$work" "$root/fuzz/corpus/$target" \
  -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts" -print_final_stats=1 "${dict[@]}" "$@"
