#!/bin/bash
# Generates training data by self-play: one generator per process (default: one per core), each
# with its own seed, then chains -scan_pgn and -epd2bin into one training file.
#
#   scripts/selfplay_data.sh OUTDIR GAMES_PER_PROCESS [PROCESSES] [NODES] [SEED_BASE]
#
# Environment: VELLUM (engine binary, default build/release/vellum), OPENINGS (EPD start
# positions, default ../shared/training/openings-30k.epd when present), RANDOM_PLIES (random
# plies after the opening line, default 2 with openings; with no openings file the generator
# plays 8 or 9 from the standard start), TBPATH (Syzygy tables for adjudication, default
# ../shared/testdata/syzygy when present), NICE (default 19), EXTRA (more engine switches,
# e.g. "-use_hce" or "-cfg net.cfg").
# Writes OUTDIR/games-<seed>.pgn per process, OUTDIR/all.pgn, all.epd, all.bin and records the
# settings of the run in OUTDIR/settings.txt.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?output folder}
games=${2:?games per process}
procs=${3:-$(nproc)}
nodes=${4:-5000}
seed_base=${5:-1}
engine=${VELLUM:-$here/build/release/vellum}
openings=${OPENINGS-}
[ -z "$openings" ] && [ -f "$here/../shared/training/openings-30k.epd" ] && openings=$here/../shared/training/openings-30k.epd
tbpath=${TBPATH-}
[ -z "$tbpath" ] && [ -d "$here/../shared/testdata/syzygy" ] && tbpath=$here/../shared/testdata/syzygy
nice_level=${NICE:-19}
extra=${EXTRA:-}

mkdir -p "$out"
args=(-n "$nodes")
[ -n "$openings" ] && args+=(-openings "$openings" -random_plies "${RANDOM_PLIES:-2}")
[ -z "$openings" ] && [ -n "${RANDOM_PLIES:-}" ] && args+=(-random_plies "$RANDOM_PLIES")
[ -n "$tbpath" ] && args+=(-tbpath "$tbpath")
# shellcheck disable=SC2206
[ -n "$extra" ] && args+=($extra)

{
    echo "date: $(date -u +%Y-%m-%dT%H:%M:%SZ)"
    echo "engine: $engine ($(cd "$here" && git rev-parse --short HEAD 2>/dev/null || echo unknown))"
    echo "processes: $procs, games per process: $games, nodes per move: $nodes, seeds from $seed_base"
    echo "switches: ${args[*]}"
} >> "$out/settings.txt"

pids=()
for ((i = 0; i < procs; i++)); do
    seed=$((seed_base + i))
    nice -n "$nice_level" "$engine" -selfplay "$games" "$out/games-$seed.pgn" -seed "$seed" "${args[@]}" \
        > "$out/selfplay-$seed.log" 2>&1 &
    pids+=($!)
done
for p in "${pids[@]}"; do wait "$p"; done

cat "$out"/games-*.pgn > "$out/all.pgn"
rm -f "$out/all.epd" "$out/all.bin"
"$engine" -scan_pgn "$out/all.pgn" -o "$out/all.epd" > "$out/scan.log"
"$engine" -epd2bin "$out/all.epd" > "$out/epd2bin.log"
tail -n 3 "$out/scan.log" "$out/epd2bin.log"
