#!/usr/bin/env bash
# Runs a command as an ordinary account the way a desktop login would start it: a clean
# environment, the account's own home, a fresh runtime folder (/run/user/UID, 0700) and a session
# bus of its own. Run as root:  scripts/as-account.sh ACCOUNT [--chdir DIR] COMMAND [ARG...]
set -euo pipefail
if [ "$(id -u)" -ne 0 ] || [ $# -lt 2 ]; then
  echo "usage (as root): $0 ACCOUNT [--chdir DIR] COMMAND [ARG...]" >&2
  exit 2
fi
account="$1"
shift
dir=""
if [ "$1" = --chdir ]; then
  dir="$2"
  shift 2
fi
uid=$(id -u "$account")
home=$(getent passwd "$account" | cut -d: -f6)
runtime="/run/user/$uid"
# What an earlier run left (sockets, locks) must not leak into this one.
rm -rf "$runtime"
install -d -m 0755 /run/user
install -d -m 0700 -o "$account" -g "$(id -g "$account")" "$runtime"
exec runuser -u "$account" -- env -i \
  HOME="$home" USER="$account" LOGNAME="$account" SHELL=/bin/bash \
  PATH=/usr/local/bin:/usr/bin:/bin LANG="${LANG:-C.UTF-8}" XDG_RUNTIME_DIR="$runtime" \
  dbus-run-session -- bash -c 'cd "${1:-$HOME}" && shift && exec "$@"' bash "$dir" "$@"
