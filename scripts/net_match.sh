#!/bin/bash
# Plays one engine binary against itself with two evaluations, for comparing networks:
#
#   scripts/net_match.sh OUTDIR EVAL_A EVAL_B ROUNDS LIMIT [CONCURRENCY]
#
# EVAL is a network file (set through NN_File) or "hce" (Use_NN_eval false). LIMIT is a time
# control such as 5+0.05 or a node limit such as nodes=5000. Each round plays one opening of
# ../shared/testdata/openings/standard-8ply.epd twice with colours reversed; Hash 16, Threads 1,
# and the adjudication of scripts/soak.sh --adjudicate. Writes OUTDIR/games.pgn, OUTDIR/log.txt
# and OUTDIR/out.txt (fastchess's running results).
# Environment: VELLUM (default build/release/vellum), FASTCHESS (default fastchess on PATH or
# ~/fastchess/fastchess).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shared=$(cd "$root/.." && pwd)/shared
[ $# -ge 5 ] || { sed -n '2,12p' "$0" >&2; exit 2; }
out=$1 eval_a=$2 eval_b=$3 rounds=$4 limit=$5 concurrency=${6:-2}
engine=${VELLUM:-$root/build/release/vellum}
fastchess=${FASTCHESS:-$(command -v fastchess || echo "$HOME/fastchess/fastchess")}
[ -x "$engine" ] || { echo "no engine at $engine" >&2; exit 2; }
[ -x "$fastchess" ] || { echo "no fastchess at $fastchess" >&2; exit 2; }
eval_option() { if [ "$1" = hce ]; then echo "option.Use_NN_eval=false"; else echo "option.NN_File=$1"; fi; }
if [[ $limit == nodes=* ]]; then limits=(tc=inf "$limit"); else limits=("tc=$limit"); fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
absolute() { if [ -e "$1" ]; then realpath "$1"; else echo "$1"; fi; }
eval_a=$(absolute "$eval_a") eval_b=$(absolute "$eval_b")
# fastchess leaves its config.json in the folder it runs in.
cd "$out"
"$fastchess" -engine cmd="$engine" name=A "$(eval_option "$eval_a")" \
    -engine cmd="$engine" name=B "$(eval_option "$eval_b")" \
    -each "${limits[@]}" option.Hash=16 option.Threads=1 \
    -rounds "$rounds" -games 2 -repeat -concurrency "$concurrency" \
    -openings file="$shared/testdata/openings/standard-8ply.epd" format=epd order=random \
    -resign movecount=4 score=1000 twosided=true -draw movenumber=40 movecount=8 score=10 \
    -pgnout file="$out/games.pgn" -log file="$out/log.txt" level=warn > "$out/out.txt" 2>&1
grep -A4 '^Results of' "$out/out.txt" | tail -n 5
