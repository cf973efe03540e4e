#!/usr/bin/env bash
# Installs every build and test dependency from Debian packages. Idempotent:
# does nothing when all packages are present already. Runs as root.
set -euo pipefail

packages=(
  g++ cmake ninja-build make
  libboost1.81-dev
  nettle-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3 python3-websockets
  util-linux procps iproute2
)
# npm installs the test data (scripts/install-npm-deps.sh); Debian's Node.js only where the
# machine has none of its own.
command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run as root to install them" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
