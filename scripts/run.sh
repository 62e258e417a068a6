#!/usr/bin/env bash
# Sets up, builds the default preset and runs envmon on its simulated default
# chassis: the directory service, the chassis simulator and, when it has been
# built, one monitoring server's host per simulated card. Logs go to
# ./run/default/ and are shown here; Ctrl-C stops everything this script
# started. `build/default/bin/envsim --root run/default/root show` shows what the
# simulator sees meanwhile.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

bin=$PWD/build/default/bin
run_dir=$PWD/run/default
rm -rf "$run_dir"
mkdir -p "$run_dir/root"
export ENVMON_ROOT=$run_dir/root
# The inventory XML descriptions of the simulated hardware, at their fixed path.
mkdir -p "$ENVMON_ROOT/opt/tolvu/pelmarok/usr"
ln -s "$PWD/sim/data/xml" "$ENVMON_ROOT/opt/tolvu/pelmarok/usr/xml"
export ENVMON_DS_ENDPOINT=${ENVMON_DS_ENDPOINT:-127.0.0.1:17600}

pids=()
tail_pid=""
stopped=""
stop_all() {
  [ -n "$stopped" ] && return
  stopped=1
  local i
  # Last started first, so that the directory service goes last.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  if [ -n "$tail_pid" ]; then
    kill "$tail_pid" 2>/dev/null || true
    wait "$tail_pid" 2>/dev/null || true
  fi
  echo "run.sh: stopped; logs are in $run_dir"
}
trap 'stop_all; exit 130' INT TERM
trap stop_all EXIT

# start <name> <program> [args...]: runs the program with its output in
# <name>.log, in a session of its own so that Ctrl-C reaches only this script,
# which then stops the programs in order.
start() {
  local name=$1
  shift
  setsid "$@" >"$run_dir/$name.log" 2>&1 &
  pids+=("$!")
  echo "run.sh: started $name (pid $!)"
}

# wait_for_log <name> <text>: until the log holds the text, for at most 10 s.
wait_for_log() {
  local tries=0
  until grep -q "$2" "$run_dir/$1.log" 2>/dev/null; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ] || ! kill -0 "${pids[-1]}" 2>/dev/null; then
      echo "run.sh: $1 did not come up:" >&2
      cat "$run_dir/$1.log" >&2
      exit 1
    fi
    sleep 0.1
  done
}

start dsd "$bin/dsd" --endpoint "$ENVMON_DS_ENDPOINT"
wait_for_log dsd "listening on"

# The chassis simulator: the platform services of the default tavrin chassis.
chassis=$PWD/sim/data/chassis/tavrin_default.json
start envsim "$bin/envsim" --root "$ENVMON_ROOT" --chassis "$chassis" run
wait_for_log envsim "control file"

# One monitoring-server host per card of the chassis, each standing for its
# card through the card's own address.
if [ -x "$bin/envmon_server" ]; then
  while read -r slot address; do
    start "envmon_server_slot$slot" env ENVMON_CARD_ADDR="$address" \
      "$bin/envmon_server" --platform tavrin
    wait_for_log "envmon_server_slot$slot" "running the event loop"
  done < <("$bin/envsim" --root "$ENVMON_ROOT" show chassis |
           sed -n 's/^card slot=\([0-9]*\) .* address=\([0-9.]*\) .*present=yes$/\1 \2/p')
else
  echo "run.sh: no monitoring-server host built yet ($bin/envmon_server); running the directory service and the simulator"
fi

tail -n +1 -F "$run_dir"/*.log &
tail_pid=$!
echo "run.sh: running with ENVMON_ROOT=$ENVMON_ROOT and ENVMON_DS_ENDPOINT=$ENVMON_DS_ENDPOINT; Ctrl-C stops it"

# Any of them ending ends the run.
wait -n "${pids[@]}" || true
echo "run.sh: a process ended on its own; stopping the rest"
