#!/bin/sh
# Installs the Debian 12 packages the build, the tests and the demo need.
# Run as root on a fresh machine.
set -eu
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  g++ make cmake pkg-config binutils ca-certificates \
  libace-dev libgtest-dev libgmock-dev libjpeg-dev \
  libcli11-dev nlohmann-json3-dev \
  iproute2 util-linux procps \
  python3 python3-venv python3-setuptools python3-wheel \
  tshark clang libclang-rt-14-dev llvm \
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools \
  gstreamer1.0-plugins-base gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-good \
  libcpp-httplib-dev libarchive-dev chromium chromium-driver python3-selenium socat
