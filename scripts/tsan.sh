#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# tsan.sh [ctest options...]: the FTP server (its connection threads) under ThreadSanitizer.
# Builds only the FTP server tests and what they start (fernlink-cli) into build-tsan and runs
# them (-O1 and line tables only: enough for a report, quicker to build); any race report,
# in the test binaries or in a server they start, fails the run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir="$top/build-tsan"
export CCACHE_BASEDIR="$top" CCACHE_NOHASHDIR=true QT_QPA_PLATFORM=offscreen
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_SANITIZE=thread \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" >/dev/null
fi
cmake --build "$dir" --target ftpserver_tests ftpserver_e2e_tests fernlink-cli -j "$(nproc 2>/dev/null || echo 2)"
reports="$dir/tsan-reports"
rm -rf "$reports" && mkdir -p "$reports"
# Reports go to files as well, so one from a server process the test started is not lost in a pipe.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 log_path=$reports/report suppressions=$top/scripts/tsan.supp"
status=0
(cd "$dir" && ctest --output-on-failure -j 2 --timeout 600 -R '^(Session|UserStore|UserLogStore|Ftpd|FtpServerObject|ServerModels)\.' "$@") || status=$?
if compgen -G "$reports/report*" >/dev/null; then
  echo "ThreadSanitizer reports:"
  cat "$reports"/report*
  exit 1
fi
exit $status
