#!/bin/bash
# Builds training files for the network from game positions: the games' own positions with
# their search scores and results, and many positions a few random plies away from them, each
# labelled by a short search (depth 0 is its quiescence line) with the hand-crafted evaluation
# or, for a later generation, the engine's network.
#
#   scripts/distill_data.sh OUTDIR GAMES.pgn [GAMES2.pgn ...]
#
# Environment:
#   VELLUM   engine binary (default build/release/vellum)
#   EVAL     the labelling evaluation's switch: -use_hce (default; the first network's labels)
#            or -use_nn (the binary's network, embedded or named with "-net FILE")
#   NICE     niceness of every step (default 10)
#   PASSES   space-separated DEPTH:VARIATIONS:MAXPLIES passes (default "2:4:4"); each part of
#            a pass takes (part % MAXPLIES) + 1 random plies and VARIATIONS positions per line
#   PARTS    the shuffled game positions are split into this many parts (default 12)
#   PROCS    parts labelled at once (default 2)
#   SEED     (default 1)
#   QUIET    1: the game positions in mix.bin are only the quiet ones (-scan_quiet: no check,
#            no capture or promotion played), in OUTDIR/quiet.bin; the labelled positions
#            still start from every game position. Default 0.
# Writes OUTDIR/games.epd and games.bin (the game positions in game order), OUTDIR/parts/
# (the labelled parts, dD-NN.epd and .bin; a part already done is skipped, so a stopped run
# resumes), OUTDIR/distill.bin (all labelled parts) and OUTDIR/mix.bin (distill.bin, then
# games.bin or quiet.bin: the trainer keeps the end of its file, here the last games, for
# validation).
# Appends what it ran to OUTDIR/settings.txt. Then, for example:
#   vellum -train OUTDIR/mix.bin 500 0 -hidden 256 -epochs 10 -o net.nnue
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?output folder}
shift
[ $# -ge 1 ] || { echo "usage: $0 OUTDIR GAMES.pgn [...]" >&2; exit 2; }
engine=$(cd "$(dirname "${VELLUM:-$here/build/release/vellum}")" && pwd)/$(basename "${VELLUM:-vellum}")
[ -x "$engine" ] || { echo "no engine at $engine" >&2; exit 2; }
nice_level=${NICE:-10}
passes=${PASSES:-"2:4:4"}
parts=${PARTS:-12}
procs=${PROCS:-2}
seed=${SEED:-1}
eval_switch=${EVAL:--use_hce}
quiet=${QUIET:-0}
# shellcheck disable=SC2086
run() { nice -n "$nice_level" "$engine" $eval_switch "$@"; }

mkdir -p "$out/parts"
echo "$(date -u +%FT%TZ) $engine: games $* passes $passes parts $parts seed $seed eval $eval_switch quiet $quiet" >> "$out/settings.txt"
if [ ! -s "$out/games.bin" ]; then
    scans=()
    for pgn in "$@"; do
        scan="$out/scan-${#scans[@]}.epd"
        rm -f "$scan"
        run -scan_pgn "$pgn" -o "$scan" | tail -n 1
        scans+=("$scan")
    done
    cat "${scans[@]}" > "$out/games.epd"
    rm -f "${scans[@]}"
    run -epd2bin "$out/games.epd" | tail -n 2
    rm -f "$out"/parts/in-*.epd
fi
if [ "$quiet" = 1 ] && [ ! -s "$out/quiet.bin" ]; then
    scans=()
    for pgn in "$@"; do
        scan="$out/quiet-${#scans[@]}.epd"
        rm -f "$scan"
        run -scan_pgn "$pgn" -scan_quiet -o "$scan" | tail -n 1
        scans+=("$scan")
    done
    cat "${scans[@]}" > "$out/quiet.epd"
    rm -f "${scans[@]}"
    run -epd2bin "$out/quiet.epd" | tail -n 2
fi
if [ ! -s "$out/parts/in-00.epd" ]; then
    shuf --random-source=<(yes "$seed") "$out/games.epd" > "$out/parts/shuffled.tmp"
    split -n "l/$parts" -d -a 2 --additional-suffix=.epd "$out/parts/shuffled.tmp" "$out/parts/in-"
    rm -f "$out/parts/shuffled.tmp"
fi

# One part of one pass: arguments DEPTH VARIATIONS MAXPLIES PART.
label_part() {
    local depth=$1 variations=$2 max_plies=$3 n=$4
    local name="$out/parts/d$depth-$n"
    [ -e "$name.done" ] && return 0
    rm -f "$name.epd" "$name.bin"
    run -mktraindata "$out/parts/in-$n.epd" -o "$name.epd" -d "$depth" -random_plies $((10#$n % max_plies + 1)) \
        -variations "$variations" -seed $((seed * 1000 + depth * 100 + 10#$n)) | tail -n 1
    run -epd2bin "$name.epd" | tail -n 1
    [ -s "$name.bin" ] || { echo "part $name gave no records" >&2; return 1; }
    rm -f "$name.epd"
    date -u +%FT%TZ > "$name.done"
}
export -f label_part run
export out seed engine nice_level
for p in $passes; do
    IFS=: read -r depth variations max_plies <<< "$p"
    ls "$out"/parts/in-*.epd | sed 's/.*in-\([0-9]*\)\.epd/\1/' |
        xargs -P "$procs" -I{} bash -c "label_part $depth $variations $max_plies {}"
done
cat "$out"/parts/d*-*.bin > "$out/distill.bin"
game_records=$out/games.bin
[ "$quiet" = 1 ] && game_records=$out/quiet.bin
cat "$out/distill.bin" "$game_records" > "$out/mix.bin"
echo "$(date -u +%FT%TZ) distill.bin $(($(stat -c %s "$out/distill.bin") / 40)) records, mix.bin $(($(stat -c %s "$out/mix.bin") / 40))" >> "$out/settings.txt"
tail -n 1 "$out/settings.txt"
