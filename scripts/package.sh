#!/usr/bin/env bash
# Builds the Debian package of Vexa, VexaUpdate (when it is part of the build), vexa-cli,
# vexa-sim and vexa-server with CPack; run-time dependencies come from dpkg-shlibdeps.
#   scripts/package.sh [BUILD_DIR]     (default build/package; tests and benchmarks off)
# The packaged programs know nothing of this source tree: they find their data beside
# their bin folder. The last line of the output is the path of the .deb.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/package}

scripts/install-deps.sh >&2
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEXA_BUILD_TESTS=OFF -DVEXA_BUILD_BENCH=OFF -DVEXA_SIM_SOURCE_SAMPLES=OFF >&2
cmake --build "$build" -j 2 >&2
rm -f "$build"/vexa_*.deb
(cd "$build" && cpack -G DEB) >&2
deb=$(ls "$build"/vexa_*.deb)
echo "$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
