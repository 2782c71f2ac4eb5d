#!/usr/bin/env bash
# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer, and the serial
# port tests (the threaded part of the program) under ThreadSanitizer. Exits non-zero on
# any failure or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${QUAV_JOBS:-2}"

echo "sanitize: ASan + UBSan, whole suite"
cmake --preset asan -DQUAV_WERROR=ON >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan

echo "sanitize: TSan, serial tests"
cmake --preset tsan -DQUAV_WERROR=ON >/dev/null
cmake --build --preset tsan -j "$jobs" --target quav_serial_test
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" ctest --preset tsan -L serial

echo "sanitize: all clean"
