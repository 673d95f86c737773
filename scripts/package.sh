#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# package.sh: installs what building and testing need, builds a Release tree in build-release/ and makes
# the Debian packages fernlink, fernport and rungpad in build-release/packages/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" build-release -DCMAKE_BUILD_TYPE=Release
rm -rf "$top/build-release/packages"
(cd "$top/build-release" && cpack -G DEB)
echo "Install as root: apt install $top/build-release/packages/<name>_*.deb (fernlink, fernport, rungpad)"
