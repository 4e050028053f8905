#!/bin/sh
# Runs the engine's benchmark. Until the search is built in, the benchmark is move generation:
# perft 6 from the start position and perft 5 from a tactical middlegame, through the UCI
# "go perft" command, with the elapsed time of each.
set -e
engine=${1:-build/release/vellum}
run_perft() {
    start=$(date +%s.%N)
    printf 'position %s\ngo perft %s\nquit\n' "$1" "$2" | "$engine" | grep '^Nodes searched'
    end=$(date +%s.%N)
    echo "$1, depth $2: $(echo "$end - $start" | bc) s"
}
run_perft "startpos" 6
run_perft "fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1" 5
