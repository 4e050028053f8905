#!/usr/bin/env python3
"""Reads the logs of scripts/soak.sh in a folder and reports, per match and in total, the
failures of each engine (time losses, illegal moves, crashes and disconnects, stalls, protocol
warnings), the score and Elo of "vellum", and the ponder proxy's counts.

Usage: soak_report.py DIR   (exit status 1 when vellum had any failure)

fastchess: the "Finished game N (White vs Black): R {reason}" lines of <tag>.out and the
"Warning;" lines of <tag>.out and <tag>.log. match: the games of <tag>.json.
"""
import glob
import json
import math
import os
import re
import sys

ENGINE = "vellum"
KINDS = ["time", "illegal", "crash", "stall", "protocol"]
FINISHED = re.compile(r"Finished game \d+ \((.+) vs (.+)\): (1-0|0-1|1/2-1/2|\*) \{(.*)\}")


def new_tally():
    return {"games": 0, "w": 0, "d": 0, "l": 0, "fail": {}, "ends": {}}


def fail(tally, engine, kind):
    tally["fail"].setdefault(engine, dict.fromkeys(KINDS, 0))[kind] += 1


def score(tally, white, black, result):
    tally["games"] += 1
    if ENGINE not in (white, black) or result == "*":
        return
    if result == "1/2-1/2":
        tally["d"] += 1
    elif (result == "1-0") == (white == ENGINE):
        tally["w"] += 1
    else:
        tally["l"] += 1


def fastchess_reason_kind(reason):
    r = reason.lower()
    if "on time" in r:
        return "time"
    if "illegal move" in r:
        return "illegal"
    if "disconnect" in r or "crash" in r:
        return "crash"
    if "stall" in r:
        return "stall"
    return None


def read_fastchess(path, tally):
    names = set()
    for line in open(path, errors="replace"):
        m = FINISHED.search(line)
        if not m:
            continue
        white, black, result, reason = m.groups()
        names.update((white, black))
        score(tally, white, black, result)
        tally["ends"][reason] = tally["ends"].get(reason, 0) + 1
        kind = fastchess_reason_kind(reason)
        if kind:
            loser = white if reason.startswith("White") else black
            fail(tally, loser, kind)
    logs = [path, path[:-4] + ".log"]
    for log in logs:
        if not os.path.exists(log):
            continue
        for line in open(log, errors="replace"):
            if "Warning;" not in line:
                continue
            # "doesn't have option" lines are set-up notes about the opponents' options.
            if "doesn't have option" in line:
                continue
            who = [n for n in names if n in line] or ["?"]
            fail(tally, who[0], "protocol")


def read_match(path, tally):
    data = json.load(open(path))
    kinds = {"time": "time", "illegal": "illegal", "malformed": "illegal", "crash": "crash", "stall": "stall",
             "protocol": "protocol"}
    for g in data.get("games", []):
        white, black, result = g["white"], g["black"], g["result"]
        score(tally, white, black, result)
        tally["ends"][g["reason"]] = tally["ends"].get(g["reason"], 0) + 1
        if g["reason"] in kinds and g.get("loser"):
            fail(tally, white if g["loser"] == "white" else black, kinds[g["reason"]])
        for colour, name in (("white", white), ("black", black)):
            for _ in g.get("warnings", {}).get(colour, []):
                fail(tally, name, "protocol")


def elo_text(t):
    n = t["w"] + t["d"] + t["l"]
    if n == 0:
        return "no games"
    s = (t["w"] + t["d"] / 2) / n
    text = "%d W %d D %d L  score %.3f" % (t["w"], t["d"], t["l"], s)
    if 0 < s < 1:
        var = (t["w"] * (1 - s) ** 2 + t["d"] * (0.5 - s) ** 2 + t["l"] * s ** 2) / n
        se = math.sqrt(var / n)
        elo = lambda p: -400 * math.log10(1 / p - 1)
        lo, hi = max(s - 1.96 * se, 1e-6), min(s + 1.96 * se, 1 - 1e-6)
        text += "  Elo %+.0f (95%%: %+.0f .. %+.0f)" % (elo(s), elo(lo), elo(hi))
    return text


def print_tally(title, t):
    print("%s: %d games, vellum %s" % (title, t["games"], elo_text(t)))
    for engine, f in sorted(t["fail"].items()):
        print("    %-10s " % engine + "  ".join("%s %d" % (k, f[k]) for k in KINDS))


def main():
    folder = sys.argv[1]
    total = new_tally()
    for path in sorted(glob.glob(os.path.join(folder, "*.out"))):
        tag = os.path.basename(path)[:-4]
        t = new_tally()
        if os.path.exists(path[:-4] + ".json"):
            read_match(path[:-4] + ".json", t)
        else:
            read_fastchess(path, t)
        print_tally(tag, t)
        for key in ("games", "w", "d", "l"):
            total[key] += t[key]
        for engine, f in t["fail"].items():
            for k, v in f.items():
                total["fail"].setdefault(engine, dict.fromkeys(KINDS, 0))[k] += v
    print_tally("total", total)
    ponder_log = os.path.join(folder, "ponder.log")
    if os.path.exists(ponder_log):
        sums = dict.fromkeys(["started", "hits", "misses", "violations", "stalls"], 0)
        problems = 0
        for line in open(ponder_log):
            if line.startswith("ponder summary:"):
                words = line.split()[2:]
                for k, v in zip(words[::2], words[1::2]):
                    sums[k] += int(v)
            elif line.startswith(("VIOLATION", "STALL")):
                problems += 1
        print("ponder: " + "  ".join("%s %d" % kv for kv in sums.items()))
        if sums["violations"] or sums["stalls"] or problems:
            total["fail"].setdefault(ENGINE, dict.fromkeys(KINDS, 0))["protocol"] += max(problems, 1)
    ours = total["fail"].get(ENGINE, {})
    sys.exit(1 if any(ours.values()) else 0)


if __name__ == "__main__":
    main()
