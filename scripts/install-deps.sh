#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the example need.
# Works as root (CI) or through sudo; does nothing when everything is already there.
set -euo pipefail
packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev googletest
  libxml2-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libebur128-dev
  libpango1.0-dev libcairo2-dev librsvg2-dev libfontconfig-dev libfreetype-dev libharfbuzz-dev
  fonts-ipafont-gothic fonts-dejavu-core
  ffmpeg time
  clang libclang-rt-dev
  parallel slurm-wlm slurmctld slurmd munge
  libcpp-httplib-dev chromium chromium-driver python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# The job engines' daemons are started by their tests alone: none is left running by the install.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d >/dev/null
  $sudo chmod 755 /usr/sbin/policy-rc.d
  trap '$sudo rm -f /usr/sbin/policy-rc.d' EXIT
fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
