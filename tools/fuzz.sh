#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz, clang) and runs each one briefly over its
# corpus in tests/fuzz/corpus/<target>. Exits non-zero when a target finds anything.
#
#   tools/fuzz.sh [seconds per target]     (default 5)
#
# New inputs go to a scratch corpus under build/fuzz/work, never into the committed one;
# a crashing input is kept in build/fuzz/artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-5}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "fuzz: seconds must be a positive number, not '$seconds'" >&2
    exit 2
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

bin=build/fuzz/tests/fuzz
failed=()
for corpus in tests/fuzz/corpus/*/; do
    target="$(basename "$corpus")"
    exe="$bin/quav_fuzz_$target"
    if [ ! -x "$exe" ]; then
        echo "fuzz: no target for the corpus $corpus" >&2
        failed+=("$target")
        continue
    fi
    work="build/fuzz/work/$target"
    artifacts="build/fuzz/artifacts/$target"
    mkdir -p "$work" "$artifacts"
    echo "fuzz: $target for ${seconds}s"
    if ! nice -n 19 "$exe" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$work" "$corpus" >"build/fuzz/$target.log" 2>&1; then
        echo "fuzz: $target FAILED, see build/fuzz/$target.log and $artifacts/" >&2
        tail -n 40 "build/fuzz/$target.log" >&2
        failed+=("$target")
        continue
    fi
    grep -E '^stat::number_of_executed_units|^#[0-9]+ +DONE' "build/fuzz/$target.log" | sed 's/^/    /' || true
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: findings in ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: no findings"
