#!/usr/bin/env bash
# Command 2 of the README: installs what is missing and configures (through setup.sh), builds the
# default preset and runs every test with ctest. Exits non-zero on any failure.
#
# Usage: ./test.sh [ctest options...]   e.g. ./test.sh -L api
# Environment: TVRNSQL_WERROR=ON builds with -Werror (see setup.sh).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"

bash ./setup.sh --configure-only
echo "test: building"
cmake --build --preset default -j"$(nproc)"
echo "test: running the tests"
ctest --preset default -j"$(nproc)" --output-on-failure --no-tests=error "$@"
