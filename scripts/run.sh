#!/usr/bin/env bash
# Builds and starts Quorvane. When the codec simulator has been built, one
# simulated codec is started first on 127.0.0.1:8080 and stopped when the
# program ends. Without a display the program runs under Xvfb.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$QV_ROOT/scripts/install-deps.sh"
build="$QV_ROOT/build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  qv_configure "$build" -DQV_BUILD_BENCHMARKS=ON -DQV_BUILD_TOOLS=ON
fi
targets=(quorvane)
if [ -f "$QV_ROOT/tools/codecsim/CMakeLists.txt" ]; then
  targets+=(codecsim)
fi
qv_build "$build" "${targets[@]}"

sim="$build/tools/codecsim/codecsim"
sim_pid=""
sim_log="$build/codecsim.log"
stop_simulator() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}
trap stop_simulator EXIT
trap 'exit 130' INT TERM

if [ -x "$sim" ]; then
  "$sim" --listen 127.0.0.1:8080 >"$sim_log" 2>&1 &
  sim_pid=$!
  ready=""
  for _ in $(seq 100); do
    if grep -q "listening on 127.0.0.1:8080" "$sim_log" 2>/dev/null; then
      ready=1
      break
    fi
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      break
    fi
    sleep 0.1
  done
  if [ -n "$ready" ]; then
    echo "codec simulator listening on 127.0.0.1:8080 (log: $sim_log)"
  else
    echo "warning: the codec simulator did not start listening on 127.0.0.1:8080; see $sim_log" >&2
    stop_simulator
  fi
fi

app="$build/app/quorvane"
status=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1280x800x24" "$app" "$@" || status=$?
else
  "$app" "$@" || status=$?
fi
exit "$status"
