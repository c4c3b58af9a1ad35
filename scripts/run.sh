#!/usr/bin/env bash
# The demo: builds Quorvane and the codec simulator, starts one simulated
# codec with a call under way, and starts the program already managing it.
# The program's configuration lives in build/demo-config/ (XDG_CONFIG_HOME),
# written afresh on every run, so ~/.config is never touched.
#   scripts/run.sh                 the demo
#   scripts/run.sh --own-config    the program on your own ~/.config/Velmora/pn-config.xml
#                                  (the simulator still listens, for "Load Codec Instance...")
# Other arguments go to the program. Without a display it runs under Xvfb.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

own_config=""
args=()
for a in "$@"; do
  if [ "$a" = "--own-config" ]; then
    own_config=1
  else
    args+=("$a")
  fi
done

"$QV_ROOT/scripts/install-deps.sh"
build="$QV_ROOT/build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  qv_configure "$build" -DQV_BUILD_BENCHMARKS=ON -DQV_BUILD_TOOLS=ON
fi
qv_build "$build" quorvane codecsim

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

# start_simulator PORT: sets port to the codec's port once it listens, or leaves it empty.
port=""
start_simulator() {
  # One call up from the start: levels, statistics and a busy peer at first sight.
  "$sim" --listen "127.0.0.1:$1" --active-peers 1 >"$sim_log" 2>&1 &
  sim_pid=$!
  local line
  for _ in $(seq 100); do
    line=$(grep -m1 -o "listening on 127.0.0.1:[0-9]*" "$sim_log" 2>/dev/null || true)
    if [ -n "$line" ]; then
      port="${line##*:}"
      return
    fi
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  stop_simulator
}

start_simulator 8080
if [ -z "$port" ]; then
  # 8080 is taken (another simulator, say): any free port will do.
  start_simulator 0
fi
if [ -z "$port" ]; then
  echo "error: the codec simulator did not start; see $sim_log" >&2
  exit 1
fi
echo "codec simulator listening on 127.0.0.1:$port, password \"tarlin\" (log: $sim_log)"

if [ -z "$own_config" ]; then
  export XDG_CONFIG_HOME="$build/demo-config"
  mkdir -p "$XDG_CONFIG_HOME/Velmora"
  config="$XDG_CONFIG_HOME/Velmora/pn-config.xml"
  # The simulated codec with its default password, levels on, both alert switches on.
  (umask 077 && cat >"$config" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<config company="Velmora Corporation" product="Quorvane" version="1.0">
    <application audio="true" default-sounds="true" height="720" width="1100" x="40" y="40"/>
    <remotes>
        <remote address="127.0.0.1" metering="true" password="tarlin" port="$port"/>
    </remotes>
</config>
EOF
  )
  echo "demo configuration: $config"
fi

app="$build/app/quorvane"
status=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1280x800x24" "$app" "${args[@]}" || status=$?
else
  "$app" "${args[@]}" || status=$?
fi
exit "$status"
