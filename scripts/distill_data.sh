#!/bin/bash
# Builds training files for the network from game positions: the games' own positions with
# their results (for fine-tuning) and many positions a few random plies away from them, each
# labelled by the hand-crafted evaluation's quiescence line (-d 0), to distil that evaluation.
#
#   scripts/distill_data.sh OUTDIR GAMES.pgn [GAMES2.pgn ...]
#
# Environment: VELLUM (engine binary, default build/release/vellum), NICE (default 10),
# PASSES (random plies:variations pairs, default "1:3 2:4 4:4 7:3"), SEED (default 1).
# Writes OUTDIR/games.epd and games.bin (game positions, search scores and results),
# OUTDIR/distill.epd and distill.bin (labels from the hand-crafted evaluation alone) and
# appends what it ran to OUTDIR/settings.txt.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?output folder}
shift
[ $# -ge 1 ] || { echo "usage: $0 OUTDIR GAMES.pgn [...]" >&2; exit 2; }
engine=${VELLUM:-$here/build/release/vellum}
nice_level=${NICE:-10}
passes=${PASSES:-"1:3 2:4 4:4 7:3"}
seed=${SEED:-1}
run() { nice -n "$nice_level" "$engine" -use_hce "$@"; }

mkdir -p "$out"
echo "$(date -u +%FT%TZ) $engine: games $* passes $passes seed $seed" >> "$out/settings.txt"
rm -f "$out/games.epd" "$out/games.bin" "$out/distill.epd" "$out/distill.bin"
parts=()
for pgn in "$@"; do
    part="$out/scan-$(basename "$pgn").epd"
    rm -f "$part"
    run -scan_pgn "$pgn" -o "$part" | tail -n 1
    parts+=("$part")
done
cat "${parts[@]}" > "$out/games.epd"
rm -f "${parts[@]}"
for p in $passes; do
    plies=${p%%:*}
    variations=${p##*:}
    rm -f "$out/d-$plies.epd"
    run -mktraindata "$out/games.epd" -o "$out/d-$plies.epd" -d 0 -random_plies "$plies" \
        -variations "$variations" -seed "$((seed + plies))" | tail -n 1
done
cat "$out"/d-*.epd > "$out/distill.epd"
rm -f "$out"/d-*.epd
run -epd2bin "$out/games.epd" | tail -n 2
run -epd2bin "$out/distill.epd" | tail -n 2
