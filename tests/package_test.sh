#!/usr/bin/env bash
# Checks what `cmake --install` and `cpack -G DEB` make of a build: the files, the desktop entries,
# the screensaver files, the icons, the manual pages, the licence and changelog, the package's
# computed dependencies and Debian's package checker.
# Usage: package_test.sh BUILD-DIR PNG-PROBE LICENSE
set -euo pipefail
build=$1
probe=$2
license=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
for file in bin/walkers bin/walkers-render share/applications/walkers.desktop \
  share/man/man6/walkers.6.gz share/man/man1/walkers-render.1.gz \
  share/doc/walkers/changelog.gz share/doc/walkers/copyright; do
  [ -f "$tmp/prefix/$file" ] || fail "$file is not installed"
done

# The screensaver daemon's copy is a relative link, so it survives a change of prefix.
link=$tmp/prefix/libexec/xscreensaver/walkers
[ -L "$link" ] && [[ "$(readlink "$link")" != /* ]] || fail "$link is not a relative link"
[ "$(readlink -f "$link")" = "$(readlink -f "$tmp/prefix/bin/walkers")" ] ||
  fail "$link does not resolve to bin/walkers"

settings=$tmp/prefix/share/xscreensaver/config/walkers.xml
xmllint --noout "$settings" || fail "$settings is not well-formed"
command=$(xmllint --xpath 'concat(/screensaver/@name, " ", /screensaver/command/@arg)' "$settings")
[ "$command" = "walkers --root" ] || fail "settings file runs '$command'"
xmllint --xpath '/screensaver/number[@id="cycle" and @arg="--cycle %" and @default="0"]' \
  "$settings" >/dev/null 2>&1 || fail "settings file has no --cycle slider defaulting to 0"
xmllint --xpath '/screensaver/boolean[@arg-set="--pause-on-battery" and not(@arg-unset)]' \
  "$settings" >/dev/null 2>&1 || fail "settings file has no --pause-on-battery checkbox"

# Both entries validate; the screensaver entry may only draw the hint that it has no main menu
# category, which is deliberate: it must not show up in an application menu.
entries=$tmp/prefix/share/applications
out=$(desktop-file-validate "$entries/walkers.desktop" 2>&1) && [ -z "$out" ] || fail "$out"
out=$(desktop-file-validate "$entries/screensavers/walkers.desktop" 2>&1 |
  grep -v 'hint: value "Screensaver;" for key "Categories"' || true)
[ -z "$out" ] || fail "$out"
grep -qE '^Categories=.*(Game|Amusement)' "$entries/walkers.desktop" ||
  fail "desktop entry is not in the Game or Amusement category"
grep -qx "Exec=$tmp/prefix/libexec/xscreensaver/walkers --root" \
  "$entries/screensavers/walkers.desktop" ||
  fail "screensaver entry does not run the libexec link with --root"

metainfo=$(ls "$tmp"/prefix/share/metainfo/*.metainfo.xml)
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "$out"
launchable=$(xmllint --xpath 'string(//launchable[@type="desktop-id"])' "$metainfo")
[ -f "$entries/$launchable" ] || fail "metainfo launches '$launchable', which is not installed"

# The copyright file carries every line of the MIT licence text, and names the holder.
copyright=$tmp/prefix/share/doc/walkers/copyright
holder=$(sed -n 's/^Copyright (c) //p' "$license")
grep -qx "Copyright: $holder" "$copyright" || fail "copyright does not name '$holder'"
while IFS= read -r line; do
  grep -qxF " $line" "$copyright" || fail "copyright lacks the licence line '$line'"
done < <(sed '1,/^Copyright (c)/d; /^$/d' "$license")
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
for library in libx11-6 libxext6 libpng libwayland-client; do
  grep -q "$library" <<<"$depends" || fail "package does not depend on $library: $depends"
done
# Walkers draws its window itself on X11 and Wayland: SDL is no dependency of the package.
! grep -q libsdl2 <<<"$depends" || fail "package depends on SDL: $depends"
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/walkers ./usr/bin/walkers-render ./usr/share/applications/walkers.desktop \
  ./usr/share/icons/hicolor/48x48/apps/walkers.png ./usr/share/xscreensaver/config/walkers.xml \
  ./usr/share/doc/walkers/copyright; do
  grep -q " $file\$" <<<"$contents" || fail "package lacks $file"
done
dpkg-deb -x "$deb" "$tmp/root"
[ "$(readlink -f "$tmp/root/usr/libexec/xscreensaver/walkers")" = "$tmp/root/usr/bin/walkers" ] ||
  fail "the package's libexec link does not resolve to /usr/bin/walkers"
grep -qx "Exec=/usr/libexec/xscreensaver/walkers --root" \
  "$tmp/root/usr/share/applications/screensavers/walkers.desktop" ||
  fail "the package's screensaver entry does not run /usr/libexec/xscreensaver/walkers --root"
saver=$tmp/root/usr/libexec/xsecurelock/saver_walkers
[ -x "$saver" ] || fail "the package lacks an executable $saver"
grep -qx 'exec "/usr/bin/walkers" --root' "$saver" ||
  fail "the package's xsecurelock saver does not run /usr/bin/walkers --root: $(cat "$saver")"
version=$(dpkg-deb -f "$deb" Version)
zcat "$tmp/root/usr/share/doc/walkers/changelog.gz" | head -1 | grep -qF "walkers ($version)" ||
  fail "the changelog does not start with version $version"
out=$(lintian --fail-on error,warning "$deb" 2>&1) ||
  fail "lintian: $(grep -v '^running with root privileges' <<<"$out")"
echo "package: $(basename "$deb"), depends: $depends"
