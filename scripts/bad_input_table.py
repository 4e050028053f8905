#!/usr/bin/env python3
"""Feeds the engine bad input of every kind it reads and prints a Markdown table of what happened.

Usage: bad_input_table.py [ENGINE] [SHARED_TESTDATA]
  ENGINE defaults to build/release/vellum, SHARED_TESTDATA to ../shared/testdata beside the
  checkout. Every case runs in a fresh temporary folder with a time limit. A case passes when
  the engine neither crashes nor hangs, says something about the bad input, and (for UCI
  sessions) still answers "isready" and a depth-1 search from the start position with a legal
  "bestmove" afterwards, or (for the batch tools) ends with exit code 0 or 1 and writes nothing
  over its input. The exit status is the number of failed cases.
"""
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
engine = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "release", "vellum"))
testdata = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "..", "shared", "testdata"))
rng = random.Random(20261209)
TIMEOUT = 60
# The probe after every UCI case: the engine must still be in a good state.
HEALTH = "isready\nposition startpos\ngo depth 1\n"
STARTUP_NETWORK = "info string loaded embedded network"
START_MOVES = {"a2a3", "a2a4", "b2b3", "b2b4", "c2c3", "c2c4", "d2d3", "d2d4", "e2e3", "e2e4", "f2f3",
               "f2f4", "g2g3", "g2g4", "h2h3", "h2h4", "b1a3", "b1c3", "g1f3", "g1h3"}
rows = []
failures = 0


def random_bytes(n):
    return bytes(rng.randrange(256) for _ in range(n))


def run(args, stdin_text, folder):
    try:
        p = subprocess.run([engine] + args, input=stdin_text.encode(), stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=TIMEOUT, cwd=folder)
        return p.returncode, p.stdout.decode(errors="replace"), False
    except subprocess.TimeoutExpired as e:
        return None, (e.stdout or b"").decode(errors="replace"), True


def messages(out, skip_prefixes=("info string Hello", "info string allocated", "info string Cleared",
                                  "info string no network", "info string et=", "id ", "option ", "uciok",
                                  "readyok", "info depth", "info multipv", "bestmove", "info string Found 0")):
    lines = [l.strip() for l in out.splitlines() if l.strip()]
    said = [l for l in lines if not l.startswith(skip_prefixes)]
    # The start-up line of the compiled-in network is no answer to the bad input.
    if STARTUP_NETWORK in said:
        said.remove(STARTUP_NETWORK)
    return said


def summary(said, count, last=False):
    """The lines to show: diagnostics first, option confirmations ("X set to ...") only when
    nothing else was said (they are the answer to a clamped option value)."""
    notes = [l for l in said if " set to " not in l] or said
    notes = notes[-count:] if last else notes[:count]
    return "; ".join(notes) if notes else "(nothing said)"


def record(kind, tried, ok, what):
    global failures
    if not ok:
        failures += 1
    what = what.replace("|", "\\|")
    if len(what) > 160:
        what = what[:157] + "..."
    rows.append("| %s | %s | %s | %s |" % (kind, tried.replace("|", "\\|"), what, "ok" if ok else "FAILED"))


def uci_case(kind, tried, commands, files=None, args=None, lenient=False):
    """Runs a UCI session with the bad commands, then the health probe. With lenient, the input
    is one that the engine reads as far as it can by design (FEN reading skips what fits no
    field): no message is needed, and the row shows the position that resulted."""
    with tempfile.TemporaryDirectory() as folder:
        for name, data in (files or {}).items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        shown = "d\n" if lenient else ""
        code, out, hung = run((args or []) + [], "uci\n" + commands + shown + HEALTH + "quit\n", folder)
        if hung:
            return record(kind, tried, False, "hung (no end within %d s)" % TIMEOUT)
        if code is None or code < 0 or code > 1:
            return record(kind, tried, False, "exit code %s: %s" % (code, " / ".join(messages(out)[-2:])))
        best = [l.split()[1] for l in out.splitlines() if l.startswith("bestmove")]
        healthy = "readyok" in out and best and best[-1] in START_MOVES
        said = messages(out)
        if lenient:
            fens = [l.strip() for l in out.splitlines() if l.count("/") == 7 and not l.startswith("info")]
            return record(kind, tried, bool(healthy), "read leniently as %s" % (fens[0] if fens else "?") +
                          ("" if healthy else " (not healthy afterwards)"))
        ok = healthy and bool(said)
        record(kind, tried, ok, summary(said, 2) +
               ("" if healthy else " (not healthy afterwards)"))


def tool_case(kind, tried, args, files, inputs=()):
    """Runs a batch tool on bad files: exit 0 or 1, a message, inputs left unchanged."""
    with tempfile.TemporaryDirectory() as folder:
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        before = {n: hashlib.sha1(files[n]).hexdigest() for n in inputs}
        code, out, hung = run(args, "", folder)
        if hung:
            return record(kind, tried, False, "hung (no end within %d s)" % TIMEOUT)
        changed = [n for n in inputs
                   if hashlib.sha1(open(os.path.join(folder, n), "rb").read()).hexdigest() != before[n]]
        said = messages(out)
        ok = code in (0, 1) and not changed and bool(said)
        what = "exit %s; %s" % (code, summary(said, 2, last=True))
        if changed:
            what += "; input overwritten: " + ", ".join(changed)
        record(kind, tried, ok, what)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    # FEN
    for tried, fen in [
        ("rank of nine squares", "4k3/9/8/8/8/8/8/4K3 w - - 0 1"),
        ("unknown piece letter", "4k3/8/8/8/3X4/8/8/4K3 w - - 0 1"),
        ("castling without a rook", "4k3/8/8/8/8/8/8/4K3 w KQ - 0 1"),
        ("en-passant square on rank 4", "4k3/8/8/8/4P3/8/8/4K3 b - e4 0 1"),
        ("side field 'x'", "4k3/8/8/8/8/8/8/4K3 x - - 0 1"),
        ("negative counters", "4k3/8/8/8/8/8/8/4K3 w - - -5 -7"),
    ]:
        uci_case("FEN", tried, "position fen %s\n" % fen, lenient=True)
    for tried, fen in [
        ("no kings", "8/8/8/8/8/8/8/8 w - - 0 1"),
        ("two white kings", "4k3/8/8/8/8/8/8/K3K3 w - - 0 1"),
        ("pawn on the last rank", "P3k3/8/8/8/8/8/8/4K3 w - - 0 1"),
        ("side not to move in check", "4k3/4Q3/8/8/8/8/8/4K3 w - - 0 1"),
        ("nine ranks", "8/8/8/8/8/8/8/8/8 w - - 0 1"),
        ("only a board", "4k3"),
        ("empty", ""),
        ("5,000 random characters", "".join(chr(rng.randrange(33, 127)) for _ in range(5000))),
    ]:
        uci_case("FEN", tried, "position fen %s\n" % fen)
    # Move lists
    for tried, moves in [
        ("illegal move e2e5", "e2e5"),
        ("a move after a bad one", "e2e4 e7e4 g1f3"),
        ("words that are not moves", "hello 1234 e2e4??"),
        ("promotion without piece", "a2a4 b7b5 a4b5 a7a6 b5a6 h7h6 a6a7 h6h5 a7a8"),
        ("move after mate", "f2f3 e7e5 g2g4 d8h4 a2a3"),
    ]:
        uci_case("moves", tried, "position startpos moves %s\n" % moves)
    # Legal but longer than the history: the plies before the last irreversible move are dropped.
    uci_case("moves", "1,200 plies of knight shuffles, then e2e4",
             "position startpos moves %s e2e4\n" % " ".join(["g1f3 g8f6 f3g1 f6g8"] * 300), lenient=True)
    uci_case("options", "go with garbage limits (read as numbers, as far as they go)",
             "position startpos\ngo depth -3 nodes abc movetime -1 wtime x\nisready\n", lenient=True)
    # Options and their values
    for tried, cmd in [
        ("Hash -5", "setoption name Hash value -5"),
        ("Hash abc", "setoption name Hash value abc"),
        ("Hash 10^12", "setoption name Hash value 1000000000000"),
        ("Threads 0", "setoption name Threads value 0"),
        ("Threads 100000", "setoption name Threads value 100000"),
        ("MultiPV 1000", "setoption name MultiPV value 1000"),
        ("unknown option", "setoption name NoSuchOption value 3"),
        ("no value", "setoption name Hash"),
        ("no name", "setoption value 3"),
        ("check option 'maybe'", "setoption name Ponder value maybe"),
        ("SyzygyPath that does not exist", "setoption name SyzygyPath value /no/such/folder"),
        ("NN_File that does not exist", "setoption name NN_File value /no/such/net.nnue"),
        ("OwnBook_File that does not exist", "setoption name OwnBook value true\nsetoption name OwnBook_File value /no/such.bin"),
    ]:
        uci_case("options", tried, cmd + "\n")
    # Configuration file lines
    for tried, text in [
        ("bad values and unknown names", b"Hash = abc\nNoSuchOption = 3\nThreads = -4\n"),
        ("lines without '='", b"Hash\n= 16\n===\n"),
        ("a 100,000-character line", b"Hash = " + b"9" * 100000 + b"\n"),
        ("random bytes", random_bytes(4000)),
    ]:
        uci_case("configuration", tried, "", files={"bad.cfg": text}, args=["-cfg", "bad.cfg"])
    # Books
    book = read(os.path.join(testdata, "polyglot", "gnuchess_book.bin"))
    for tried, data in [
        ("random bytes (4,000)", random_bytes(4000)),
        ("15 bytes", book[:15]),
        ("length not a multiple of 16", book[:16 * 1000 + 7]),
        ("empty file", b""),
        ("unsorted entries", b"".join(sorted([book[i:i + 16] for i in range(0, 16 * 2000, 16)], reverse=True))),
    ]:
        uci_case("book", tried, "setoption name OwnBook value true\nsetoption name OwnBook_File value b.bin\n",
                 files={"b.bin": data})
    # Networks
    net = read(os.path.join(here, "..", "tests", "data", "tiny.nnue"))
    for tried, data in [
        ("random bytes (100,000)", random_bytes(100000)),
        ("truncated to half", net[:len(net) // 2]),
        ("header only", net[:64]),
        ("empty file", b""),
        ("header with huge sizes", net[:8] + b"\xff" * 56 + net[64:]),
        ("valid network plus junk", net + random_bytes(999)),
    ]:
        uci_case("network", tried, "setoption name NN_File value n.nnue\neval\n", files={"n.nnue": data})
    # Tablebase files
    syz = os.path.join(testdata, "syzygy")
    krvk = read(os.path.join(syz, "KRvK.rtbw"))
    kqvk = read(os.path.join(syz, "KQvK.rtbw"))
    for tried, piece, files in [
        ("random bytes named KRvK.rtbw", "R", {"KRvK.rtbw": random_bytes(5000)}),
        ("KRvK.rtbw truncated", "R", {"KRvK.rtbw": krvk[:len(krvk) // 3]}),
        ("KRvK.rtbw with its body scrambled", "R", {"KRvK.rtbw": krvk[:64] + random_bytes(len(krvk) - 64)}),
        ("empty KQvK.rtbz beside a good KQvK.rtbw", "Q", {"KQvK.rtbw": kqvk, "KQvK.rtbz": b""}),
    ]:
        # A position of the damaged table's own material, so that the probe has to read it.
        fen = "8/8/8/8/8/2k5/%s7/4K3 w - - 0 1" % piece
        uci_case("tablebase", tried,
                 "setoption name SyzygyPath value .\nposition fen %s\ntbprobe\ngo depth 6\n" % fen,
                 files=files)
    # PGN
    pgn = read(os.path.join(testdata, "pgn", "classical.pgn"))
    for tried, data in [
        ("random bytes (20,000)", random_bytes(20000)),
        ("cut in the middle of a game", pgn[:len(pgn) // 2 + 17]),
        ("comment that never closes", b'[Event "x"]\n\n1. e4 {never closed e5 2. Nf3\n'),
        ("illegal move in a game", b'[Event "x"]\n\n1. e4 e5 2. Ke3 Nc6 1-0\n'),
        ("FEN tag without kings", b'[FEN "8/8/8/8/8/8/8/8 w - - 0 1"]\n[SetUp "1"]\n\n1. e4 1-0\n'),
        ("a 200,000-character line", b"[Event \"" + b"x" * 200000 + b"\"]\n\n1. e4 e5 1-0\n"),
    ]:
        tool_case("PGN", tried, ["-scan_pgn", "g.pgn", "-o", "g.epd"], {"g.pgn": data}, inputs=["g.pgn"])
    # EPD
    for tried, data in [
        ("garbage lines", b"hello world\n;;;;\nbm e4;\n\n" + random_bytes(2000) + b"\n"),
        ("FEN without kings", b"8/8/8/8/8/8/8/8 w - - bm e4; id \"x\";\n"),
        ("bm that is not a move", b"4k3/8/8/8/8/8/8/4K2R w K - bm Qh8 zz; c0 \"a=b=c\";\n"),
    ]:
        tool_case("EPD", tried, ["-d", "2", "-anepd", "s.epd", "-o", "r.epd"], {"s.epd": data}, inputs=["s.epd"])
        tool_case("EPD", tried + " (-epd2bin)", ["-epd2bin", "s.epd"], {"s.epd": data}, inputs=["s.epd"])
    # Training files
    for tried, data in [
        ("3 bytes", b"abc"),
        ("random bytes (40,000)", random_bytes(40000)),
        ("valid length, all 0xff", b"\xff" * 4000),
    ]:
        tool_case("training file", tried + " (-bin2epd)", ["-bin2epd", "t.bin"], {"t.bin": data}, inputs=["t.bin"])
        tool_case("training file", tried + " (-train)", ["-train", "t.bin", "1", "-epochs", "1", "-o", "o.nnue"],
                  {"t.bin": data}, inputs=["t.bin"])
        tool_case("training file", tried + " (-gentraindata)", ["-gentraindata", "t.bin", "1"], {"t.bin": data},
                  inputs=["t.bin"])
    # Missing files for every tool
    for tried, args in [
        ("-scan_pgn", ["-scan_pgn", "missing.pgn", "-o", "x.epd"]),
        ("-epd2bin", ["-epd2bin", "missing.epd"]),
        ("-bin2epd", ["-bin2epd", "missing.bin"]),
        ("-anepd", ["-anepd", "missing.epd"]),
        ("-mkbook", ["-mkbook", "missing.pgn"]),
        ("-train", ["-train", "missing.bin", "1"]),
        ("-cfg", ["-cfg", "missing.cfg"]),
    ]:
        tool_case("missing file", tried, args, {})

    print("| kind | what was tried | what happened | result |")
    print("|---|---|---|---|")
    for r in rows:
        print(r)
    print()
    print("%d cases, %d failed" % (len(rows), failures))
    return failures


if __name__ == "__main__":
    sys.exit(main())
