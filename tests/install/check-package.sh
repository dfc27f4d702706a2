#!/usr/bin/env bash
# Builds the Debian package with CPack and checks its metadata: the dependencies computed from
# the binary name the Qt runtime libraries, and it holds the installed files. Where this runs as
# root with apt, the package is also installed, started, and purged again, and nothing of it may
# remain. Elsewhere that part is skipped (exit 77) with the reason.
#   check-package.sh <build folder>
set -euo pipefail
build=$1
app_id=org.trellmo.Trellmo
out=$(mktemp -d)
chmod 755 "$out" # apt reads the package as its own unprivileged user
installed_here=0
cleanup() {
  if [ "$installed_here" -eq 1 ]; then
    apt-get purge -y -q -o DPkg::Lock::Timeout=300 trellmo >/dev/null 2>&1 || true
  fi
  rm -rf "$out"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log"; fail "cpack"; }
deb=$(ls "$out"/trellmo_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libc6; do
  grep -q "\b$library\b" <<<"$depends" || fail "Depends lacks $library"
done
[ "$(dpkg-deb -f "$deb" Package)" = trellmo ] || fail "package name"
contents=$(dpkg-deb -c "$deb")
for path in usr/bin/trellmo usr/share/applications/$app_id.desktop \
            usr/share/metainfo/$app_id.metainfo.xml \
            usr/share/icons/hicolor/scalable/apps/$app_id.svg \
            usr/share/icons/hicolor/48x48/apps/$app_id.png; do
  grep -q " \./$path\$" <<<"$contents" || fail "the package lacks $path"
done

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: installing the package needs root"; exit 77
fi
if ! command -v apt-get >/dev/null || ! command -v dpkg >/dev/null; then
  echo "SKIP: installing the package needs apt and dpkg"; exit 77
fi
if dpkg-query -W -f='${Status}' trellmo 2>/dev/null | grep -q "install ok installed"; then
  echo "SKIP: a trellmo package is installed on this machine already; it is left alone"; exit 77
fi

# Every dependency is met on a machine that builds the program, so apt downloads nothing.
installed_here=1
apt-get install -y -q -o DPkg::Lock::Timeout=300 "$deb" >"$out/apt.log" 2>&1 ||
  { cat "$out/apt.log"; fail "apt-get install"; }
version=$(QT_QPA_PLATFORM=offscreen /usr/bin/trellmo --version) ||
  fail "the installed program does not start"
[[ "$version" == "Trellmo "* ]] || fail "the installed program says: $version"
owned=$(dpkg-query -L trellmo)
apt-get purge -y -q -o DPkg::Lock::Timeout=300 trellmo >"$out/apt.log" 2>&1 ||
  { cat "$out/apt.log"; fail "apt-get purge"; }
installed_here=0
left=()
while IFS= read -r path; do
  # Shared folders (/usr/share/icons/hicolor/48x48/apps, ...) stay when others use them.
  if [ -e "$path" ] && ! [ -d "$path" ]; then left+=("$path"); fi
  if [ -d "$path" ] && [[ "$path" == *trellmo* ]]; then left+=("$path"); fi
done <<<"$owned"
[ ${#left[@]} -eq 0 ] || fail "left behind after purge: ${left[*]}"
dpkg-query -W trellmo >/dev/null 2>&1 && fail "the package is still known to dpkg"
echo "package built, installed, started and purged without a trace"
