#!/usr/bin/env bash
# Builds the Debian package, checks it with Debian's validators, installs it, starts what it
# installed, removes it and checks that nothing of it is left. As root it installs and purges the
# package "vantrel" on this machine (CI runs it so, from scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --package-check

fail() { echo "package-check: $*" >&2; exit 1; }

deb="$(scripts/package.sh)"
echo "package: $deb"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The release process publishes the pictures of tools/screenshots.sh under these addresses.
metainfo_src=packaging/example.kestrune.vantrel.metainfo.xml
screenshot_base="https://vantrel.kestrune.example/screenshots"

echo "== versions =="
version="$(dpkg-deb -f "$deb" Version)"
changelog_version="$(dpkg-parsechangelog -l packaging/changelog -S Version)"
release_version="$(grep -o '<release version="[^"]*"' "$metainfo_src" | head -1 | cut -d'"' -f2)"
echo "package $version, changelog $changelog_version, newest metainfo release $release_version"
[ "$version" = "$changelog_version" ] || fail "packaging/changelog does not start with $version"
[ "$version" = "$release_version" ] || fail "$metainfo_src does not start with release $version"
dpkg-deb -f "$deb" Depends

echo "== contents =="
dpkg-deb -x "$deb" "$work/root"
root="$work/root"
required=(
  usr/bin/vantrel
  usr/share/applications/vantrel.desktop
  usr/share/icons/hicolor/scalable/apps/vantrel.svg
  usr/share/metainfo/example.kestrune.vantrel.metainfo.xml
  usr/share/man/man1/vantrel.1.gz
  usr/share/doc/vantrel/copyright
  usr/share/doc/vantrel/changelog.gz
)
# A program the build made must be in the package, with its manual page.
if [ -x build/cli/vantrel-sync ]; then
  required+=(usr/bin/vantrel-sync usr/share/man/man1/vantrel-sync.1.gz)
fi
for f in "${required[@]}"; do
  [ -f "$root/$f" ] || fail "$f is not in the package"
done
for size in 48 128 256; do
  png="usr/share/icons/hicolor/${size}x${size}/apps/vantrel.png"
  [ -f "$root/$png" ] || fail "$png is not in the package"
  [[ "$(file -b "$root/$png")" == "PNG image data, $size x $size,"* ]] || fail "$png is not $size x $size"
done
echo "all ${#required[@]} files and the three PNG sizes are there"

echo "== screenshots =="
# Every picture the metainfo names is one that tools/screenshots.sh makes, at the size it says.
tools/screenshots.sh "$work/screenshots" >/dev/null
grep -o "<image type=\"source\" width=\"[0-9]*\" height=\"[0-9]*\">[^<]*" "$metainfo_src" |
  sed 's/.*width="\([0-9]*\)" height="\([0-9]*\)">\(.*\)/\1 \2 \3/' >"$work/shots"
[ -s "$work/shots" ] || fail "no screenshots in $metainfo_src"
while read -r w h url; do
  case "$url" in "$screenshot_base/$version/"*) ;; *) fail "$url is not under $screenshot_base/$version/" ;; esac
  png="$work/screenshots/${url##*/}"
  [ -f "$png" ] || fail "tools/screenshots.sh makes no ${url##*/}"
  [[ "$(file -b "$png")" == "PNG image data, $w x $h,"* ]] || fail "${url##*/} is not $w x $h"
  echo "$url: ${w}x$h"
done <"$work/shots"

echo "== desktop-file-validate =="
out="$(desktop-file-validate "$root/usr/share/applications/vantrel.desktop" 2>&1)" || { echo "$out"; fail "desktop-file-validate failed"; }
[ -z "$out" ] || { echo "$out"; fail "desktop-file-validate reported problems"; }
echo "no errors, no warnings"

echo "== appstreamcli validate --no-net --pedantic =="
for cmd in validate validate-tree; do
  target="$root/usr/share/metainfo/example.kestrune.vantrel.metainfo.xml"
  [ "$cmd" = validate-tree ] && target="$root"
  out="$(appstreamcli "$cmd" --no-net --pedantic "$target" 2>&1)" || { echo "$out"; fail "appstreamcli $cmd failed"; }
  echo "$out"
  ! grep -Eq '^ *[EW]: ' <<<"$out" || fail "appstreamcli $cmd reported errors or warnings"
done

echo "== lintian =="
# Info, pedantic and overridden tags are listed too; errors and warnings fail.
lintian --info --display-info --pedantic --show-overrides --fail-on error,warning "$deb" >"$work/lintian" 2>&1 &&
  rc=0 || rc=$?
grep -v '^running with root privileges' "$work/lintian" || echo "(nothing to say)"
[ "$rc" -eq 0 ] || fail "lintian reported errors or warnings (exit status $rc)"

echo "== install =="
# Installing and purging is for root on a machine without its own vantrel package, as CI is;
# elsewhere it is skipped with the reason, but never in CI.
skip=""
if [ "$(id -u)" -ne 0 ]; then
  skip="not root"
elif dpkg-query -W -f='${Status}' vantrel 2>/dev/null | grep -q "install ok installed"; then
  skip="vantrel is installed already (apt-get remove --purge vantrel, then run again)"
fi
if [ -n "$skip" ]; then
  [ "${CI:-}" != true ] || fail "cannot check the install: $skip"
  echo "install check skipped: $skip"
  exit 0
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get install failed"; }
dpkg-query -W -f='${Package} ${Version} ${Status}\n' vantrel
dpkg -L vantrel >"$work/files"
echo "$(wc -l <"$work/files") paths installed:"
sed 's/^/  /' "$work/files"
[ "$(command -v vantrel)" = /usr/bin/vantrel ] || fail "vantrel on PATH is $(command -v vantrel)"
if grep -qx /usr/bin/vantrel-sync "$work/files"; then
  vantrel-sync --version || fail "vantrel-sync --version failed"
fi

# The window, offscreen, in a home of its own: it must still be running after two seconds, and
# must have made its projects folder, which it does first thing.
home="$work/home"
mkdir -p "$home"
HOME="$home" XDG_DATA_HOME="$home/.local/share" QT_QPA_PLATFORM=offscreen \
  vantrel >"$work/vantrel.log" 2>&1 &
pid=$!
sleep 2
if ! kill -0 "$pid" 2>/dev/null; then
  wait "$pid" && rc=0 || rc=$?
  cat "$work/vantrel.log"
  fail "vantrel ended within two seconds (exit status $rc)"
fi
kill "$pid"
wait "$pid" 2>/dev/null || true
[ -d "$home/.local/share/Kestrune/VantrelProjects" ] || fail "vantrel made no projects folder"
echo "vantrel ran offscreen for two seconds and made its projects folder"

echo "== remove =="
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq vantrel >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get remove failed"; }
! dpkg-query -W -f='${Status}\n' vantrel 2>/dev/null | grep -q installed || fail "vantrel still installed"
ls /var/lib/dpkg/info/vantrel.* >/dev/null 2>&1 && fail "dpkg still has records of vantrel"
left=0
while read -r path; do
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # A folder may stay when another package owns it or something else is in it.
    if dpkg -S "$path" >/dev/null 2>&1 || [ -n "$(ls -A "$path")" ]; then continue; fi
  elif [ ! -e "$path" ] && [ ! -L "$path" ]; then
    continue
  fi
  echo "left behind: $path" >&2
  left=$((left + 1))
done <"$work/files"
[ "$left" -eq 0 ] || fail "$left paths of the package are left after the purge"
echo "purged: none of the $(wc -l <"$work/files") paths is left but folders of other packages"
