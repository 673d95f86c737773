#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# build.sh DIR [--target NAME]... [cmake options...]: configure (once) and build into DIR:
# everything, or only the named targets.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
targets=()
while [ "${1:-}" = --target ]; do
  targets+=(--target "${2:?--target needs a name}"); shift 2
done
jobs=$(nproc 2>/dev/null || echo 2)
# Paths below the checkout are hashed relative to it, so a fresh clone elsewhere reuses the cache.
export CCACHE_BASEDIR="$top" CCACHE_NOHASHDIR=true
if [ ! -f "$top/$dir/build.ninja" ]; then
  cmake -S "$top" -B "$top/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
fi
cmake --build "$top/$dir" -j "$jobs" "${targets[@]}"
