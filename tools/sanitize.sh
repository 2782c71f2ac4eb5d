#!/usr/bin/env bash
# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer, and the
# threaded parts of the program under ThreadSanitizer: the serial port tests, the
# acquisition tests (the poll worker and an abort from another thread) and the viewer's
# tests (ticks on the worker, input held back, the settings and closing mid-read). Exits
# non-zero on any failure or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${QUAV_JOBS:-2}"
# Qt comes from Debian, built without TSan: its locks are futexes that TSan cannot see, so
# memory that Qt allocates on one thread and frees on another (its file-dialog gatherer,
# its event queue) looks like a race. TSan ignores what Qt's own code does through the
# allocator and the C library; every access that our code makes is still checked.
tsan_options="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1"

echo "sanitize: ASan + UBSan, whole suite"
cmake --preset asan -DQUAV_WERROR=ON >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan

echo "sanitize: TSan, serial and acquisition tests"
cmake --preset tsan -DQUAV_WERROR=ON >/dev/null
cmake --build --preset tsan -j "$jobs" --target quav_serial_test quav_acquisition_test
TSAN_OPTIONS="$tsan_options" ctest --preset tsan -L "serial|threads"

echo "sanitize: TSan, the viewer with its poll worker"
cmake --build --preset tsan -j "$jobs" --target quav_app_test
# The tests that fork (the single-instance tests, the root start, the saves that a child
# process cuts short, the print rendered in a child) are left out: TSan cannot follow a
# threaded process across a fork.
QT_QPA_PLATFORM=offscreen QUAV_TEST_DATA="$PWD/tests/data" \
    TSAN_OPTIONS="$tsan_options" \
    build/tsan/tests/app/quav_app_test --gtest_brief=1 \
    --gtest_filter='-SingleInstance*:ViewerStart.NoWindow*:SaveText.AFailedSave*:FullDisk*:PrintPanel.APrintToPdf*'

echo "sanitize: all clean"
