#!/usr/bin/env bash
# Command 1 of the README, for a fresh Debian 12 machine: installs the Debian packages the build
# needs (only those missing), configures with the default preset, builds, and translates an
# example statement with the built tvrnsql command. Safe to run again.
#
# Usage: ./setup.sh [--install-only | --configure-only]
#   --install-only    only install the missing packages
#   --configure-only  install, then configure; no build, no example (test.sh uses this)
# Environment: TVRNSQL_WERROR=ON|OFF sets the cache variable of that name (CI sets ON); unset
# keeps the configured value.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"

# Compilers, CMake and make, the test and benchmark libraries, the generators of the scanners and
# grammars, libFuzzer's runtime (libclang-rt-14-dev) and readelf (binutils).
packages=(
  cmake make g++ clang-14 libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libicu-dev libsqlite3-dev
  bison re2c pkg-config binutils
)

mode=all
case "${1:-}" in
  "") ;;
  --install-only) mode=install ;;
  --configure-only) mode=configure ;;
  -h | --help)
    sed -n '2,11s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
    exit 0
    ;;
  *)
    echo "setup.sh: unknown option '$1' (try --help)" >&2
    exit 2
    ;;
esac

say() { printf 'setup: %s\n' "$*"; }

install_missing() {
  if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "setup: dpkg-query not found: this script installs Debian packages (Debian 12)." >&2
    echo "setup: install these by hand, then run it again: ${packages[*]}" >&2
    exit 1
  fi
  local missing=() p
  for p in "${packages[@]}"; do
    if [[ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)" != installed ]]; then
      missing+=("$p")
    fi
  done
  if ((${#missing[@]} == 0)); then
    say "all ${#packages[@]} Debian packages are installed"
    return
  fi
  if ((EUID != 0)); then
    echo "setup: missing Debian packages: ${missing[*]}" >&2
    echo "setup: install them as root, then run this script again:" >&2
    echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}" </dev/null
}

configure() {
  local args=(--preset default)
  if [[ -n "${TVRNSQL_WERROR:-}" ]]; then
    args+=("-DTVRNSQL_WERROR=${TVRNSQL_WERROR}")
  fi
  say "cmake ${args[*]}"
  cmake "${args[@]}"
}

install_missing
[[ "$mode" == install ]] && exit 0

configure
[[ "$mode" == configure ]] && exit 0

say "building"
cmake --build --preset default -j"$(nproc)"

statement="SELECT * FROM t WHERE a = ? AND b LIKE 'x\%' {escape '\'}"
command=build/bin/tvrnsql
if [[ ! -x "$command" ]]; then
  echo "setup: the build did not produce $command" >&2
  exit 1
fi
say "example: $command \"$statement\""
"$command" "$statement"
say "done; run ./test.sh for the tests"
