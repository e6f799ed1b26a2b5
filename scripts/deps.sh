#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need.
# Only missing packages are fetched, so a second run does nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  nginx-light python3 python3-pyftpdlib vsftpd
  curl procps clang-format
  libssl-dev ca-certificates openssl
)
[ "${1:-}" = "--bench" ] && packages+=(aria2 axel lftp time bc)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

# The test servers are started by the tests on loopback ports; keep the
# packages' own services from starting on the standard ports.
policy=/usr/sbin/policy-rc.d
made_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
  "${sudo_cmd[@]}" chmod +x "$policy"
  made_policy=1
fi
trap '[ $made_policy -eq 1 ] && "${sudo_cmd[@]}" rm -f "$policy"' EXIT

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
