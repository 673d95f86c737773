#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# check-packages.sh BUILD_DIR: builds the Debian packages from a built tree and checks what an
# administrator installing them gets:
#  - every program, desktop entry, icon, metainfo file, compressed manual page, copyright and
#    changelog is inside, the dependencies were computed, and lintian finds no error or warning;
#  - each program answers --version and --help from the unpacked files without a display, and
#    the desktop programs name their desktop entry and find their installed icon;
#  - the binaries carry Debian's hardening (PIE, full RELRO, BIND_NOW, stack protector,
#    fortified libc calls), read from their ELF headers and the build's compile commands;
#  - desktop entries and metainfo validate, and the shared MIME database built from the
#    packages types .nc/.cnc/.tap files as NC programs (Fernlink and Fernport) and .plf/.grp
#    as ladders (Rungpad);
#  - rungpad holds exactly the data files the build declared, and the manual page and the
#    README say where the controller's own Diag.mea goes;
#  - fernlink's postinst gives the port-21 right back when /etc/default/fernlink asks for it,
#    run in a fake root;
#  - every source file carries its SPDX licence line.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
fail() { echo "check-packages: $*" >&2; exit 1; }

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack could not build the packages"
version=$(sed -n 's/^#define VANTOR_VERSION "\(.*\)"$/\1/p' "$build/generated/vantor/version.h")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unpacked=$work/root
mkdir -p "$unpacked"

declare -A programs=([fernlink]="fernlink fernlink-cli cncsim" [fernport]="fernport" [rungpad]="rungpad rungpad-cli")
declare -A desktop=([fernlink]=Fernlink [fernport]=Fernport [rungpad]=Rungpad)
declare -A mime=([fernlink]=vantor-fernlink.xml [fernport]=vantor-fernport.xml [rungpad]=vantor-rungpad.xml)
debs=()
checked=0
for package in fernlink fernport rungpad; do
  deb=$(ls "$build"/packages/${package}_"${version}"-*_*.deb 2>/dev/null | head -n 1)
  [ -n "$deb" ] || fail "no package $package $version in $build/packages"
  debs+=("$deb")
  contents=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's#^\./#/#')
  need=("/usr/share/applications/com.vantor.${desktop[$package]}.desktop"
        "/usr/share/metainfo/com.vantor.${desktop[$package]}.metainfo.xml"
        "/usr/share/icons/hicolor/scalable/apps/$package.svg"
        "/usr/share/mime/packages/${mime[$package]}"
        "/usr/share/doc/$package/copyright"
        "/usr/share/doc/$package/changelog.Debian.gz")
  for size in 16 32 48 64 128 256; do need+=("/usr/share/icons/hicolor/${size}x${size}/apps/$package.png"); done
  for program in ${programs[$package]}; do need+=("/usr/bin/$program" "/usr/share/man/man1/$program.1.gz"); done
  [ "$package" = fernlink ] && need+=("/etc/default/fernlink")
  for path in "${need[@]}"; do
    grep -qxF "$path" <<<"$contents" || fail "$package lacks $path"
  done
  depends=$(dpkg-deb -f "$deb" Depends)
  grep -q 'libqt6core6' <<<"$depends" || fail "$package: the Qt libraries are missing from Depends ($depends)"
  [ "$package" != fernlink ] || grep -q 'libcap2-bin' <<<"$depends" || fail "fernlink does not depend on setcap's package"

  dpkg-deb -x "$deb" "$unpacked"
  for program in ${programs[$package]}; do
    for option in --version --help; do
      out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$unpacked/usr/bin/$program" $option 2>&1) \
        || fail "$program $option exited $? without a display: $out"
      [ -n "$out" ] || fail "$program $option printed nothing"
    done
    grep -q "$version" <<<"$(env -u DISPLAY -u QT_QPA_PLATFORM "$unpacked/usr/bin/$program" --version)" \
      || fail "$program --version does not say $version"
    zcat "$unpacked/usr/share/man/man1/$program.1.gz" | grep -q '^\.TH' || fail "manual page of $program is not a manual page"
  done
  desktop-file-validate "$unpacked/usr/share/applications/com.vantor.${desktop[$package]}.desktop" \
    || fail "desktop entry of $package"
  appstreamcli validate --no-net --pedantic "$unpacked/usr/share/metainfo/com.vantor.${desktop[$package]}.metainfo.xml" >/dev/null \
    || { appstreamcli validate --no-net "$unpacked/usr/share/metainfo/com.vantor.${desktop[$package]}.metainfo.xml"; fail "metainfo of $package"; }
  checked=$((checked + 1))
done

# lintian with Debian 12's profile: no error and no warning. Overrides, where any, live in
# packaging/ with the reason beside them.
lintian --profile debian --fail-on error,warning --tag-display-limit 0 "${debs[@]}" >"$work/lintian.txt" 2>&1 \
  || { cat "$work/lintian.txt" >&2; fail "lintian reports errors or warnings"; }
grep -E '^[EW]: ' "$work/lintian.txt" >&2 && fail "lintian reports errors or warnings"

# Hardening, from the ELF headers of every shipped program.
for package in fernlink fernport rungpad; do
  for program in ${programs[$package]}; do
    binary=$unpacked/usr/bin/$program
    headers=$(readelf -W --file-header --program-headers --dynamic "$binary")
    grep -q 'Type:[[:space:]]*DYN' <<<"$headers" && grep -q 'FLAGS_1.*PIE' <<<"$headers" \
      || fail "$program is not a position-independent executable"
    grep -q 'GNU_RELRO' <<<"$headers" || fail "$program has no RELRO segment"
    grep -Eq '\(FLAGS\).*BIND_NOW|FLAGS_1.*NOW' <<<"$headers" || fail "$program is not linked with BIND_NOW"
    symbols=$(readelf -W --dyn-syms "$binary")
    grep -q '__stack_chk_fail' <<<"$symbols" || fail "$program has no stack protector"
    grep -Eo ' __[a-z0-9_]+_chk\b' <<<"$symbols" | grep -v '__stack_chk' >>"$work/fortified.txt" || true
  done
done
# _FORTIFY_SOURCE shows in a binary only where the compiler could size a buffer (cncsim and
# fernport call no libc function it can check), so the ELF check is that some do, and the
# compile commands say every file of ours was compiled with it.
[ -s "$work/fortified.txt" ] || fail "no shipped program calls a fortified libc function (_FORTIFY_SOURCE missing)"
python3 - "$build/compile_commands.json" <<'PY' || fail "files compiled without the hardening flags"
import json, sys
missing = [e["file"] for e in json.load(open(sys.argv[1]))
           if not all(f in e["command"] for f in ("-D_FORTIFY_SOURCE=2", "-fstack-protector-strong", "-Wformat"))
           and "_autogen/" not in e["file"] and "/.rcc/" not in e["file"]
           # The tests' disk-fault library replaces libc's write calls; it is never shipped.
           and not e["file"].endswith("/diskfault_preload.cpp")]
for f in missing:
    print("  not hardened:", f, file=sys.stderr)
sys.exit(1 if missing else 0)
PY

# Window identity: each desktop program names the desktop entry its package installs and,
# where the icon theme is installed (hicolor-icon-theme), shows the packaged icon.
for package in fernlink fernport rungpad; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_DATA_DIRS="$unpacked/usr/share:/usr/share" \
        "$unpacked/usr/bin/$package" --show-identity 2>&1) || fail "$package --show-identity: $out"
  grep -qxF "desktop-file: com.vantor.${desktop[$package]}.desktop" <<<"$out" \
    || fail "$package does not name its desktop entry: $out"
  grep -qxF 'icon-sizes: 16 32 48 64 128 256' <<<"$out" || fail "$package lacks window icon sizes: $out"
  if [ -f /usr/share/icons/hicolor/index.theme ]; then
    grep -qxF "icon: $package from the theme" <<<"$out" || fail "$package does not show its installed icon: $out"
  else
    grep -qxF 'icon: built in' <<<"$out" || fail "$package has no window icon: $out"
  fi
done

# File types: a MIME database and a desktop database made from the packages alone (plus the
# shared base types) resolve each extension to our type and each type to its programs.
share=$work/share
mkdir -p "$share/mime/packages" "$share/applications" "$work/home"
cp /usr/share/mime/packages/freedesktop.org.xml "$share/mime/packages/"
cp "$unpacked"/usr/share/mime/packages/vantor-*.xml "$share/mime/packages/"
cp "$unpacked"/usr/share/applications/*.desktop "$share/applications/"
update-mime-database "$share/mime" >/dev/null 2>&1 || fail "update-mime-database refused the packages' types"
update-desktop-database "$share/applications" 2>/dev/null || fail "update-desktop-database refused the desktop entries"
printf '%%\r\nO0001\r\nG00 X0 Y0\r\nM30\r\n%%\r\n' >"$work/O0001"
printf '%%\nO0001\nM30\n%%\n' >"$work/plain.txt"
for name in part.nc PART.NC part.cnc part.tap O0001 plain.txt ladder.plf ladder.grp; do
  [ -e "$work/$name" ] || cp "$work/O0001" "$work/$name"
done
declare -A expect=([part.nc]=text/x-vantor-nc [PART.NC]=text/x-vantor-nc [part.cnc]=text/x-vantor-nc
                   [part.tap]=text/x-vantor-nc [O0001]=text/x-vantor-nc [plain.txt]=text/plain
                   [ladder.plf]=application/x-vantor-ladder [ladder.grp]=application/x-vantor-ladder-old)
declare -A handlers=([text/x-vantor-nc]="com.vantor.Fernlink.desktop com.vantor.Fernport.desktop"
                     [application/x-vantor-ladder]=com.vantor.Rungpad.desktop
                     [application/x-vantor-ladder-old]=com.vantor.Rungpad.desktop)
# gio lists a desktop entry only when its program is on PATH.
mimeenv=(env -i PATH="$unpacked/usr/bin:$PATH" HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_DATA_DIRS="$share"
         XDG_CONFIG_HOME="$work/home/.config" XDG_CONFIG_DIRS="$work/home/.config" GIO_USE_VFS=local)
if command -v gio >/dev/null; then
  for name in "${!expect[@]}"; do
    got=$("${mimeenv[@]}" gio info -a standard::content-type "$work/$name" | sed -n 's/^ *standard::content-type: //p')
    [ "$got" = "${expect[$name]}" ] || fail "$name is typed $got, not ${expect[$name]}"
  done
  for type in "${!handlers[@]}"; do
    registered=$("${mimeenv[@]}" gio mime "$type" 2>&1)
    for entry in ${handlers[$type]}; do
      grep -qF "$entry" <<<"$registered" || fail "$type does not offer $entry: $registered"
    done
  done
else
  # Without gio: the globs in the compiled database and the entries in the desktop cache.
  for name in "${!expect[@]}"; do
    case "$name" in O0001|plain.txt) continue ;; esac
    grep -qiF "${expect[$name]}:*.${name##*.}" "$share/mime/globs2" || fail "no glob types $name as ${expect[$name]}"
  done
  for type in "${!handlers[@]}"; do
    for entry in ${handlers[$type]}; do
      grep -q "^$type=.*$entry" "$share/applications/mimeinfo.cache" || fail "$type does not offer $entry"
    done
  done
fi

# Rungpad's data files: the package holds exactly those the build declared (none unless a shop
# gives the controller's own), and the manual page and the README say where Diag.mea goes.
declared=$(sort "$build/packaging/rungpad-data-files.txt" | sed '/^$/d')
shipped=""
[ -d "$unpacked/usr/share/vantor/rungpad" ] && shipped=$(find "$unpacked/usr/share/vantor/rungpad" -type f -printf '%f\n' | sort)
[ "$declared" = "$shipped" ] || fail "rungpad ships data files [$shipped], the build declared [$declared]"
rungpad_page=$(zcat "$unpacked/usr/share/man/man1/rungpad.1.gz")
for folder in '~/.local/share/vantor/rungpad/' '/usr/local/share/vantor/rungpad/'; do
  grep -qF "$folder" <<<"$rungpad_page" || fail "rungpad's manual page does not name $folder for Diag.mea"
  grep -qF "$folder" "$top/README.md" || fail "the README does not name $folder for Diag.mea"
done
grep -qF "controller's own \`Diag.mea\`" "$top/README.md" || fail "the README does not say Diag.mea is the controller's own"
grep -qF "controller's own file" <<<"$rungpad_page" || fail "rungpad's manual page does not say Diag.mea is the controller's own"

# fernlink's postinst in a fake root: the right is given back when the administrator asked,
# left alone when not, and a missing setcap is said without failing the installation.
control=$work/control
dpkg-deb -e "$(ls "$build"/packages/fernlink_"${version}"-*_*.deb)" "$control"
postinst_case() {  # WANTED-SETTING EXPECT(granted|plain) [PATH]
  local setting=$1 expect=$2 path=${3:-$PATH} fake=$work/fake
  rm -rf "$fake" && mkdir -p "$fake/etc/default" "$fake/usr/bin"
  cp "$unpacked/usr/bin/fernlink" "$unpacked/usr/bin/fernlink-cli" "$fake/usr/bin/"
  [ "$setting" = absent ] || printf '# changed by the administrator\n%s\n' "$setting" >"$fake/etc/default/fernlink"
  out=$(env PATH="$path" DPKG_ROOT="$fake" /bin/sh "$control/postinst" configure 0.1.0-1 2>&1) \
    || fail "postinst failed with [$setting]: $out"
  for program in fernlink fernlink-cli; do
    caps=$(getcap "$fake/usr/bin/$program")
    if [ "$expect" = granted ]; then
      grep -q 'cap_net_bind_service=ep' <<<"$caps" || fail "postinst with [$setting] did not grant $program the port-21 right"
    else
      [ -z "$caps" ] || fail "postinst with [$setting] changed $program: $caps"
    fi
  done
  echo "$out"
}
if [ "$(id -u)" -eq 0 ] && command -v getcap >/dev/null && command -v setcap >/dev/null; then
  for setting in 'GRANT_NET_BIND_SERVICE=yes' 'GRANT_NET_BIND_SERVICE="Yes"  # port 21' \
                 $'GRANT_NET_BIND_SERVICE=no\nGRANT_NET_BIND_SERVICE=true'; do
    postinst_case "$setting" granted >/dev/null
  done
  for setting in 'GRANT_NET_BIND_SERVICE=no' absent '#GRANT_NET_BIND_SERVICE=yes' \
                 $'GRANT_NET_BIND_SERVICE=yes\nGRANT_NET_BIND_SERVICE=no' 'GRANT_NET_BIND_SERVICE=yesplease'; do
    postinst_case "$setting" plain >/dev/null
  done
  # The packaged default leaves the programs as shipped.
  postinst_case "$(grep -v '^#' "$unpacked/etc/default/fernlink")" plain >/dev/null
  mkdir -p "$work/nosetcap"
  for tool in sed tail tr; do ln -sf "$(command -v $tool)" "$work/nosetcap/$tool"; done
  said=$(postinst_case 'GRANT_NET_BIND_SERVICE=yes' plain "$work/nosetcap")
  grep -q 'libcap2-bin' <<<"$said" || fail "postinst without setcap does not say what is missing: $said"
else
  echo "check-packages: not root or no setcap/getcap: fernlink's postinst is not run in a fake root" >&2
fi

# Every source file carries its licence line.
missing=$(cd "$top" && git ls-files -- '*.cpp' '*.h' '*.sh' '*.py' '*.cmake' '*.in' 'CMakeLists.txt' '*/CMakeLists.txt' \
            'run' 'test' 'packaging/deb/fernlink/postinst' ':!packaging/deb/changelog.in' \
            | xargs -r grep -L 'SPDX-License-Identifier' || true)
[ -z "$missing" ] || fail "source files without an SPDX-License-Identifier line: $(tr '\n' ' ' <<<"$missing")"

echo "Packages: $checked built and checked, lintian clean, hardened ($(cd "$build/packages" && ls *.deb | tr '\n' ' '))"
