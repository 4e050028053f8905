#!/bin/bash
# Soak test: plays matches of the engine against Debian's engines with a tournament manager and
# reports time losses, illegal moves, crashes and disconnects, stalls and protocol warnings per
# engine, plus the score and Elo of each match (scripts/soak_report.py reads the logs).
#
# Usage: scripts/soak.sh [options]
#   --engine PATH         engine to test (default build/release/vellum; an ASan build works too)
#   --runner NAME         fastchess (default) or match (../shared/tools/match)
#   --opponents LIST      comma-separated: stockfish, ethereal, toga2, glaurung (default all four)
#   --games N             games per opponent (default 20, rounded up to pairs)
#   --tc TC               time control, e.g. 1+0.01 (default) or 10+0.1
#   --threads N           the engine's Threads (default 1)
#   --ponder              the engine ponders behind scripts/uci_ponder_proxy.py (neither runner
#                         ponders itself); Ponder is set to true
#   --chess960            Chess960 openings from ../shared/testdata/openings/chess960-2ply.epd
#                         (opponents without Chess960 are left out)
#   --syzygy PATH         the engine's SyzygyPath
#   --hash MB             the engine's Hash (default 16)
#   --concurrency N       games at a time (default 2)
#   --out DIR             logs and PGN (default soak-<date>)
#   --adjudicate          ends games early for strength runs: resign when both sides agree on
#                         10 pawns for 4 moves, draw after move 40 when both stay within 0.10 for
#                         8 moves (soak runs play every game out by default)
# Tools: FASTCHESS (default: fastchess on PATH, ~/fastchess/fastchess, ~/tools/fastchess/fastchess),
# MATCH_DIR (default ../shared/tools/match, or a copy in ~/tools/match with node_modules).
# Exit status 1 when any failure of the engine under test was found.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shared=$(cd "$root/.." && pwd)/shared

engine="$root/build/release/vellum"
runner=fastchess
opponents=stockfish,ethereal,toga2,glaurung
games=20
tc=1+0.01
threads=1
ponder=0
chess960=0
syzygy=""
hash=16
concurrency=2
out="soak-$(date +%Y%m%d-%H%M%S)"
adjudicate=0
# --adjudicate's rules, in the key=value words both runners take.
resign_rule=(movecount=4 score=1000 twosided=true)
draw_rule=(movenumber=40 movecount=8 score=10)

while [ $# -gt 0 ]; do
    case "$1" in
        --engine) engine=$2; shift 2 ;;
        --runner) runner=$2; shift 2 ;;
        --opponents) opponents=$2; shift 2 ;;
        --games) games=$2; shift 2 ;;
        --tc) tc=$2; shift 2 ;;
        --threads) threads=$2; shift 2 ;;
        --ponder) ponder=1; shift ;;
        --chess960) chess960=1; shift ;;
        --syzygy) syzygy=$2; shift 2 ;;
        --hash) hash=$2; shift 2 ;;
        --concurrency) concurrency=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        --adjudicate) adjudicate=1; shift ;;
        -h|--help) sed -n '2,26p' "$0"; exit 0 ;;
        *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done
engine=$(cd "$(dirname "$engine")" && pwd)/$(basename "$engine")
[ -x "$engine" ] || { echo "no engine at $engine" >&2; exit 2; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
pairs=$(( (games + 1) / 2 ))

# The command and UCI options of an opponent, one word per line: the command first.
opponent_words() {
    case "$1" in
        stockfish) printf '%s\n' /usr/games/stockfish option.Threads=1 option.Hash=16 ;;
        ethereal) printf '%s\n' /usr/games/ethereal-chess option.Threads=1 option.Hash=16 ;;
        toga2) printf '%s\n' /usr/games/toga2 "option.Number of Threads=1" option.Hash=16 option.OwnBook=false ;;
        glaurung) printf '%s\n' /usr/games/glaurung option.Threads=1 option.Hash=16 option.OwnBook=false option.Ponder=false ;;
        *) echo "unknown opponent $1" >&2; return 1 ;;
    esac
}
supports_chess960() { [ "$1" != toga2 ]; }

if [ "$chess960" = 1 ]; then
    openings="$shared/testdata/openings/chess960-2ply.epd"
else
    openings="$shared/testdata/openings/standard-8ply.epd"
fi

# The engine under test, behind the ponder proxy when asked.
engine_cmd=("$engine")
if [ "$ponder" = 1 ]; then
    engine_cmd=(python3 "$root/scripts/uci_ponder_proxy.py" "$out/ponder.log" "$engine")
fi
engine_options=(option.Hash="$hash" option.Threads="$threads" option.Ponder="$([ "$ponder" = 1 ] && echo true || echo false)")
[ -n "$syzygy" ] && engine_options+=(option.SyzygyPath="$syzygy")

find_fastchess() {
    for f in "${FASTCHESS:-}" "$(command -v fastchess || true)" "$HOME/fastchess/fastchess" "$HOME/tools/fastchess/fastchess"; do
        [ -n "$f" ] && [ -x "$f" ] && { echo "$f"; return 0; }
    done
    echo "fastchess not found: build it (make -j2 in ../shared/tools/fastchess or a copy) or set FASTCHESS" >&2
    return 1
}
find_match() {
    for d in "${MATCH_DIR:-}" "$shared/tools/match" "$HOME/tools/match"; do
        [ -n "$d" ] && [ -d "$d/node_modules/chessops" ] && { echo "$d"; return 0; }
    done
    echo "the match runner needs 'npm ci' in ../shared/tools/match (or a copy named by MATCH_DIR)" >&2
    return 1
}

# fastchess runs the engine command as one word plus args="..."; the proxy needs a wrapper.
wrapper="$out/vellum-under-test.sh"
{
    echo '#!/bin/sh'
    printf 'exec'
    printf ' %q' "${engine_cmd[@]}"
    printf ' "$@"\n'
} > "$wrapper"
chmod +x "$wrapper"

IFS=, read -r -a opponent_list <<< "$opponents"
for opp in "${opponent_list[@]}"; do
    if [ "$chess960" = 1 ] && ! supports_chess960 "$opp"; then
        echo "skipping $opp: no Chess960"
        continue
    fi
    mapfile -t words < <(opponent_words "$opp")
    [ -x "${words[0]}" ] || { echo "skipping $opp: ${words[0]} is not installed"; continue; }
    tag="$runner-$opp"
    echo "== $tag: $((2 * pairs)) games at $tc, Threads $threads, Ponder $ponder, Chess960 $chess960, SyzygyPath '${syzygy}'"
    if [ "$runner" = fastchess ]; then
        fc=$(find_fastchess)
        fc_flags=()
        [ "$chess960" = 1 ] && fc_flags=(-variant fischerandom)
        [ "$adjudicate" = 1 ] && fc_flags+=(-resign "${resign_rule[@]}" -draw "${draw_rule[@]}")
        opp_options=()
        for w in "${words[@]:1}"; do opp_options+=("$w"); done
        # fastchess keeps its tournament state (config.json) in its working folder.
        (cd "$out" && "$fc" -engine cmd="$wrapper" name=vellum "${engine_options[@]}" \
            -engine cmd="${words[0]}" name="$opp" "${opp_options[@]}" \
            -each tc="$tc" proto=uci "${fc_flags[@]}" \
            -openings file="$openings" format=epd order=random -srand "$RANDOM" \
            -rounds "$pairs" -games 2 -repeat -concurrency "$concurrency" -recover \
            -ratinginterval 0 -pgnout file="$out/$tag.pgn" \
            -log file="$out/$tag.log" level=warn append=false \
            > "$out/$tag.out" 2>&1) || echo "fastchess ended with status $?" >> "$out/$tag.out"
    else
        md=$(find_match)
        flags=()
        [ "$chess960" = 1 ] && flags=(--chess960)
        [ "$adjudicate" = 1 ] && flags+=(--resign "${resign_rule[@]}" --draw "${draw_rule[@]}")
        node "$md/bin/match.mjs" --engine name=vellum cmd="$wrapper" "${engine_options[@]}" \
            --engine name="$opp" cmd="${words[0]}" "${words[@]:1}" \
            --each tc="$tc" "${flags[@]}" --games "$((2 * pairs))" --concurrency "$concurrency" \
            --openings "$openings" --order random --seed "$RANDOM" \
            --pgn "$out/$tag.pgn" --json "$out/$tag.json" \
            > "$out/$tag.out" 2>&1 || echo "match ended with status $?" >> "$out/$tag.out"
    fi
done

python3 "$root/scripts/soak_report.py" "$out"
