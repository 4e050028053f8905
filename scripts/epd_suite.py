#!/usr/bin/env python3
"""Runs a test suite through a UCI engine and counts the solved positions.

Usage: epd_suite.py ENGINE ANSWERS_CSV MOVETIME_MS [OPTION=VALUE ...]
ANSWERS_CSV has the columns id, fen, bm_uci and am_uci (moves in coordinate notation,
separated by spaces); a position is solved when the engine's move is one of bm_uci, or,
when there is none, is not one of am_uci.
"""
import csv
import subprocess
import sys


def main():
    engine, answers, movetime = sys.argv[1], sys.argv[2], int(sys.argv[3])
    rows = list(csv.DictReader(open(answers)))
    proc = subprocess.Popen([engine], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)

    def send(text):
        proc.stdin.write(text + "\n")
        proc.stdin.flush()

    def wait(prefix):
        for line in proc.stdout:
            if line.startswith(prefix):
                return line.strip()
        return ""

    send("uci")
    wait("uciok")
    for option in sys.argv[4:]:
        name, value = option.split("=", 1)
        send("setoption name %s value %s" % (name, value))
    solved = 0
    failed = []
    for row in rows:
        send("ucinewgame")
        send("position fen %s 0 1" % row["fen"])
        send("go movetime %d" % movetime)
        words = wait("bestmove").split()
        move = words[1] if len(words) > 1 else ""
        good = row["bm_uci"].split()
        bad = row["am_uci"].split()
        ok = move in good if good else (move not in bad)
        solved += ok
        if not ok:
            failed.append(row["id"])
    send("quit")
    proc.wait(timeout=10)
    print("solved %d / %d at %d ms" % (solved, len(rows), movetime))
    print("failed: " + " ".join(failed))


if __name__ == "__main__":
    main()
