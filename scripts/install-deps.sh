#!/usr/bin/env bash
# Installs every Debian 12 package the build, the program and the tests need. Run as root.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps.sh: run as root (apt-get needs it)" >&2
  exit 2
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config clang-format clang libclang-rt-14-dev \
  libgtk-3-dev libwebkit2gtk-4.1-dev libjavascriptcoregtk-4.1-dev \
  libayatana-appindicator3-dev libwebsockets-dev libwebsockets-evlib-glib libpsl-dev zlib1g-dev libssl-dev \
  libboost-dev libboost-filesystem-dev libboost-thread-dev libboost-serialization-dev \
  libboost-system-dev libgoogle-glog-dev libgflags-dev \
  libgtest-dev libgmock-dev googletest libbenchmark-dev \
  xvfb xauth x11-utils xdotool wmctrl openbox xfce4-panel dbus dbus-x11 at-spi2-core gir1.2-atspi-2.0 gettext \
  python3 python3-websockets python3-gi gir1.2-glib-2.0 imagemagick procps iproute2 ca-certificates openssl \
  fonts-dejavu-core shared-mime-info chromium \
  dpkg-dev file lintian weston packagekit polkitd >/dev/null
