#!/usr/bin/env bash
# Checks what `cmake --install` and `cpack -G DEB` make of a build: the files, the desktop entry,
# the icons, the manual pages and the package's computed dependencies.
# Usage: package_test.sh BUILD-DIR PNG-PROBE
set -euo pipefail
build=$1
probe=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
for file in bin/walkers bin/walkers-render share/applications/walkers.desktop \
  share/man/man6/walkers.6.gz share/man/man1/walkers-render.1.gz; do
  [ -f "$tmp/prefix/$file" ] || fail "$file is not installed"
done
desktop-file-validate "$tmp/prefix/share/applications/walkers.desktop" || fail "desktop entry"
grep -qE '^Categories=.*(Game|Amusement)' "$tmp/prefix/share/applications/walkers.desktop" ||
  fail "desktop entry is not in the Game or Amusement category"
for size in 16 32 48 64 128 256; do
  icon="$tmp/prefix/share/icons/hicolor/${size}x${size}/apps/walkers.png"
  read -r w h painted _ < <("$probe" info "$icon") || fail "icon ${size}x${size} unreadable"
  [ "$w" = "$size" ] && [ "$h" = "$size" ] && [ "$painted" -gt 0 ] || fail "icon ${size}x${size}"
done
for page in man6/walkers.6.gz man1/walkers-render.1.gz; do
  warnings=$(zcat "$tmp/prefix/share/man/$page" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || fail "$page: $warnings"
done
zcat "$tmp/prefix/share/man/man1/walkers-render.1.gz" | groff -man -Tascii -P-cbou 2>/dev/null | grep -q -- '--seed S' ||
  fail "walkers-render(1) does not describe --seed"
version=$("$tmp/prefix/bin/walkers-render" --version)
[[ "$version" =~ ^walkers-render\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version printed: $version"

(cd "$build" && cpack -G DEB -B "$tmp/package" >/dev/null) || fail "cpack failed"
deb=$(ls "$tmp"/package/walkers_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for library in libsdl2 libpng; do
  grep -q "$library" <<<"$depends" || fail "package does not depend on $library: $depends"
done
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/walkers ./usr/bin/walkers-render ./usr/share/applications/walkers.desktop \
  ./usr/share/icons/hicolor/48x48/apps/walkers.png; do
  grep -q " $file\$" <<<"$contents" || fail "package lacks $file"
done
echo "package: $(basename "$deb"), depends: $depends"
