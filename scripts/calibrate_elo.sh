#!/bin/sh
# Measures what the strength limit really plays like: the engine with UCI_LimitStrength on and
# UCI_Elo = L plays Debian's Stockfish at the same UCI_Elo (its levels are calibrated against
# rating lists), one game at a time, for each requested level L.
#
# Usage: scripts/calibrate_elo.sh ENGINE TAG [LEVEL...]      (levels default to 1600 2000 2400)
# Environment:
#   GAMES (100)  TC (10+0.1)  OUT (/root/calibration)  SEED (1)
#   MATCH (../shared/tools/match, relative to the repository root)
#   OPENINGS (../shared/testdata/openings/standard-8ply.epd)
#   NPS: when set, the engine plays at this fixed speed (-nps) instead of UCI_Elo = L, for
#        exploring the speed-to-rating curve; the opponent still plays at level L.
# For each level it writes OUT/TAG-L.pgn, OUT/TAG-L.json and OUT/TAG-L.log, and appends a line
# to OUT/TAG-summary.txt: the requested rating, the measured rating (the level plus the Elo
# difference against Stockfish at that level) with its 95% interval, the pair-based figures and
# W-D-L. Infinite bounds (a score of 0 or 1) are written as -inf / +inf.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
engine=$1
tag=$2
shift 2
levels=${*:-"1600 2000 2400"}
games=${GAMES:-100}
tc=${TC:-10+0.1}
out=${OUT:-/root/calibration}
seed=${SEED:-1}
match=${MATCH:-$root/../shared/tools/match}
openings=${OPENINGS:-$root/../shared/testdata/openings/standard-8ply.epd}
stockfish=${STOCKFISH:-/usr/games/stockfish}
mkdir -p "$out"
summary="$out/$tag-summary.txt"
[ -f "$summary" ] || echo "# requested measured low high | pair-based measured low high | W D L | engine nps, depth" >"$summary"

for level in $levels; do
    base="$out/$tag-$level"
    if [ -n "${NPS:-}" ]; then
        strength="arg=-nps arg=$NPS"
        name="vellum-nps$NPS"
    else
        strength="option.UCI_LimitStrength=true option.UCI_Elo=$level"
        name="vellum-$level"
    fi
    # shellcheck disable=SC2086
    node "$match/bin/match.mjs" \
        --engine name="$name" cmd="$engine" option.Hash=16 option.Threads=1 option.Ponder=false \
        option.MoveOverhead=100 $strength \
        --engine name="sf-$level" cmd="$stockfish" option.Hash=16 option.Threads=1 \
        option.UCI_LimitStrength=true option.UCI_Elo="$level" "option.Move Overhead=100" \
        --each tc="$tc" --games "$games" --concurrency 1 \
        --openings "$openings" --order random --seed "$seed" \
        --resign movecount=4 score=1000 twosided=true --draw movenumber=40 movecount=8 score=10 \
        --pgn "$base.pgn" --json "$base.json" >"$base.log" 2>&1
    node -e '
        const fs = require("fs");
        const [file, level] = [process.argv[1], Number(process.argv[2])];
        const s = JSON.parse(fs.readFileSync(file, "utf8")).summary;
        const f = (x, inf) => (x === null || x === undefined || !Number.isFinite(x) ? inf : (level + x).toFixed(0));
        const p = s.pentanomialElo || {};
        const e = s.perEngine[0];
        console.log([level, f(s.elo, s.score >= 0.5 ? "+inf" : "-inf"), f(s.eloLow, "-inf"), f(s.eloHigh, "+inf"), "|",
            f(p.elo, "?"), f(p.eloLow, "-inf"), f(p.eloHigh, "+inf"), "|", s.wins, s.draws, s.losses, "|",
            (e.avgNps || 0).toFixed(0), (e.avgDepth || 0).toFixed(1)].join(" "));
    ' "$base.json" "$level" >>"$summary"
done
