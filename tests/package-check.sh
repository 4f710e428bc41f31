#!/usr/bin/env bash
# Checks the Debian package: the desktop entry and AppStream data validate,
# lintian finds no error, and the package holds every file a user needs,
# where Debian expects it, and nothing else.
#
# Usage: package-check.sh --build BUILD_DIR CPACK   makes the package from a build tree
#        package-check.sh --deb PACKAGE.deb         checks a package made by `make deb`
# Exits 77 (skipped) when a tool is missing; scripts/install-deps installs them all.
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
app_id=com.example.velisto
skip=77

tools=(dpkg-deb lintian desktop-file-validate appstreamcli file)
[ "${1:-}" = --build ] && tools+=(dpkg-shlibdeps)
for tool in "${tools[@]}"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: the package checks need $tool (scripts/install-deps installs it)"
        exit $skip
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

case "${1:-}" in
--build)
    build_dir=$(cd "$2" && pwd)
    "$3" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
        cat "$work/cpack.log"
        echo "FAIL: CPack could not make the package"
        exit 1
    }
    deb=$(echo "$work"/out/velisto_*.deb)
    ;;
--deb)
    build_dir=
    deb=$(readlink -f "$2")
    ;;
*)
    echo "usage: $0 --build BUILD_DIR CPACK | --deb PACKAGE.deb" >&2
    exit 2
    ;;
esac
[ -f "$deb" ] || { echo "FAIL: no package at $deb"; exit 1; }
echo "Checking $(basename "$deb")"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# ---------------------------------------------------------------- control
version=$(sed -n 's/^project(Velisto VERSION \([^ )]*\).*/\1/p' "$source_dir/CMakeLists.txt")
[ "$(dpkg-deb -f "$deb" Package)" = velisto ] || fail "package name is not velisto"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
[ "$(dpkg-deb -f "$deb" Section)" = sound ] || fail "section is not sound"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
depends=$(dpkg-deb -f "$deb" Depends)
for need in sox libsox-fmt-base libsox-fmt-mp3 ffmpeg "libtag1v5(-vanilla)?" libebur128-1 libfftw3-single3 espeak-ng gstreamer1.0-plugins-good \
    xdg-utils libwxgtk3.2-1 libwxgtk-media3.2-1; do
    grep -Eq "(^|, )$need( |,|$)" <<<"$depends" || fail "Depends lacks $need: $depends"
done

# --------------------------------------------------------------- contents
dpkg-deb -x "$deb" "$work/root"
root=$work/root
res=/usr/share/velisto/Velisto.app/Contents/Resources
required=(
    /usr/bin/velisto
    $res/logo.png $res/velisto-icon.png $res/velisto-icon-48.png $res/play.bmp $res/stop.bmp $res/pause.bmp $res/resume.bmp $res/sox
    /usr/share/applications/$app_id.desktop
    /usr/share/metainfo/$app_id.metainfo.xml
    /usr/share/doc/velisto/copyright
    /usr/share/doc/velisto/changelog.gz
    /usr/share/doc/velisto/manual.html
    /usr/share/doc/velisto/main-window.png
)
for f in "$source_dir"/resources/Presets/*.mp3; do
    required+=("$res/Presets/$(basename "$f")")
done
for size in 48 128 256; do
    icon=/usr/share/icons/hicolor/${size}x$size/apps/velisto.png
    required+=("$icon")
    [ -f "$root$icon" ] && ! file "$root$icon" | grep -q "PNG image data, $size x $size" &&
        fail "$icon is not a $size px PNG"
done
# Every program has its manual page.
for program in "$root"/usr/bin/*; do
    required+=("/usr/share/man/man1/$(basename "$program").1.gz")
done
for f in "${required[@]}"; do
    [ -e "$root$f" ] || [ -L "$root$f" ] || fail "missing $f"
done

allowed="^(/usr/bin/velisto(-batch)?"
allowed+="|$res/(logo\.png|velisto-icon(-48)?\.png|(play|stop|pause|resume)\.bmp|sox|Presets/[^/]+\.mp3)"
allowed+="|/usr/share/applications/$app_id\.desktop|/usr/share/metainfo/$app_id\.metainfo\.xml"
allowed+="|/usr/share/icons/hicolor/(48x48|128x128|256x256)/apps/velisto\.png"
allowed+="|/usr/share/man/man1/[^/]+\.1\.gz|/usr/share/doc/velisto/(copyright|changelog\.gz|manual\.html|[^/]+\.png)"
allowed+="|/usr/share/lintian/overrides/velisto)$"
while IFS= read -r -d '' f; do
    f=${f#"$root"}
    [[ $f =~ $allowed ]] || fail "unexpected file $f"
done < <(find "$root" ! -type d -print0)

# The SoX link leads to the system's sox, wherever the package was built.
link=$(readlink "$root$res/sox" || true)
[ "$(realpath -m -s "$res/$link")" = /usr/bin/sox ] || fail "$res/sox points at $link, not /usr/bin/sox"
# Nothing names the build or source tree (the manual and changelog are compressed).
for tree in "$build_dir" "$source_dir"; do
    [ -n "$tree" ] || continue
    hits=$(grep -rlF "$tree" "$root" || true)
    [ -z "$hits" ] || fail "files naming $tree: $hits"
done
# Owned by root (lintian checks the modes).
dpkg-deb -c "$deb" | awk '$2 != "root/root" { print "FAIL: not owned by root:", $0; bad = 1 }
    END { exit bad }' || failures=$((failures + 1))

# ----------------------------------------------------------- validators
desktop=$root/usr/share/applications/$app_id.desktop
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
    exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    [ -x "$root/usr/bin/$exec_program" ] || fail "Exec=$exec_program is not a program of the package"
fi
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
if [ -f "$metainfo" ]; then
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the AppStream data"
    grep -q "<screenshot" "$metainfo" || fail "the AppStream data has no screenshot"
    grep -q "release version=\"$version\"" "$metainfo" || fail "the AppStream data lacks release $version"
fi

# Errors fail, and so do warnings: a deliberate one goes into the package's
# lintian overrides with the reason.
if ! lintian --fail-on error,warning --display-info "$deb" >"$work/lintian.log" 2>&1; then
    fail "lintian reports errors or warnings"
fi
grep -v 'running with root privileges' "$work/lintian.log" || true

if [ $failures -ne 0 ]; then
    echo "$failures package check(s) failed"
    exit 1
fi
echo "Package checks passed"
