#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a desktop would find there: the
# program, its menu entry and AppStream description (both valid), the icon in every hicolor size
# and as a scalable drawing. Then starts the installed program the way its menu entry does,
# offscreen, checks that it works in the home folder, and ends it with SIGTERM, which closes its
# window as the close box does.
#   check-install.sh <build folder> <version>
set -euo pipefail
build=$1
version=$2
app_id=org.trellmo.Trellmo

stage=$(mktemp -d)
home=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
  rm -rf "$stage" "$home"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
usr=$stage/usr

expected=(
  bin/trellmo
  share/applications/$app_id.desktop
  share/metainfo/$app_id.metainfo.xml
  share/icons/hicolor/scalable/apps/$app_id.svg
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
for path in "${expected[@]}"; do
  [ -f "$usr/$path" ] || fail "$path was not installed"
done
for size in 16 22 24 32 48 64 128 256; do
  file "$usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png" |
    grep -q "PNG image data, $size x $size," || fail "the ${size}x${size} icon has another size"
done
file "$usr/share/icons/hicolor/scalable/apps/$app_id.svg" | grep -q "SVG" ||
  fail "the scalable icon is no SVG drawing"
# Nothing beyond these files: an install that leaves more would leave it behind on removal too.
installed=$(cd "$usr" && find . -type f | sort | sed 's|^\./||')
[ "$(echo "$installed" | wc -l)" -eq "${#expected[@]}" ] ||
  fail "unexpected files installed: $installed"

desktop-file-validate "$usr/share/applications/$app_id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$usr/share/metainfo/$app_id.metainfo.xml" >/dev/null ||
  fail "metainfo"
grep -qx "Icon=$app_id" "$usr/share/applications/$app_id.desktop" || fail "icon name"

export QT_QPA_PLATFORM=offscreen
[ "$("$usr/bin/trellmo" --version)" = "Trellmo $version" ] || fail "--version"

# Start the program with the arguments of the menu entry's Exec line (its quoting is a shell's
# double quoting; no field codes are used).
exec_line=$(sed -n 's/^Exec=//p' "$usr/share/applications/$app_id.desktop")
eval "words=($exec_line)"
[ "${words[0]}" = trellmo ] || fail "Exec does not start trellmo: $exec_line"
cd /
HOME=$home "$usr/bin/trellmo" "${words[@]:1}" &
pid=$!
for _ in $(seq 50); do
  [ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" = "$home" ] && break
  sleep 0.1
done
[ "$(readlink "/proc/$pid/cwd")" = "$home" ] || fail "not working in the home folder"
sleep 1
kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status after SIGTERM"
echo "installed files, desktop entry, metainfo and start-up are fine"
