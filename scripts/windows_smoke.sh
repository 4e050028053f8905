#!/bin/bash
# Smoke session of the Windows executable under wine, with a Linux build as the reference.
#
#   scripts/windows_smoke.sh [WINDOWS_BUILD_DIR] [LINUX_ENGINE]
#
# WINDOWS_BUILD_DIR (default build/windows) holds vellum.exe and the helpers pipe_host.exe and
# platform_check.exe; LINUX_ENGINE (default build/portable/vellum) is the reference. Both
# engines go through the same sessions: the UCI handshake with a log file, a search with
# "isready" and "stop" while it runs, a timed and a ponder search, input closed during a search,
# Syzygy probes of every position in the shared probe list, root probes, and -bench. The
# Windows engine reads from a Win32 pipe (through pipe_host.exe), as under a chess GUI. The
# tablebase answers and the bench node totals of the two builds must be equal.
#
# Every line sent and received is kept in WINDOWS_BUILD_DIR/smoke_transcript.txt. Exit code 0
# when every check passed.
set -uo pipefail
cd "$(dirname "$0")/.."

win_dir=${1:-build/windows}
linux_engine=${2:-build/portable/vellum}
shared=${VELLUM_SHARED_DIR:-../shared}
syzygy=$shared/testdata/syzygy
transcript=$win_dir/smoke_transcript.txt

for f in "$win_dir/vellum.exe" "$win_dir/pipe_host.exe" "$win_dir/platform_check.exe" "$linux_engine"; do
    [ -f "$f" ] || { echo "windows smoke: $f is missing"; exit 1; }
done
command -v wine >/dev/null || { echo "windows smoke: wine is not installed"; exit 1; }

# A private wine prefix, so that the session neither depends on nor changes the user's.
export WINEPREFIX=${WINEPREFIX:-$(realpath "$win_dir")/wineprefix}
export WINEDEBUG=-all
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
: >"$transcript"

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok   $1" | tee -a "$transcript"; }
fail() { failed=$((failed + 1)); echo "FAIL $1${FAILURE:+: $FAILURE}" | tee -a "$transcript"; }
note() { echo "$*" | tee -a "$transcript"; }

# Wine prints its own complaints (a missing 32-bit part, no display) on standard error;
# they are kept apart from the engine's.
wine_quiet() { wine "$@" 2>>"$scratch/wine_stderr"; }

# ---- one engine session at a time, as a coprocess ----------------------------------------
# start_engine LABEL COMMAND...: the engine's standard error goes to $scratch/LABEL.stderr.
start_engine() {
    local label=$1
    shift
    session=$label
    note "---- session $label: $*"
    coproc ENGINE { cd "$scratch" && exec "$@" 2>"$scratch/$label.stderr"; }
    engine_pid=$ENGINE_PID
    engine_in=${ENGINE[1]}
    engine_out=${ENGINE[0]}
}

send() {
    echo ">> $1" >>"$transcript"
    printf '%s\n' "$1" >&"$engine_in"
}

# expect PATTERN SECONDS [FORBIDDEN]: reads lines until one matches PATTERN (an extended
# regular expression); fails at the time limit, at the end of the output, or at a line that
# matches FORBIDDEN. Lines that match $collect_pattern are appended to $collect_file.
collect_pattern=''
collect_file=/dev/null
expect() {
    local pattern=$1 limit=$2 forbidden=${3:-} line left status
    local deadline=$((SECONDS + limit))
    FAILURE=''
    while :; do
        left=$((deadline - SECONDS))
        if [ $left -le 0 ]; then
            FAILURE="no line matching '$pattern' within $limit s"
            return 1
        fi
        IFS= read -r -t "$left" -u "$engine_out" line
        status=$?
        if [ $status -ne 0 ]; then
            [ $status -gt 128 ] && continue  # timed out: the deadline check above decides
            FAILURE="output ended before a line matching '$pattern'"
            return 1
        fi
        line=${line%$'\r'}
        echo "<< $line" >>"$transcript"
        if [ -n "$collect_pattern" ] && [[ $line =~ $collect_pattern ]]; then echo "$line" >>"$collect_file"; fi
        if [ -n "$forbidden" ] && [[ $line =~ $forbidden ]]; then
            FAILURE="unexpected line '$line'"
            return 1
        fi
        [[ $line =~ $pattern ]] && { matched=$line; return 0; }
    done
}

# close_input: closes the engine's standard input.
close_input() {
    echo ">> (input closed)" >>"$transcript"
    exec {engine_in}>&-
}

# finish SECONDS: waits for the engine to end, reading the rest of its output; sets $exit_code
# (-1 when it had to be killed).
finish() {
    local limit=$1 line
    local deadline=$((SECONDS + limit))
    while kill -0 "$engine_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
        if IFS= read -r -t 1 -u "$engine_out" line; then echo "<< ${line%$'\r'}" >>"$transcript"; fi
    done
    if kill -0 "$engine_pid" 2>/dev/null; then
        kill "$engine_pid" 2>/dev/null
        wait "$engine_pid" 2>/dev/null
        exit_code=-1
    else
        wait "$engine_pid" 2>/dev/null
        exit_code=$?
    fi
    [ -n "${engine_in:-}" ] && { exec {engine_in}>&- ; } 2>/dev/null
    note "---- session $session ended, exit code $exit_code"
    if [ -s "$scratch/$session.stderr" ]; then
        sed 's/^/stderr: /' "$scratch/$session.stderr" >>"$transcript"
    fi
}

# ---- the sessions, run for each build ------------------------------------------------------
# Engine command lines: $engine_cmd (an array) and $tb_dir (the tablebase directory as the
# engine names it).
bestmove_pattern='^bestmove [a-h][1-8][a-h][1-8][qrbn]?( ponder [a-h][1-8][a-h][1-8][qrbn]?)?$'

session_handshake() {
    local label=$1
    rm -f "$scratch/vellum.log"
    start_engine "$label-handshake" "${engine_cmd[@]}" -log
    send uci
    if expect '^id name Vellum 7\.00$' 20 && expect '^option name SyzygyPath type string default $' 5 &&
        expect '^uciok$' 5; then
        pass "$label: uci answers with its name, options and uciok"
    else fail "$label: uci handshake"; fi
    send isready
    if expect '^readyok$' 10; then pass "$label: isready"; else fail "$label: isready"; fi
    send quit
    finish 15
    [ "$exit_code" = 0 ] && pass "$label: quit ends the process with exit code 0" || fail "$label: quit (exit code $exit_code)"
    if grep -q '^CMD: isready' "$scratch/vellum.log" 2>/dev/null && grep -q '^uciok' "$scratch/vellum.log"; then
        pass "$label: -log writes vellum.log"
    else fail "$label: -log writes vellum.log"; fi
}

session_search() {
    local label=$1
    start_engine "$label-search" "${engine_cmd[@]}"
    send uci
    expect '^uciok$' 20
    send 'position startpos moves e2e4 e7e5'
    send 'go infinite'
    if expect '^info depth ([6-9]|[1-9][0-9]) ' 30 '^bestmove'; then pass "$label: go infinite searches"; else fail "$label: go infinite"; fi
    send isready
    if expect '^readyok$' 5 '^bestmove'; then pass "$label: isready is answered during the search"; else fail "$label: isready during a search"; fi
    send stop
    if expect "$bestmove_pattern" 5; then pass "$label: stop ends the search with a bestmove"; else fail "$label: stop"; fi
    send 'go movetime 500'
    local start=$SECONDS
    if expect "$bestmove_pattern" 10 && [ $((SECONDS - start)) -le 3 ]; then
        pass "$label: go movetime 500 answers in time"
    else fail "$label: go movetime 500"; fi
    send 'position startpos moves e2e4 e7e5 g1f3'
    send 'go ponder wtime 5000 btime 5000'
    if expect '^info depth ([4-9]|[1-9][0-9]) ' 30 '^bestmove'; then
        send ponderhit
        if expect "$bestmove_pattern" 10; then pass "$label: ponderhit turns a ponder search into a timed one"; else fail "$label: ponderhit"; fi
    else fail "$label: go ponder"; fi
    send 'go infinite'
    expect '^info depth ([4-9]|[1-9][0-9]) ' 30 '^bestmove'
    close_input
    finish 15
    [ "$exit_code" = 0 ] && pass "$label: closing the input during a search ends the process" ||
        fail "$label: input closed during a search (exit code $exit_code)"
}

# Writes the engine's answers for the probe list to $scratch/LABEL.probes and the root-probe
# lines and best moves to $scratch/LABEL.root.
session_tablebases() {
    local label=$1 fen
    start_engine "$label-tablebases" "${engine_cmd[@]}"
    send uci
    expect '^uciok$' 20
    send "setoption name SyzygyPath value $tb_dir"
    if expect '^info string Found 41 WDL, 0 DTM and 41 DTZ tablebase files' 20; then
        pass "$label: SyzygyPath finds every table"
    else fail "$label: SyzygyPath"; fi
    collect_pattern='^info string tb '
    collect_file=$scratch/$label.probes
    : >"$collect_file"
    local count=0
    while IFS=, read -r fen _; do
        [ "$fen" = fen ] && continue
        send "position fen $fen"
        send tbprobe
        count=$((count + 1))
        expect '^info string tb ' 10 || break
    done <"$syzygy/probes.csv"
    [ "$(wc -l <"$collect_file")" -eq "$count" ] && pass "$label: tbprobe answers all $count positions" ||
        fail "$label: tbprobe answered $(wc -l <"$collect_file") of $count positions"
    collect_pattern='^(info string TB result|bestmove)'
    collect_file=$scratch/$label.root
    : >"$collect_file"
    while IFS=, read -r fen _; do
        [ "$fen" = fen ] && continue
        send "position fen $fen"
        send 'go depth 4'
        expect '^bestmove' 20 || break
    done < <(head -21 "$syzygy/root.csv")
    collect_pattern=''
    collect_file=/dev/null
    close_input
    finish 15
    [ "$exit_code" = 0 ] && pass "$label: closing the input while idle ends the process" ||
        fail "$label: input closed while idle (exit code $exit_code)"
}

session_bench() {
    local label=$1
    note "---- $label: -bench"
    (cd "$scratch" && "${engine_cmd[@]}" -bench </dev/null 2>"$scratch/$label-bench.stderr") | tr -d '\r' >"$scratch/$label.bench"
    sed 's/^/<< /' "$scratch/$label.bench" >>"$transcript"
    bench_nodes=$(sed -n 's/^total time=.* nodes= \([0-9]*\),.*/\1/p' "$scratch/$label.bench")
    [ -n "$bench_nodes" ] && pass "$label: -bench reports $bench_nodes nodes" || fail "$label: -bench printed no node total"
}

run_build() {
    session_handshake "$1"
    session_search "$1"
    session_tablebases "$1"
    session_bench "$1"
}

started=$SECONDS
note "windows smoke: $(wine --version 2>/dev/null), prefix $WINEPREFIX"
wine_quiet wineboot --init >/dev/null 2>&1

note "---- platform checks of the Windows layer"
wine_quiet "$win_dir/platform_check.exe" "$(winepath -w "$scratch" 2>/dev/null)" </dev/null | tr -d '\r' | tee -a "$transcript" | grep -q ' 0 failed$' &&
    pass "windows: platform checks" || fail "windows: platform checks"

engine_cmd=(wine "$(realpath "$win_dir/pipe_host.exe")" "$(winepath -w "$(realpath "$win_dir/vellum.exe")" 2>/dev/null)")
tb_dir=$(winepath -w "$(realpath "$syzygy")" 2>/dev/null)
run_build windows
windows_nodes=$bench_nodes

engine_cmd=("$(realpath "$linux_engine")")
tb_dir=$(realpath "$syzygy")
run_build linux
linux_nodes=$bench_nodes

FAILURE=''
if cmp -s "$scratch/windows.probes" "$scratch/linux.probes"; then
    pass "tbprobe answers agree ($(wc -l <"$scratch/linux.probes") positions)"
else
    FAILURE=$(diff "$scratch/windows.probes" "$scratch/linux.probes" | head -5 | tr '\n' ' ')
    fail "tbprobe answers differ"
fi
if [ -s "$scratch/linux.root" ] && cmp -s "$scratch/windows.root" "$scratch/linux.root"; then
    pass "root probes and their best moves agree ($(grep -c '^bestmove' "$scratch/linux.root") positions)"
else
    FAILURE=$(diff "$scratch/windows.root" "$scratch/linux.root" | head -5 | tr '\n' ' ')
    fail "root probes differ"
fi
FAILURE="windows $windows_nodes, linux $linux_nodes"
[ -n "$windows_nodes" ] && [ "$windows_nodes" = "$linux_nodes" ] && pass "bench node totals agree ($linux_nodes)" ||
    fail "bench node totals differ"

wineserver -w 2>/dev/null
note "windows smoke: $passed passed, $failed failed in $((SECONDS - started)) s; transcript in $transcript"
[ $failed -eq 0 ]
