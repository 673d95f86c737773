#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# soak.sh [OPERATIONS] [SEED]: a longer fault soak than the one ./test runs (default 1000
# operations, seed 17): fernlink-cli through cncsim's random fault mode, over TCP and serial.
# Prints the completed / failed / lost counts; fails when anything was lost or left half.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh" build >/dev/null
export QT_QPA_PLATFORM=offscreen VANTOR_SOAK_OPS=${1:-1000} VANTOR_SOAK_SEED=${2:-17}
exec "$top/build/sim/fault_soak_tests"
