# Sourced by the scripts in this folder: the source root and one way of
# configuring a build folder, so test.sh and run.sh share build/ without
# fighting over its cache.

QV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Two cores are shared with other people's work: two jobs unless told otherwise.
QV_JOBS="${QV_JOBS:-2}"

# qv_configure <build dir> [extra cmake arguments...]
qv_configure() {
  local dir="$1"
  shift
  cmake -G Ninja -S "$QV_ROOT" -B "$dir" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQV_BUILD_TESTS=ON \
    "$@" >/dev/null
}

# qv_build <build dir> [targets...]
qv_build() {
  local dir="$1"
  shift
  local targets=()
  local t
  for t in "$@"; do targets+=(--target "$t"); done
  cmake --build "$dir" -j "$QV_JOBS" "${targets[@]}"
}
