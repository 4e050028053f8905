#!/usr/bin/env python3
"""Times "go perft N" of one or more UCI engines on the same positions.

Usage: perft_speed.py ENGINE [ENGINE...]
Prints nodes, seconds and nodes per second for perft 6 from the start position and perft 5
from Kiwipete, for each engine in turn.
"""
import subprocess
import sys
import time

POSITIONS = [
    ("startpos", 6),
    ("fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 5),
]


def perft(engine, position, depth):
    proc = subprocess.Popen([engine], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
    proc.stdin.write("uci\nisready\nposition %s\n" % position)
    proc.stdin.flush()
    for line in proc.stdout:
        if line.strip() == "readyok":
            break
    start = time.monotonic()
    proc.stdin.write("go perft %d\n" % depth)
    proc.stdin.flush()
    nodes = None
    for line in proc.stdout:
        if line.startswith("Nodes searched"):
            nodes = int(line.split(":")[1])
            break
    elapsed = time.monotonic() - start
    proc.stdin.write("quit\n")
    proc.stdin.flush()
    proc.wait(timeout=10)
    return nodes, elapsed


def main():
    for engine in sys.argv[1:]:
        for position, depth in POSITIONS:
            nodes, elapsed = perft(engine, position, depth)
            name = position if position == "startpos" else "kiwipete"
            print("%-28s %-9s d%d %11d nodes %7.3f s %12.0f nps" % (engine.split("/")[-1], name, depth, nodes, elapsed, nodes / elapsed))


if __name__ == "__main__":
    main()
