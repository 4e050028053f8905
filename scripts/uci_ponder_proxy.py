#!/usr/bin/env python3
"""Runs a UCI engine behind a proxy that ponders for it the way a GUI does, so that match
runners without pondering exercise "go ponder", "ponderhit" and "stop" during a ponder search.

Usage: uci_ponder_proxy.py LOG ENGINE [ARGS...]

After each "bestmove X ponder Y" the proxy sends the position with X and Y played and
"go ponder" with the clocks of the last "go". When the runner's next "go" comes for exactly that
position the proxy sends "ponderhit" and passes the search's answer on; otherwise it sends
"stop", swallows the ponder search's "bestmove" and then sends the runner's position and "go".
"isready" is passed on at once (the engine must answer it while pondering). Output of a ponder
search is not passed on before its "ponderhit".

LOG: the proxy appends one line per event and, at the end, a line
"ponder summary: started N hits N misses N violations N stalls N"; a violation is a "bestmove"
during a ponder search that nobody ended, a stall an ended ponder search whose "bestmove" did
not come within STOP_TIMEOUT seconds.
"""
import subprocess
import sys
import threading

STOP_TIMEOUT = 5.0


def position_with(position, moves):
    """The position command with the moves appended."""
    if " moves " in position or position.endswith(" moves"):
        return position.rstrip() + " " + " ".join(moves)
    return position.rstrip() + " moves " + " ".join(moves)


def normalized(position):
    return " ".join(position.split())


def main():
    log_path, engine = sys.argv[1], sys.argv[2:]
    proc = subprocess.Popen(engine, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
    log = open(log_path, "a", buffering=1)
    lock = threading.Lock()
    counts = {"started": 0, "hits": 0, "misses": 0, "violations": 0, "stalls": 0}
    # mode: "idle", "searching" (the runner waits for bestmove), "pondering", "discarding"
    state = {"mode": "idle", "ponder_position": "", "position": "", "go": "go", "ended": threading.Event()}

    def to_engine(text):
        try:
            proc.stdin.write(text + "\n")
            proc.stdin.flush()
        except (BrokenPipeError, OSError):
            pass

    def to_gui(text):
        sys.stdout.write(text + "\n")
        sys.stdout.flush()

    def start_ponder(best, ponder):
        state["ponder_position"] = position_with(state["position"], [best, ponder])
        go_args = [w for w in state["go"].split()[1:] if w not in ("ponder", "infinite")]
        to_engine(state["ponder_position"])
        to_engine("go ponder " + " ".join(go_args))
        state["mode"] = "pondering"
        counts["started"] += 1

    def engine_reader():
        for raw in proc.stdout:
            line = raw.rstrip("\n")
            words = line.split()
            with lock:
                mode = state["mode"]
                if words[:1] == ["readyok"] or mode in ("idle", "searching"):
                    to_gui(line)
                    if words[:1] == ["bestmove"] and mode == "searching":
                        state["mode"] = "idle"
                        if len(words) >= 4 and words[2] == "ponder" and state["position"]:
                            start_ponder(words[1], words[3])
                    continue
                if words[:1] != ["bestmove"]:
                    continue  # output of a ponder search nobody asked for yet
                if mode == "pondering":
                    counts["violations"] += 1
                    log.write("VIOLATION: %s during a ponder search before ponderhit or stop\n" % line)
                    state["mode"] = "idle"
                elif mode == "discarding":
                    state["mode"] = "idle"
                    state["ended"].set()
        sys.stdout.flush()

    def end_ponder_search():
        """Stops a running ponder search and waits for its bestmove (called with the lock held)."""
        if state["mode"] != "pondering":
            return
        state["ended"].clear()
        state["mode"] = "discarding"
        to_engine("stop")
        lock.release()
        ok = state["ended"].wait(STOP_TIMEOUT)
        lock.acquire()
        if not ok:
            counts["stalls"] += 1
            log.write("STALL: no bestmove within %.0f s of stop during a ponder search\n" % STOP_TIMEOUT)
            state["mode"] = "idle"

    reader = threading.Thread(target=engine_reader, daemon=True)
    reader.start()
    for raw in sys.stdin:
        line = raw.rstrip("\n")
        words = line.split()
        with lock:
            if words[:1] == ["position"]:
                state["position"] = line
                if state["mode"] == "pondering":
                    continue  # sent with the "go" unless the ponder move is hit
            elif words[:1] == ["go"]:
                state["go"] = line
                if state["mode"] == "pondering" and normalized(state["position"]) == normalized(state["ponder_position"]):
                    counts["hits"] += 1
                    state["mode"] = "searching"
                    to_engine("ponderhit")
                    continue
                if state["mode"] == "pondering":
                    counts["misses"] += 1
                    end_ponder_search()
                    to_engine(state["position"])
                state["mode"] = "searching"
            elif words[:1] == ["isready"]:
                pass
            elif words:
                end_ponder_search()
        to_engine(line)
        if words[:1] == ["quit"]:
            break
    log.write("ponder summary: started %(started)d hits %(hits)d misses %(misses)d violations %(violations)d "
              "stalls %(stalls)d\n" % counts)
    try:
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        proc.kill()
    reader.join(timeout=1)


if __name__ == "__main__":
    main()
