#!/usr/bin/env bash
# Runs Vexa on the simulated demo bus with a local update server:
#   installs what is missing, builds Vexa, vexa-sim and vexa-server (preset "default"),
#   serves the sample setup files, starts the simulator and opens Vexa with the simulated
#   port first in its port list. Closing Vexa stops the simulator and the server.
# Without a display it runs under xvfb-run. Demo state (downloaded setup files, settings)
# lives in build/demo/.
#   scripts/demo.sh [extra Vexa arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j 2 --target Vexa VexaUpdate vexa-sim vexa-server

bin=build/default
state=$root/build/demo
rm -rf "$state"
mkdir -p "$state/server/setup" "$state/tmp" "$state/config"
cp resources/setup/setup*.log "$state/server/setup/"

# The server carries the freshly built Vexa as its newest build (the server's name for it
# stays "Vexa.exe"; the reply names the file "Vexa"). The demo's Vexa and VexaUpdate run
# from build/demo/install, whose recorded build date is older, so Vexa warns at start-up
# and VexaUpdate can install the new build there.
mkdir -p "$state/server/program" "$state/install"
cp "$bin/app/Vexa" "$state/install/Vexa"
cp "$bin/updater/VexaUpdate" "$state/install/VexaUpdate"
cp "$bin/app/Vexa" "$state/server/program/Vexa.exe"
touch "$state/server/program/Vexa.exe"
printf '[Vexa.exe]\nfilename=Vexa\nbanben=%s\n' \
  "$(sed -n 's/^project(Vexa VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" >"$state/server/manifest.txt"
printf 'createdDate=1600000000000\n' >"$state/config/settings.txt"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT INT TERM

# The first line either program prints tells where it listens.
first_line() {
  local file=$1 what=$2
  for _ in $(seq 1 100); do
    if [ -s "$file" ] && [ "$(wc -l <"$file")" -ge 1 ]; then
      head -n 1 "$file"
      return 0
    fi
    sleep 0.1
  done
  echo "demo: $what did not start; its output:" >&2
  cat "$file" >&2
  return 1
}

"$bin/tools/server/vexa-server" --root "$state/server" --port 0 >"$state/server.log" 2>&1 &
pids+=($!)
server=$(first_line "$state/server.log" vexa-server)
address=${server##* }

"$bin/tools/sim/vexa-sim" --demo --setup-dir resources/setup --link "$state/ttyVEXA" \
  </dev/null >"$state/sim.log" 2>&1 &
pids+=($!)
port=$(first_line "$state/sim.log" vexa-sim)

echo "update server: $address   simulated bus: $port (115200 baud)"
export VEXA_UPDATE_SERVER=$address
export TMPDIR=$state/tmp
export VEXA_CONFIG_DIR=$state/config
export VEXA_PORT=$port
echo "try the self-updater while Vexa runs (from another shell):"
echo "  cd $state/install && VEXA_UPDATE_SERVER=$address VEXA_CONFIG_DIR=$state/config ./VexaUpdate"

run=("$state/install/Vexa" --port "$port" "$@")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "no display: running under xvfb-run"
  run=(xvfb-run -a "${run[@]}")
fi
"${run[@]}"
