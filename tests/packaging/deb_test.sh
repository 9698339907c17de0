#!/usr/bin/env bash
# deb_test.sh CPACK CPACK_CONFIG APP_ID
# Builds the Debian package into a temporary folder and checks that it
# depends on what the programs load and carries the menu entry.
set -u
cpack=$1 config=$2 app_id=$3
for tool in dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool not installed (dpkg-dev)"; exit 77; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! "$cpack" -G DEB --config "$config" -B "$tmp" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log"; echo "FAIL: cpack"; exit 1
fi
debs=("$tmp"/tessellon_*.deb)
[ -f "${debs[0]}" ] || { ls "$tmp"; echo "FAIL: no tessellon_*.deb"; exit 1; }
deb=${debs[0]}
echo "built $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6webenginewidgets6 libqt6multimediawidgets6 libcurl4 libjpeg62-turbo libgif7 \
               gstreamer1.0-plugins-good ca-certificates; do
  grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/tessellon ./usr/bin/tessellon-cli ./usr/libexec/tessellon/welcome.htm \
            ./usr/libexec/tessellon/userguide.htm \
            ./usr/share/applications/$app_id.desktop ./usr/share/metainfo/$app_id.metainfo.xml \
            ./usr/share/icons/hicolor/scalable/apps/$app_id.svg ./usr/share/man/man1/tessellon-cli.1.gz; do
  grep -qxF "$path" <<<"$contents" || fail "the package lacks $path"
done
exit $((failures > 0))
