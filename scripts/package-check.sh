#!/usr/bin/env bash
# Builds the Debian package from build/, checks it with lintian, installs it with apt (which also
# proves its dependencies), starts the installed program as the desktop would and removes it again.
# Run as root, after scripts/test.sh has built build/; TVC_TEST_ACCOUNT=NAME starts the program as
# that ordinary account, which must be able to read this tree.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build -j "$(nproc)" --target TavistoForWeb TavistoWebExtension
rm -rf build/package
(cd build && cpack -G DEB >/dev/null)
deb=$(ls "$PWD"/build/package/tavisto-for-web_*.deb)
echo "--- $(basename "$deb"): $(stat -c %s "$deb") bytes"
dpkg-deb --contents "$deb"
echo "--- lintian"
report=$(lintian --fail-on error -I "$deb" 2>&1) || {
  echo "$report"
  echo "package-check.sh: lintian reports errors" >&2
  exit 1
}
echo "$report" | grep -v 'running with root privileges' || true

trap 'apt-get purge -y -qq tavisto-for-web >/dev/null 2>&1 || true' EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
cd tests/integration
# Started as the desktop of the ordinary account $TVC_TEST_ACCOUNT would start it, when one is given.
as=(env)
if [ -n "${TVC_TEST_ACCOUNT:-}" ]; then
  as=(bash ../../scripts/as-account.sh "$TVC_TEST_ACCOUNT" --chdir "$PWD" env)
fi
"${as[@]}" TVC_EXECUTABLE=/usr/bin/tavisto-for-web TVC_EXPECTED_VERSION="$(dpkg-deb -f "$deb" Version)" \
  NO_AT_BRIDGE=1 PYTHONDONTWRITEBYTECODE=1 dbus-run-session -- /usr/bin/python3 -m unittest -v check_installed
apt-get purge -y -qq tavisto-for-web >/dev/null
trap - EXIT
if dpkg -l tavisto-for-web 2>/dev/null | grep -q '^[ir]' || [ -e /usr/bin/tavisto-for-web ] ||
  [ -e /usr/lib/tavisto-for-web ]; then
  echo "package-check.sh: the package left something behind" >&2
  exit 1
fi
echo "package-check.sh: installed, started and removed"
