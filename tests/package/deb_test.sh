#!/usr/bin/env bash
# Makes the Debian package from an already built tree into a temporary folder
# and checks its file list, its control fields and that its program runs.
# Usage: deb_test.sh CPACK CPACK_CONFIG VERSION
set -euo pipefail
cpack=$1 config=$2 version=$3

for tool in dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is not installed: skipped"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

if ! "$cpack" -G DEB --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  fail "cpack could not make the package"
fi
arch=$(dpkg --print-architecture)
deb=$work/out/inkveil_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$work/out")"

# Files, owners and modes; folders are whatever holds them.
icons=usr/share/icons/hicolor
expected=$(sort <<LIST
-rwxr-xr-x root/root ./usr/bin/inkveil
-rwxr-xr-x root/root ./usr/bin/inkveil-cli
-rw-r--r-- root/root ./usr/share/applications/com.mervo.Inkveil.desktop
-rw-r--r-- root/root ./usr/share/bash-completion/completions/inkveil-cli
-rw-r--r-- root/root ./usr/share/doc/inkveil/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/inkveil/copyright
$(for size in 16 24 32 48 64 128 256 512; do
    echo "-rw-r--r-- root/root ./$icons/${size}x${size}/apps/com.mervo.Inkveil.png"
  done)
-rw-r--r-- root/root ./$icons/scalable/apps/com.mervo.Inkveil.svg
-rw-r--r-- root/root ./usr/share/man/man1/inkveil-cli.1.gz
-rw-r--r-- root/root ./usr/share/man/man1/inkveil.1.gz
-rw-r--r-- root/root ./usr/share/metainfo/com.mervo.Inkveil.metainfo.xml
LIST
)
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort)
if [ "$actual" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$actual") || true
  fail "the package holds other files than expected (< expected, > found)"
fi
bad_dirs=$(dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")')
[ -z "$bad_dirs" ] || fail "folders not 0755 root/root: $bad_dirs"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = inkveil ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
# Computed from the programs' libraries, not written by hand.
depends=$(field Depends)
for library in libc6 libqt6core6 libqt6widgets6; do
  grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
done

dpkg-deb -x "$deb" "$work/root"
printed=$("$work/root/usr/bin/inkveil-cli" --version)
[ "$printed" = "inkveil-cli $version" ] || fail "inkveil-cli --version printed: $printed"

# The desktop's own checkers, where installed.
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/root/usr/share/applications/com.mervo.Inkveil.desktop" || fail "desktop entry"
fi
metainfo=$work/root/usr/share/metainfo/com.mervo.Inkveil.metainfo.xml
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo lists no release $version"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" || fail "metainfo"
fi
echo "ok: $(basename "$deb")"
