#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# fuzz.sh TARGET [SECONDS]   run one fuzz target (default 300 s) on its growing corpus
# fuzz.sh --all SECONDS      run every target for SECONDS each, two at a time, each on a
#                            fresh copy of its seed corpus (what ./test does)
# fuzz.sh --list             the targets
# Builds the targets with clang into build-fuzz first (-O1 and line tables only: what libFuzzer
# and a report need, and quicker to compile than -O2 with full debug information). Fails on any crash, sanitizer report,
# leak or slow input; the input that did it lands in build-fuzz/findings/TARGET/. Once fixed,
# copy it into the target's corpus folder so the fix stays tested.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir="$top/build-fuzz"
export CCACHE_BASEDIR="$top" CCACHE_NOHASHDIR=true

if [ ! -f "$dir/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVANTOR_FUZZ=ON -DVANTOR_WERROR=OFF "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only -DNDEBUG" >/dev/null
fi
cmake --build "$dir" --target vantor_fuzz -j 2 >"$dir/build.log" 2>&1 || { tail -50 "$dir/build.log"; exit 1; }
targets="$dir/fuzz/targets.txt"

if [ "${1:-}" = --list ]; then
  cut -d' ' -f1 "$targets"
  exit 0
fi

# run NAME SECONDS FRESH: 0 when the target ran its time without a finding.
run() {
  local name=$1 seconds=$2 fresh=$3 binary seeds work findings
  read -r _ binary seeds < <(grep "^$name " "$targets") || { echo "no fuzz target $name" >&2; return 2; }
  work="$dir/corpus/$name"
  findings="$dir/findings/$name"
  [ "$fresh" = 1 ] && rm -rf "$work"
  mkdir -p "$work" "$findings"
  cp -n "$seeds"/* "$work"/ 2>/dev/null || true
  # A sanitizer report ends the run with an error; leaks are found by the fuzzer itself.
  ASAN_OPTIONS=abort_on_error=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  QT_QPA_PLATFORM=offscreen \
    "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -artifact_prefix="$findings/" "$work" >"$dir/findings/$name.log" 2>&1
}

if [ "${1:-}" = --all ]; then
  seconds=${2:?seconds per target}
  failed=()
  names=$(cut -d' ' -f1 "$targets")
  declare -A pids
  for name in $names; do
    while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
    run "$name" "$seconds" 1 &
    pids[$name]=$!
  done
  for name in $names; do
    if wait "${pids[$name]}"; then
      echo "fuzz $name: ok ($(grep -o 'Done [0-9]* runs' "$dir/findings/$name.log" | tail -1 || true))"
    else
      echo "fuzz $name: FAILED (input in build-fuzz/findings/$name/)"
      tail -40 "$dir/findings/$name.log"
      failed+=("$name")
    fi
  done
  [ ${#failed[@]} -eq 0 ] || { echo "fuzz targets with findings: ${failed[*]}"; exit 1; }
  exit 0
fi

name=${1:?usage: fuzz.sh TARGET [SECONDS] | --all SECONDS | --list}
if run "$name" "${2:-300}" 0; then
  tail -3 "$dir/findings/$name.log"
else
  tail -60 "$dir/findings/$name.log"
  echo "finding kept in build-fuzz/findings/$name/"
  exit 1
fi
