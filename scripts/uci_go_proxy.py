#!/usr/bin/env python3
"""Runs a UCI engine behind a proxy that rewrites the "go" commands of a match, so that match
runners, which only send clocks, exercise "go searchmoves" and "go mate".

Usage: uci_go_proxy.py MODE LOG ENGINE [ARGS...]
  MODE searchmoves: every "go" gets "searchmoves" with every other legal move of the position
       (the engine's own "go perft 1" lists them; that output is not passed on).
  MODE mate=FILE: FILE is an EPD file whose lines carry "dm N;" (a mate in N); a "go" in one of
       those positions (set up without moves) becomes "go mate N ...", any other "go" is passed
       on as it is. scripts/mates-2-5.epd holds eight mates in 2 to 5 moves from Win at Chess
       (the counts are Stockfish 15.1's at depth 14); it has no comment lines, since not every
       match runner accepts them in an opening file.
  LOG: the proxy appends a line per rewritten "go" and per check it makes: whether the answer
       is one of the moves allowed, and whether "go mate N" answered with a mate score.
Everything else passes through unchanged in both directions.
"""
import subprocess
import sys
import threading


def main():
    mode, log_path, engine = sys.argv[1], sys.argv[2], sys.argv[3:]
    mates = {}
    if mode.startswith("mate="):
        for line in open(mode[5:]):
            fields = line.split()
            if len(fields) > 5 and not line.startswith("#") and "dm" in fields:
                mates[" ".join(fields[:4])] = int(fields[fields.index("dm") + 1].rstrip(";"))
        mode = "mate"
    proc = subprocess.Popen(engine, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
    log = open(log_path, "a", buffering=1)
    lock = threading.Lock()
    state = {"query": None, "allowed": None, "mate": 0, "last_score": ""}

    def to_engine(text):
        proc.stdin.write(text + "\n")
        proc.stdin.flush()

    def to_gui(text):
        sys.stdout.write(text + "\n")
        sys.stdout.flush()

    def engine_reader():
        for raw in proc.stdout:
            line = raw.rstrip("\n")
            with lock:
                q = state["query"]
                if q is not None:
                    # Inside the answer to "go perft 1": "move: 1" lines, a blank line, the total,
                    # and one more blank line.
                    if line.startswith("Nodes searched"):
                        q["total_seen"] = True
                    elif q.get("total_seen") and line == "":
                        state["query"] = None
                        q["done"].set()
                    elif ": " in line and not line.startswith("info"):
                        q["moves"].append(line.split(":")[0])
                    continue
                if line.startswith("info") and " score " in line and " multipv " not in line or \
                        line.startswith("info multipv 1 "):
                    state["last_score"] = line.split(" score ")[1].split(" ")[0:2]
                if line.startswith("bestmove"):
                    best = line.split()[1]
                    if state["allowed"] is not None:
                        ok = best in state["allowed"]
                        log.write("searchmoves %s: bestmove %s\n" % ("ok" if ok else "VIOLATION", best))
                        state["allowed"] = None
                    if state["mate"]:
                        score = " ".join(state["last_score"])
                        ok = score.startswith("mate ") and 0 < int(score.split()[1]) <= state["mate"]
                        log.write("go mate %d: %s, last score %s, bestmove %s\n" %
                                  (state["mate"], "proven" if ok else "NOT PROVEN", score, best))
                        state["mate"] = 0
            to_gui(line)
        sys.stdout.flush()

    reader = threading.Thread(target=engine_reader, daemon=True)
    reader.start()
    position = ""
    for raw in sys.stdin:
        line = raw.rstrip("\n")
        words = line.split()
        if words and words[0] == "position":
            position = line
        if words and words[0] == "go" and "perft" not in words:
            if mode == "searchmoves":
                q = {"moves": [], "done": threading.Event()}
                with lock:
                    state["query"] = q
                to_engine("go perft 1")
                q["done"].wait(10)
                allowed = q["moves"][::2]
                if allowed:
                    with lock:
                        state["allowed"] = set(allowed)
                    line = line + " searchmoves " + " ".join(allowed)
                    log.write("go with searchmoves %s (of %d legal)\n" % (" ".join(allowed), len(q["moves"])))
            elif mode == "mate" and " moves " not in position and " fen " in position:
                fen = " ".join(position.split(" fen ", 1)[1].split()[:4])
                if fen in mates:
                    with lock:
                        state["mate"] = mates[fen]
                    line = "go mate %d %s" % (mates[fen], " ".join(words[1:]))
                    log.write("%s  [%s]\n" % (line, fen))
        to_engine(line)
        if words and words[0] == "quit":
            break
    try:
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        proc.kill()
    reader.join(timeout=1)


if __name__ == "__main__":
    main()
