#!/usr/bin/env bash
# Installs a built Tessellon .deb into a minimal Debian bookworm chroot and
# checks that it works there, the way it would on a freshly installed machine.
#
# Usage (as root):
#   bash scripts/fresh-install-check.sh PATH/TO/tessellon_*.deb [ROOT]
#
# ROOT defaults to /var/tmp/tessellon-fresh-root. The first run builds it with
# debootstrap from the same Debian mirror this machine's apt uses; later runs
# reuse it and just reinstall the package over the earlier install (apt still
# adds any dependency the new package gained). With CLEAN=1 the package and
# everything it pulled in are purged first, so apt resolves all dependencies
# from the bare base system again; the .debs stay in the root's apt cache, so
# that costs no downloads, only a couple of minutes of unpacking.
#
# Prints one PASS/FAIL line per check and a summary; exits 0 only if all pass.

# Most functions here are only called through check() or the EXIT trap.
# shellcheck disable=SC2317
set -euo pipefail

SUITE=bookworm
MARKER=.tessellon-root-ready   # written once debootstrap has finished

usage() {
  echo "usage: $0 PATH/TO/tessellon_*.deb [ROOT]" >&2
  exit 2
}

if [ $# -lt 1 ] || [ $# -gt 2 ]; then usage; fi
DEB=$1
ROOT=${2:-/var/tmp/tessellon-fresh-root}
[ -f "$DEB" ] || { echo "no such file: $DEB" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "run this as root (debootstrap, chroot and mount need it)" >&2; exit 2; }
DEB=$(readlink -f "$DEB")
ROOT=$(readlink -m "$ROOT")
[ "$ROOT" != / ] || { echo "refusing to use / as the chroot" >&2; exit 2; }
DEB_NAME=$(basename "$DEB")

START=$SECONDS
export DEBIAN_FRONTEND=noninteractive
log() { printf '==> %s\n' "$*"; }

# --- the mirror -------------------------------------------------------------

# Prints the URIs of the "deb" entries in this machine's apt sources, one per
# line, in file order. Handles both the one-line (.list) and the deb822
# (.sources) formats; files apt ignores (other suffixes) are skipped here too.
host_deb_uris() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    # deb [options] URI suite components...
    sed -E -n 's/^[[:space:]]*deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+).*/\2/p' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # Stanzas are separated by blank lines; keep URIs of enabled "deb" stanzas.
    awk '
      function flush() { if (isdeb && enabled) for (i = 1; i <= n; i++) print uris[i]; isdeb = 0; enabled = 1; n = 0 }
      BEGIN { enabled = 1 }
      /^[[:space:]]*$/ { flush(); next }
      /^[[:space:]]*#/ { next }
      tolower($1) == "types:"   { for (i = 2; i <= NF; i++) if ($i == "deb") isdeb = 1 }
      tolower($1) == "enabled:" { if (tolower($2) == "no") enabled = 0 }
      tolower($1) == "uris:"    { for (i = 2; i <= NF; i++) uris[++n] = $i }
      END { flush() }
    ' "$f"
  done
}

# The main archive is the first URI that is not a security archive; the
# security archive (if any) is added to the chroot as a fresh install would.
MIRROR=${MIRROR:-$(host_deb_uris | grep -v -i security | head -n1 || true)}
SECURITY_MIRROR=$(host_deb_uris | grep -i security | head -n1 || true)
[ -n "$MIRROR" ] || { echo "no Debian mirror found in /etc/apt/sources.list(.d); set MIRROR=..." >&2; exit 2; }

# --- mounts, always undone ---------------------------------------------------

MOUNTED=()   # mount points inside ROOT, in the order they were mounted

cleanup() {
  local i
  for (( i = ${#MOUNTED[@]} - 1; i >= 0; i-- )); do
    umount "${MOUNTED[i]}" 2>/dev/null || umount -l "${MOUNTED[i]}" 2>/dev/null \
      || echo "warning: could not unmount ${MOUNTED[i]}" >&2
  done
  MOUNTED=()
  # Never leave the service blocker behind in a root someone may reuse.
  rm -f "$ROOT/usr/sbin/policy-rc.d"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mount_in_root() {   # mount_in_root TARGET MOUNT-ARGS...
  local target=$ROOT$1; shift
  mkdir -p "$target"
  mount "$@" "$target"
  MOUNTED+=("$target")
}

# Runs a command inside the chroot with a small, clean environment.
in_root() {
  chroot "$ROOT" /usr/bin/env -i \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
    "$@"
}

# --- 1. debootstrap ---------------------------------------------------------

if ! command -v debootstrap >/dev/null 2>&1; then
  log "installing debootstrap"
  # Only refresh the package lists if apt does not know debootstrap yet.
  if ! apt-cache show debootstrap >/dev/null 2>&1; then
    apt-get update -q
  fi
  apt-get install -y -q debootstrap
fi

if [ -f "$ROOT/$MARKER" ] && [ ! -d "$ROOT/debootstrap" ]; then
  log "reusing the $SUITE root in $ROOT"
else
  if [ -e "$ROOT" ] && [ -n "$(ls -A "$ROOT" 2>/dev/null)" ]; then
    # A half-finished root from an interrupted run: start over. Make sure
    # nothing is still mounted below it before deleting anything.
    if findmnt -rn -o TARGET | grep -q -F "$ROOT/"; then
      echo "something is still mounted below $ROOT; unmount it first" >&2
      exit 1
    fi
    log "removing the unfinished root in $ROOT"
    rm -rf --one-file-system "$ROOT"
  fi
  log "creating a minimal $SUITE root in $ROOT from $MIRROR"
  mkdir -p "$ROOT"
  debootstrap --variant=minbase "$SUITE" "$ROOT" "$MIRROR"
  {
    echo "deb $MIRROR $SUITE main"
    echo "deb $MIRROR $SUITE-updates main"
    [ -z "$SECURITY_MIRROR" ] || echo "deb $SECURITY_MIRROR $SUITE-security main"
  } > "$ROOT/etc/apt/sources.list"
  date -u +%FT%TZ > "$ROOT/$MARKER"
fi

# --- 2. mounts and install ----------------------------------------------------

mount_in_root /proc -t proc proc
mount_in_root /sys --bind /sys
mount_in_root /dev --bind /dev
mount_in_root /dev/pts --bind /dev/pts
# Chromium (inside Qt WebEngine) wants shared memory.
[ -d /dev/shm ] && mount_in_root /dev/shm --bind /dev/shm
cp -L /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true

# Keep package scripts from starting services inside the chroot.
printf '#!/bin/sh\nexit 101\n' > "$ROOT/usr/sbin/policy-rc.d"
chmod 755 "$ROOT/usr/sbin/policy-rc.d"

# CLEAN=1: start from the bare base system, dropping an earlier run's install
# and the dependencies it pulled in (debootstrap marks the base all manual).
# shellcheck disable=SC2016  # ${Status} is dpkg-query's, not ours
if [ "${CLEAN:-0}" = 1 ] && in_root dpkg-query -W -f='${Status}' tessellon 2>/dev/null | grep -q 'ok installed'; then
  log "purging the tessellon install left by an earlier run"
  in_root apt-get purge -y -q tessellon
  in_root apt-get autoremove --purge -y -q
fi

rm -f "$ROOT"/tmp/tessellon_*.deb
install -m 644 "$DEB" "$ROOT/tmp/$DEB_NAME"

# --- 3. checks ---------------------------------------------------------------

PASSED=0
FAILED=0
FAILED_NAMES=()
OUT=$(mktemp)
trap 'rm -f "$OUT"; cleanup' EXIT

LAST_OK=0
pass() { printf 'PASS  %s\n' "$1"; PASSED=$((PASSED + 1)); LAST_OK=1; }
# A failure also shows (the end of) what the command printed.
fail() {
  printf 'FAIL  %s\n' "$1"
  if [ -s "$OUT" ]; then tail -n 40 "$OUT" | sed 's/^/      | /'; fi
  FAILED=$((FAILED + 1))
  FAILED_NAMES+=("$1")
  LAST_OK=0
}
# check NAME COMMAND...: runs the command with its output in $OUT.
check() {
  local name=$1; shift
  if "$@" >"$OUT" 2>&1; then pass "$name"; else fail "$name"; fi
}
# After a passing check, shows the first line (or all) of what it printed.
first_line() { if [ "$LAST_OK" = 1 ]; then head -n1 "$OUT" | sed 's/^/      > /'; fi; }
all_lines() { if [ "$LAST_OK" = 1 ]; then sed 's/^/      > /' "$OUT"; fi; }

log "installing $DEB_NAME with apt inside the chroot"
if in_root sh -c "cd /tmp && apt-get update -q && apt-get install -y -q --reinstall ./$DEB_NAME" >"$OUT" 2>&1; then
  grep -E '^(Need to get|After this operation|[0-9]+ upgraded)' "$OUT" | sed 's/^/      > /' || true
  pass "apt-get install ./$DEB_NAME"
else
  fail "apt-get install ./$DEB_NAME"
  echo "SUMMARY: the package did not install; nothing else was checked"
  exit 1
fi

# Every shared library the binaries need resolves in the fresh root.
check_libs() {
  local bin status=0
  for bin in /usr/bin/tessellon-cli /usr/libexec/tessellon/tessellon; do
    [ -x "$ROOT$bin" ] || { echo "missing: $bin"; return 1; }
    in_root ldd "$bin" | grep 'not found' && status=1
  done
  return "$status"
}
check "all shared libraries resolve (ldd)" check_libs

check "tessellon-cli --version" in_root /usr/bin/tessellon-cli --version; first_line
check "tessellon-cli --help" in_root /usr/bin/tessellon-cli --help; first_line

# The demo: a private HOME and config folder, the installed binary, and a
# storage folder that starts empty.
run_demo() {
  local home
  home=$(in_root mktemp -d /tmp/tessellon-home.XXXXXX)
  rm -rf "$ROOT/tmp/demo-out"
  chroot "$ROOT" /usr/bin/env -i \
    PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    timeout 300 /usr/bin/tessellon-cli demo --out /tmp/demo-out --no-external
}
if run_demo >"$OUT" 2>&1; then
  if grep -q -x '144 pictures stored' "$OUT"; then
    pass "tessellon-cli demo exits 0 and prints '144 pictures stored'"
  else
    fail "tessellon-cli demo printed no '144 pictures stored' line"
  fi
else
  fail "tessellon-cli demo exited with status $?"
fi

# Every picture the demo reported must be on disk below the mirrored host
# folder. The demo gallery serves its full-size pictures as JPEG and its
# thumbnails as JPEG or GIF, so both kinds count.
count_pictures() {
  # The demo runs on a free port: its host folder is "127.0.0.1+PORT".
  local dir jpg gif
  dir=$(find "$ROOT/tmp/demo-out" -mindepth 2 -maxdepth 2 -type d -name gallery -print -quit)
  [ -d "$dir" ] || { echo "no gallery folder under $ROOT/tmp/demo-out"; return 1; }
  jpg=$(find "$dir" -type f -name '*.jpg' | wc -l)
  gif=$(find "$dir" -type f -name '*.gif' | wc -l)
  echo "$((jpg + gif)) pictures under ${dir#"$ROOT"/tmp/demo-out/} ($jpg .jpg, $gif .gif)"
  [ $((jpg + gif)) -eq 144 ]
}
check "storage folder holds the 144 pictures" count_pictures; first_line

# The GUI only has to answer --version; give Qt a platform it can use headless.
check "tessellon --version" in_root env QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
  timeout 60 /usr/bin/tessellon --version; first_line

DESKTOP=$ROOT/usr/share/applications/org.tessellon.Tessellon.desktop
METAINFO=$ROOT/usr/share/metainfo/org.tessellon.Tessellon.metainfo.xml
check "desktop file installed" test -f "$DESKTOP"
check "metainfo installed" test -f "$METAINFO"
check "icon installed" test -f "$ROOT/usr/share/icons/hicolor/scalable/apps/org.tessellon.Tessellon.svg"

# The validators run on the host, against the chroot's files.
if command -v desktop-file-validate >/dev/null 2>&1; then
  check "desktop-file-validate" desktop-file-validate "$DESKTOP"; all_lines
else
  echo "SKIP  desktop-file-validate (not installed on this host)"
fi
if command -v appstreamcli >/dev/null 2>&1; then
  check "appstreamcli validate --no-net" appstreamcli validate --no-net "$METAINFO"; all_lines
else
  echo "SKIP  appstreamcli validate (not installed on this host)"
fi

# minbase has no man-db; fall back to the compressed pages being there.
check_man() {
  local page
  if in_root sh -c 'command -v man' >/dev/null 2>&1; then
    in_root man -w tessellon-cli && in_root man -w tessellon
  else
    for page in tessellon-cli tessellon; do
      gzip -t "$ROOT/usr/share/man/man1/$page.1.gz" || return 1
      echo "/usr/share/man/man1/$page.1.gz"
    done
  fi
}
check "man pages installed" check_man; all_lines

# --- summary -------------------------------------------------------------------

echo
echo "root: $ROOT ($(du -sh --one-file-system "$ROOT" | cut -f1))"
echo "time: $((SECONDS - START)) s"
if [ "$FAILED" -eq 0 ]; then
  echo "SUMMARY: PASS, all $PASSED checks passed"
  exit 0
fi
echo "SUMMARY: FAIL, $FAILED of $((PASSED + FAILED)) checks failed: ${FAILED_NAMES[*]}"
exit 1
