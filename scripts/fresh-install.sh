#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# fresh-install.sh [PACKAGES_DIR]: installs fernlink, fernport and rungpad into a fresh
# minimal Debian 12 root exactly as the README says (apt install ./…deb as root) and checks
# what an administrator sees there: every program on PATH and answering --version, the
# manual pages render without a warning, .plf/.grp/.nc files are offered to the right
# program, the port-21 setting is honoured, and `apt purge` plus autoremove leaves no file of
# ours behind. PACKAGES_DIR defaults to build-release/packages (scripts/package.sh).
# Needs root, mmdebstrap (apt install mmdebstrap) and Debian's mirror; a few minutes and
# a few hundred MB of downloads. Not part of ./test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
packages=$(cd "${1:-$top/build-release/packages}" && pwd)
fail() { echo "fresh-install: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (mmdebstrap builds the root with chroot)"
command -v mmdebstrap >/dev/null || fail "needs mmdebstrap: apt install mmdebstrap"
debs=()
for package in fernlink fernport rungpad; do
  deb=$(ls "$packages"/${package}_*.deb 2>/dev/null | head -n 1)
  [ -n "$deb" ] || fail "no $package package in $packages (run scripts/package.sh first)"
  debs+=("$deb")
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/pkgs"
cp "${debs[@]}" "$work/pkgs/"

# What runs inside the fresh root, as root, from /root.
cat >"$work/inside.sh" <<'EOF'
set -eu
fail() { echo "fresh-install (inside): $*" >&2; exit 1; }
ours='fernlink|fernport|rungpad|vantor'
listing() { find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /tmp -o -path /root \) -prune -o -print | sort; }
listing >/root/before.txt
cd /root
cp /tmp/pkgs/*.deb /root/
export DEBIAN_FRONTEND=noninteractive
# The README's line, word for word.
apt install -y ./fernlink_*.deb ./fernport_*.deb ./rungpad_*.deb
for program in fernlink fernlink-cli cncsim fernport rungpad rungpad-cli; do
  command -v "$program" >/dev/null || fail "$program is not on PATH"
  "$program" --version >/dev/null || fail "$program --version failed"
  warnings=$(MANWIDTH=80 man --warnings -P cat "$program" 2>&1 >/dev/null) || fail "man $program failed"
  [ -z "$warnings" ] || fail "man $program warns: $warnings"
done
printf '%%\nO0001\nM30\n%%\n' >/root/part.nc
# Not empty: an empty file is plain text whatever its name.
printf '\000\001ladder' >/root/ladder.plf
printf '\000\001ladder' >/root/ladder.grp
for pair in part.nc:com.vantor.Fernlink.desktop part.nc:com.vantor.Fernport.desktop \
            ladder.plf:com.vantor.Rungpad.desktop ladder.grp:com.vantor.Rungpad.desktop; do
  file=${pair%%:*} entry=${pair#*:}
  type=$(gio info -a standard::content-type "/root/$file" | sed -n 's/^ *standard::content-type: //p')
  gio mime "$type" | grep -qF "$entry" || fail "$file ($type) does not offer $entry"
done
# The kept port-21 choice.
sed -i 's/^GRANT_NET_BIND_SERVICE=.*/GRANT_NET_BIND_SERVICE=yes/' /etc/default/fernlink
apt install -y --reinstall ./fernlink_*.deb
getcap /usr/bin/fernlink | grep -q cap_net_bind_service || fail "the reinstall dropped the port-21 right"
# Removal leaves nothing of ours.
apt purge -y fernlink fernport rungpad
apt autoremove --purge -y
# /var/cache/man holds man-db's formatted copies of the pages this script displayed as root;
# they are man-db's cache (its daily mandb run drops stale ones), not files of the packages.
left=$(listing | grep -v '^/var/cache/man/' | grep -E "$ours" || true)
[ -z "$left" ] || fail "left behind after purge: $left"
echo "fresh-install: installed, checked and purged cleanly"
EOF

# man-db renders the manual pages and gio asks for file types; desktop-file-utils is on every
# desktop system (file managers depend on it), and its trigger indexes the desktop entries'
# file types, which gio reads.
mmdebstrap --variant=apt --include=man-db,libglib2.0-bin,desktop-file-utils \
  --customize-hook="copy-in $work/pkgs /tmp" \
  --customize-hook="copy-in $work/inside.sh /tmp" \
  --customize-hook='chroot "$1" sh /tmp/inside.sh' \
  bookworm "$work/root.tar"
