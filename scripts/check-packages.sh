#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# check-packages.sh BUILD_DIR: builds the Debian packages from a built tree and checks what a
# user installing them gets: every program, desktop entry, icon, metainfo file, manual page
# and data file is inside; the dependencies were computed; each program answers --version and
# --help from the unpacked files without a display; desktop entries and metainfo validate.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
fail() { echo "check-packages: $*" >&2; exit 1; }

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack could not build the packages"
version=$(sed -n 's/^#define VANTOR_VERSION "\(.*\)"$/\1/p' "$build/generated/vantor/version.h")
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT

declare -A programs=([fernlink]="fernlink fernlink-cli cncsim" [fernport]="fernport" [rungpad]="rungpad rungpad-cli")
declare -A desktop=([fernlink]=Fernlink [fernport]=Fernport [rungpad]=Rungpad)
checked=0
for package in fernlink fernport rungpad; do
  deb=$(ls "$build"/packages/${package}_"${version}"_*.deb 2>/dev/null | head -n 1)
  [ -n "$deb" ] || fail "no package $package $version in $build/packages"
  contents=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's#^\./#/#')
  need=("/usr/share/applications/com.vantor.${desktop[$package]}.desktop"
        "/usr/share/metainfo/com.vantor.${desktop[$package]}.metainfo.xml"
        "/usr/share/icons/hicolor/scalable/apps/$package.svg"
        "/usr/share/doc/$package/copyright")
  for size in 16 32 48 64 128 256; do need+=("/usr/share/icons/hicolor/${size}x${size}/apps/$package.png"); done
  for program in ${programs[$package]}; do need+=("/usr/bin/$program" "/usr/share/man/man1/$program.1"); done
  [ "$package" = rungpad ] && need+=("/usr/share/mime/packages/vantor-rungpad.xml")
  for path in "${need[@]}"; do
    grep -qxF "$path" <<<"$contents" || fail "$package lacks $path"
  done
  depends=$(dpkg-deb -f "$deb" Depends)
  grep -q 'libqt6core6' <<<"$depends" || fail "$package: the Qt libraries are missing from Depends ($depends)"

  dpkg-deb -x "$deb" "$unpacked"
  for program in ${programs[$package]}; do
    for option in --version --help; do
      out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$unpacked/usr/bin/$program" $option 2>&1) \
        || fail "$program $option exited $? without a display: $out"
      [ -n "$out" ] || fail "$program $option printed nothing"
    done
    grep -q "$version" <<<"$(env -u DISPLAY -u QT_QPA_PLATFORM "$unpacked/usr/bin/$program" --version)" \
      || fail "$program --version does not say $version"
  done
  desktop-file-validate "$unpacked/usr/share/applications/com.vantor.${desktop[$package]}.desktop" \
    || fail "desktop entry of $package"
  appstreamcli validate --no-net --pedantic "$unpacked/usr/share/metainfo/com.vantor.${desktop[$package]}.metainfo.xml" >/dev/null \
    || { appstreamcli validate --no-net "$unpacked/usr/share/metainfo/com.vantor.${desktop[$package]}.metainfo.xml"; fail "metainfo of $package"; }
  checked=$((checked + 1))
done
echo "Packages: $checked built and checked in $build/packages ($(cd "$build/packages" && ls *.deb | tr '\n' ' '))"
