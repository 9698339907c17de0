#!/usr/bin/env bash
# End to end: gallery-preview scans the built-in demo gallery under a virtual
# X server and must end with tabs of loaded, unselected tiles; the window is
# saved as tab.png into the screenshots folder.
#   gallery_preview_test.sh GALLERY_PREVIEW SCREENSHOT_DIR
set -euo pipefail
preview=$1
shots=$2
if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is missing (package xvfb): skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export TESSELLON_CONFIG_DIR="$work/config"
unset QT_QPA_PLATFORM
timeout 300 xvfb-run -a -s "-screen 0 1024x768x24" \
  "$preview" --quit-when-done --report --screenshot "$shots" >report.txt 2>errors.txt || {
  echo "gallery-preview failed"; cat errors.txt; exit 1; }

tabs=$(grep -c '^tab ' report.txt || true)
tiles=$(grep -c '^tile ' report.txt || true)
unselected=$(grep -c '^tile .*: unselected$' report.txt || true)
echo "tabs: $tabs, tiles: $tiles, unselected: $unselected"
fail=0
# The demo gallery has six pages of twelve pairs; the index repeats no thumbnail.
[ "$tabs" -eq 6 ] || { echo "expected 6 tabs"; fail=1; }
[ "$tiles" -eq 72 ] || { echo "expected 72 tiles"; fail=1; }
[ "$unselected" -eq "$tiles" ] || { echo "every tile should be loaded and unselected"; fail=1; }
grep -q '^tab .* caption 12 tiles 12$' report.txt || { echo "tab caption should be the count"; fail=1; }
[ -s "$shots/tab.png" ] || { echo "no $shots/tab.png"; fail=1; }
[ $fail -eq 0 ] || cat report.txt
exit $fail
