#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages the project needs and the machine lacks.
set -euo pipefail
packages=(cmake ninja-build g++ make pkg-config libexpat1-dev libgtest-dev libgmock-dev libbenchmark-dev
          libpcre2-dev nlohmann-json3-dev clang libclang-rt-14-dev fpc libxml2-utils distcc
          gdb tmux libncurses-dev python3)
# Optional packages: a test that uses one is skipped where it is missing, so that a package
# that cannot be installed never fails this step (Neovim, for its language client's test).
optional() {
  local want=()
  for p in neovim; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || want+=("$p")
  done
  if [ ${#want[@]} -eq 0 ] || [ "$(id -u)" != 0 ]; then return 0; fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq --no-install-recommends "${want[@]}" >/dev/null 2>&1 ||
    { apt-get update -qq >/dev/null 2>&1 && apt-get install -y -qq --no-install-recommends "${want[@]}" >/dev/null 2>&1; } ||
    echo "deps: optional packages not installed: ${want[*]}" >&2
  return 0
}
trap optional EXIT
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "deps: missing packages: ${missing[*]} (run as root, or install them)" >&2
  exit 1
fi
echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
