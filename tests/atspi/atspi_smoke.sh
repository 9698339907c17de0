#!/usr/bin/env bash
# Smoke test through the accessibility bus: tessellon --demo runs under a
# virtual X server with its own D-Bus session and AT-SPI bus, and
# atspi_smoke.py presses Start and waits for the scan to end.
#   atspi_smoke.sh TESSELLON
# Exit 0 on success, 1 on failure, 77 when a needed tool is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = "--inside" ]; then
  # Second stage: inside xvfb-run and dbus-run-session.
  app=$2
  work=$3
  app_pid=""
  launcher_pid=""
  cleanup() {
    for pid in $app_pid $launcher_pid; do
      kill "$pid" 2>/dev/null || true
    done
    for pid in $app_pid $launcher_pid; do
      # Up to 10 s for a clean exit, then forced.
      for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null || true
    done
  }
  trap cleanup EXIT

  # The accessibility bus; the registry daemon is started on it on demand.
  launcher=""
  for p in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
    [ -x "$p" ] && launcher=$p && break
  done
  if [ -n "$launcher" ]; then
    "$launcher" --launch-immediately >"$work/bus-launcher.log" 2>&1 &
    launcher_pid=$!
  fi
  # Qt asks for the bus address once, at start: were the launcher not on the
  # session bus by then, D-Bus would start a second one that cannot take the
  # name, Qt would get an error and stay off the accessibility bus for good.
  owned=0
  for _ in $(seq 300); do
    if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
         org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'boolean true'; then
      owned=1; break
    fi
    sleep 0.1
  done
  if [ $owned -eq 0 ]; then
    echo "the accessibility bus launcher did not come up"
    tail -n 20 "$work/bus-launcher.log" 2>/dev/null || true
    exit 1
  fi
  # Start the registry now rather than on the program's first call.
  a11y=$(dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress |
         tr -d ' ')
  dbus-send --bus="$a11y" --print-reply --reply-timeout=30000 --dest=org.a11y.atspi.Registry \
    /org/a11y/atspi/registry org.freedesktop.DBus.Peer.Ping >/dev/null ||
    echo "note: the accessibility registry did not answer a ping"

  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 QT_QPA_PLATFORM=xcb
  export TESSELLON_CONFIG_DIR="$work/config"
  [ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
  cd "$work/run"
  "$app" --demo >"$work/app.log" 2>&1 &
  app_pid=$!

  status=0
  "$ATSPI_SMOKE_PYTHON" "$here/atspi_smoke.py" --pid "$app_pid" --name tessellon --deadline 120 || status=$?
  if ! kill -0 "$app_pid" 2>/dev/null; then
    echo "tessellon is no longer running"
    status=1
  fi
  if [ $status -ne 0 ]; then
    echo "--- tessellon output (last 40 lines, web engine parameters left out)"
    grep -v -e '^  \*' -e '^$' "$work/app.log" | tail -n 40 || true
    echo "--- accessibility bus launcher"
    tail -n 20 "$work/bus-launcher.log" || true
  fi
  exit $status
fi

app=${1:?usage: atspi_smoke.sh TESSELLON}
for tool in xvfb-run dbus-run-session; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing (packages xvfb, dbus): skipped"
    exit 77
  fi
done
# The system's Python carries pyatspi; a python3 earlier on PATH may not.
python=""
for py in /usr/bin/python3 python3; do
  if "$py" -c 'import pyatspi' 2>/dev/null; then python=$py; break; fi
done
if [ -z "$python" ]; then
  echo "pyatspi is missing (package python3-pyatspi): skipped"
  exit 77
fi
export ATSPI_SMOKE_PYTHON=$python

# The demo gallery is served on a fixed port; a program already on it would
# make tessellon show a message box instead of serving the demo.
if ! "$python" - <<'PY'
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
try:
    s.bind(("127.0.0.1", 8321))
except OSError as e:
    sys.exit(1)
PY
then
  echo "port 8321 of 127.0.0.1 is taken by another program: the demo gallery cannot be served"
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/run"
# timeout sends TERM to the whole group; the inner stage's trap ends tessellon.
timeout 280 xvfb-run -a -s "-screen 0 1024x768x24" \
  dbus-run-session -- bash "$here/atspi_smoke.sh" --inside "$app" "$work"
