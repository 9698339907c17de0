#!/usr/bin/env bash
# validate_test.sh DESKTOP_FILE METAINFO_FILE ICON_SVG
# Runs the validators that are installed; exits 77 (skipped) when one is missing.
set -u
desktop=$1 metainfo=$2 icon=$3
status=0 missing=()

if command -v desktop-file-validate >/dev/null; then
  echo "== desktop-file-validate $desktop"
  desktop-file-validate "$desktop" || status=1
else
  missing+=(desktop-file-validate)
fi

if command -v appstreamcli >/dev/null; then
  # --no-net: the tests run without network; it skips only the URL checks.
  echo "== appstreamcli validate $metainfo"
  appstreamcli validate --no-net --explain "$metainfo" || status=1
else
  missing+=(appstreamcli)
fi

if command -v python3 >/dev/null; then
  echo "== well-formed SVG $icon"
  python3 - "$icon" <<'PY' || status=1
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
if root.tag != "{http://www.w3.org/2000/svg}svg" or not root.get("viewBox"):
    sys.exit("not a scalable SVG: the root must be an svg element with a viewBox")
PY
else
  missing+=(python3)
fi

if [ "$status" -ne 0 ]; then exit "$status"; fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "skipped: ${missing[*]} not installed (scripts/install-deps.sh installs them)"
  exit 77
fi
exit 0
