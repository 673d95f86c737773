#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# install-deps.sh [GROUP...]: installs whatever Debian packages of the named groups of
# scripts/packages.txt (run, build, test; all three when none is named) are missing.
# Quiet when none are.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
groups=("$@")
[ ${#groups[@]} -eq 0 ] && groups=(run build test)
wanted=()
for g in "${groups[@]}"; do
  mapfile -t -O "${#wanted[@]}" wanted < <(
    awk -v g="[$g]" '/^\[/ { on = ($0 == g); next } on && !/^[[:space:]]*(#|$)/' "$here/packages.txt")
done
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "Installing Debian packages needs root and there is no sudo here: run, as root," >&2
    echo "  su -c '$here/install-deps.sh $*'" >&2
    echo "then this command again." >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
