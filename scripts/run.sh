#!/usr/bin/env bash
# Builds the program and runs it. Without a display it runs under xvfb-run (and says so),
# shows the window at once and saves a screenshot of it to build/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target TavistoForWeb TavistoWebExtension
export NO_AT_BRIDGE=1
if [ -n "${DISPLAY:-}" ]; then
  exec build/bin/TavistoForWeb --show-on-launch "$@"
fi
echo "run.sh: no DISPLAY: running under xvfb-run; a screenshot goes to build/screenshot.png; Ctrl+C ends it." >&2
exec xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- bash -c '
  build/bin/TavistoForWeb --show-on-launch "$@" &
  app=$!
  trap "kill -TERM $app" INT TERM
  # Wait for the window, give the page its first frame, then photograph the screen.
  if xdotool search --sync --onlyvisible --class "^CEFCLIENT$" >/dev/null; then
    sleep 3
    import -window root build/screenshot.png && echo "run.sh: screenshot saved to build/screenshot.png" >&2
  fi
  wait $app
' run.sh "$@"
