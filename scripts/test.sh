#!/usr/bin/env bash
# Builds and runs the tests. Plain: every test (unit and integration). With --sanitize=address or
# --sanitize=thread: a sanitizer build of its own, unit tests only (TSan: the threaded ones).
# Needs no root: run by another account, it leaves out only the tests labelled "root".
set -euo pipefail
cd "$(dirname "$0")/.."
sanitize=""
for arg in "$@"; do
  case "$arg" in
    --sanitize=*) sanitize="${arg#--sanitize=}" ;;
    *) echo "usage: $0 [--sanitize=address|thread]" >&2; exit 2 ;;
  esac
done
jobs=$(nproc)
if [ -z "$sanitize" ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j "$jobs"
  not_root=()
  if [ "$(id -u)" -ne 0 ]; then
    echo "test.sh: the tests labelled root (a private system bus, another account) need root: left out"
    not_root=(-LE root)
  fi
  ctest --test-dir build --output-on-failure -j "$jobs" "${not_root[@]}"
else
  dir="build-$sanitize"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTVC_SANITIZE="$sanitize" -DTVC_BUILD_BENCH=OFF >/dev/null
  target=unit_tests
  label="unit"
  exclude="gtk"  # GTK's own caches read as leaks; the GTK layer runs in the plain build
  if [ "$sanitize" = thread ]; then
    target=threaded_tests
    label="tsan"
  fi
  cmake --build "$dir" -j "$jobs" --target "$target"
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" -L "$label" -LE "$exclude"
fi
