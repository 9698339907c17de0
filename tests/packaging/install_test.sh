#!/usr/bin/env bash
# install_test.sh BUILD_DIR VERSION APP_ID [CMAKE]
# Installs the build into a temporary prefix and checks that the programs run
# from there and that the menu entry, icon, metainfo and man pages fit together.
set -u
build=$1 version=$2 app_id=$3 cmake=${4:-cmake}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/usr
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! "$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

# --- the programs answer from the prefix ---
for program in tessellon-cli tessellon; do
  exe=$prefix/bin/$program
  if [ ! -x "$exe" ]; then fail "$exe is missing"; continue; fi
  out=$("$exe" --version 2>&1) || fail "$program --version exits $?"
  [ "$out" = "$program $version" ] || fail "$program --version prints '$out', not '$program $version'"
  out=$("$exe" --help 2>&1) || fail "$program --help exits $?"
  case $out in "usage: $program"*) ;; *) fail "$program --help does not start with its usage";; esac
done

# The window looks for welcome.htm beside its executable, symbolic links resolved.
real=$(readlink -f "$prefix/bin/tessellon")
[ -f "$(dirname "$real")/welcome.htm" ] || fail "no welcome.htm beside $real"
[ -f "$(dirname "$real")/userguide.htm" ] || fail "no userguide.htm beside $real"
[ -L "$prefix/bin/tessellon" ] && case $(readlink "$prefix/bin/tessellon") in
  /*) fail "bin/tessellon links to an absolute path: the package would point outside DESTDIR";;
esac

# Installed programs must not reach back into the build tree for libraries.
if command -v readelf >/dev/null; then
  for exe in "$real" "$prefix/bin/tessellon-cli"; do
    readelf -d "$exe" | grep -E 'R(UN)?PATH' | grep -qF "$build" && fail "$exe keeps a run path into $build"
  done
fi

# --- the menu entry, its icon and the metainfo name each other ---
desktop=$prefix/share/applications/$app_id.desktop
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
if [ -f "$desktop" ]; then
  exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ -x "$prefix/bin/$exec_cmd" ] || fail "the menu entry starts '$exec_cmd', which is not in bin/"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon named '$icon'"
  grep -q '^GenericName=Picture gallery crawler$' "$desktop" || fail "the menu entry's generic name"
  categories=$(sed -n 's/^Categories=//p' "$desktop")
  for c in Network Graphics; do
    case ";$categories" in *";$c;"*) ;; *) fail "the menu entry is not in category $c";; esac
  done
else
  fail "$desktop is missing"
fi
if [ -f "$metainfo" ]; then
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $app_id.desktop"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"
else
  fail "$metainfo is missing"
fi

# --- man pages, generated from the usage ---
for program in tessellon-cli tessellon; do
  page=$prefix/share/man/man1/$program.1.gz
  if [ ! -f "$page" ]; then fail "$page is missing"; continue; fi
  text=$(gzip -dc "$page") || { fail "$page is not gzip"; continue; }
  grep -q '^\.TH' <<<"$text" || fail "$page has no .TH header"
  grep -qi "^$program \\\\- " <<<"$text" || fail "$page has no NAME line for $program"
  grep -q 'version' <<<"$text" || fail "$page does not mention --version"
done
grep -q 'demo\\-server' <<<"$(gzip -dc "$prefix/share/man/man1/tessellon-cli.1.gz" 2>/dev/null)" ||
  fail "the tessellon-cli man page lacks the commands of its usage"

# --- nothing else: no libraries, headers or test programs ---
stray=$(cd "$prefix" && find . -type f -o -type l | grep -vE \
  '^\./(bin/[^/]+|libexec/tessellon/[^/]+|share/(applications|metainfo|man/man1|icons/hicolor/scalable/apps)/[^/]+)$')
[ -z "$stray" ] || fail "unexpected installed files: $stray"
[ "$(ls "$prefix/bin")" = "$(printf 'tessellon\ntessellon-cli')" ] || fail "bin/ holds $(ls "$prefix/bin" | tr '\n' ' ')"

if [ "$failures" -ne 0 ]; then
  echo "installed tree:"; (cd "$prefix" && find . | sort)
  exit 1
fi
echo "installed and checked: $(cd "$prefix" && find . -type f -o -type l | sort | tr '\n' ' ')"
