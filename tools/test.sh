#!/usr/bin/env bash
# One command from a fresh Debian 12 machine: install what is needed, build with
# warnings as errors, and run every test.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup-debian.sh
cmake --preset default -DQUAV_WERROR=ON
cmake --build --preset default
ctest --preset default
