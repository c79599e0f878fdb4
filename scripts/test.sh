#!/usr/bin/env bash
# Installs what the build needs, builds the given preset (default: "default") and runs every test.
#   scripts/test.sh            release build with tests
#   scripts/test.sh asan       the same suite under AddressSanitizer + UndefinedBehaviorSanitizer
#   scripts/test.sh tsan       the same suite under ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
scripts/install-deps.sh
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
cmake --preset "$preset"
cmake --build --preset "$preset" -j 2
ctest --preset "$preset"
