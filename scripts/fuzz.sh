#!/bin/bash
# Runs fuzz targets of the fuzz build (make fuzz) for a while each, with the seed corpus and the
# inputs of fixed findings, growing a working corpus in build/fuzz/corpus/<target>. Inputs that
# fail are kept as build/fuzz/findings/<target>-crash-*; fixed ones belong in
# tests/fuzz/regressions/<target>/.
#
# Usage: scripts/fuzz.sh SECONDS [TARGET...]   (all targets when none is named)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: fuzz.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fen_epd uci_lines config_file pgn polyglot_book network_file syzygy_table)
bin="$root/build/fuzz/tests/fuzz"
mkdir -p "$root/build/fuzz/findings"
status=0
for t in "${targets[@]}"; do
    [ -x "$bin/fuzz_$t" ] || { echo "no $bin/fuzz_$t: run make fuzz" >&2; exit 2; }
    options=$(sed -n "s/^ *\"$t|\(.*\)\"\$/\1/p; s/^ *\"$t|\(.*\)\")\$/\1/p" "$root/tests/fuzz/CMakeLists.txt")
    work="$root/build/fuzz/corpus/$t"
    mkdir -p "$work"
    log="$root/build/fuzz/findings/$t.log"
    # shellcheck disable=SC2086
    if nice -n 15 "$bin/fuzz_$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 $options \
        -print_final_stats=1 -artifact_prefix="$root/build/fuzz/findings/$t-" \
        "$work" "$root/tests/fuzz/corpus/$t" "$root/tests/fuzz/regressions/$t" > "$log" 2>&1; then
        result="no finding"
    else
        result="FINDING (see $log)"
        status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "$t: ${runs:-?} executions in $seconds s, $result"
done
exit $status
