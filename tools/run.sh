#!/usr/bin/env bash
# One command from a fresh Debian 12 machine: install what is needed, build, and start the
# viewer on its built-in demo broadcast. Arguments are passed on to the viewer
# (for example --source aufnahme.t42).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup-debian.sh
cmake --preset default
cmake --build --preset default --target quav-videotext
exec build/default/src/app/quav-videotext "$@"
