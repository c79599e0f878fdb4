#!/usr/bin/env bash
# Checks the Debian package as installed: unpacks it into a temporary root (dpkg -x) and
# runs the installed programs from there, far from the source tree's data:
#   - the installed vexa-cli scans the installed vexa-sim --demo and lists the demo bus;
#   - the installed vexa-server, given no folder, serves the installed sample setup files;
#   - the package holds every program, both desktop entries' files and the icons, and
#     declares its shared-library dependencies.
#   scripts/package-check.sh [DEB]     (default: builds it with scripts/package.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
deb=${1:-$(scripts/package.sh | tail -n 1)}

root=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$root"
}
trap cleanup EXIT
fail() {
  echo "package-check: $*" >&2
  exit 1
}

dpkg -x "$deb" "$root/fs"
bin=$root/fs/usr/bin
share=$root/fs/usr/share
for f in "$bin/Vexa" "$bin/vexa-cli" "$bin/vexa-sim" "$bin/vexa-server" \
  "$share/applications/vexa.desktop" "$share/icons/hicolor/128x128/apps/vexa.png" \
  "$share/icons/hicolor/scalable/apps/vexa.svg" "$share/vexa/setup/setup_en.log" \
  "$share/vexa/setup/setup_modbus_en.log" "$share/vexa/setup/setup_pwm.log"; do
  [ -e "$f" ] || fail "missing in the package: ${f#"$root"/fs}"
done
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
  *libqt6widgets6*) ;;
  *) fail "Depends does not name the Qt widgets library: $depends" ;;
esac

# Nothing installed may reach back into this source tree for its data.
if grep -l "$(pwd)/resources" "$bin"/* >/dev/null 2>&1; then
  fail "a packaged program names this source tree: $(grep -l "$(pwd)/resources" "$bin"/*)"
fi

# The first line a program prints says where it is.
first_line() {
  local file=$1
  for _ in $(seq 1 100); do
    if [ -s "$file" ]; then
      head -n 1 "$file"
      return 0
    fi
    sleep 0.1
  done
  cat "$file" >&2
  return 1
}

# vexa-sim --demo with no --setup-dir: its models come from the installed setup files.
mkfifo "$root/sim-in"
"$bin/vexa-sim" --demo --exit-on-eof <"$root/sim-in" >"$root/sim.out" 2>"$root/sim.err" &
pids+=($!)
exec 3>"$root/sim-in"
port=$(first_line "$root/sim.out") || fail "vexa-sim did not start"

"$bin/vexa-cli" --port "$port" --timeout 5 --setup-dir "$share/vexa/setup" scan \
  >"$root/scan.out" || fail "vexa-cli scan failed"
cat >"$root/scan.want" <<'WANT'
1 0 3 6 0 4 0 1 4 0 1 VX40 servo (4096 steps)
2 0 3 6 0 4 0 2 4 0 1 VX40 servo (4096 steps)
3 0 5 2 1 6 2 3 4 0 1 VX62 servo (1024 steps)
4 0 5 2 1 6 2 4 4 0 1 VX62 servo (1024 steps)
5 1 7 1 0 9 255 5 5 255 1 VXP9 pulse-width servo
6 2 2 10 1 8 5 6 2 255 1 VXM8 Modbus servo
7 2 2 10 1 8 5 7 2 255 1 VXM8 Modbus servo
WANT
diff -u "$root/scan.want" "$root/scan.out" || fail "the installed scan did not list the demo bus"
exec 3>&-

# vexa-server with no --root serves /usr/share/vexa of the unpacked package.
"$bin/vexa-server" --port 0 >"$root/server.out" 2>&1 &
pids+=($!)
address=$(first_line "$root/server.out") || fail "vexa-server did not start"
address=${address##* }
VEXA_UPDATE_SERVER=$address VEXA_CONFIG_DIR=$root/config \
  "$bin/vexa-cli" fetch setup_en.log "$root/fetched.log" >/dev/null ||
  fail "the installed server did not deliver setup_en.log"
cmp "$root/fetched.log" "$share/vexa/setup/setup_en.log" || fail "setup_en.log differs"

echo "package-check: $(basename "$deb") installs and runs"
