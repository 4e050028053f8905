#!/usr/bin/env python3
"""A short multi-threaded session for an engine built with ThreadSanitizer: searches with two
and three threads, "isready" and "stop" during an infinite search, "ponderhit" and "stop" of
ponder searches, a command that arrives during a search, MultiPV, and tablebase probes from
several threads while the tables are mapped on first use.

Usage: tsan_session.py ENGINE [SYZYGY_DIR]
Fails (exit status 1) when the engine does not answer in time, exits with an error, or
ThreadSanitizer reports anything on its standard error.
"""
import os
import subprocess
import sys
import threading
import time

ANSWER_TIMEOUT = 60.0  # seconds; everything runs many times slower under ThreadSanitizer


class Engine:
    def __init__(self, cmd):
        env = dict(os.environ)
        env.setdefault("TSAN_OPTIONS", "halt_on_error=0 exitcode=66 second_deadlock_stack=1")
        self.proc = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     text=True, bufsize=1, env=env)
        self.lines = []
        self.cond = threading.Condition()
        self.stderr = []
        threading.Thread(target=self._read, args=(self.proc.stdout, self.lines), daemon=True).start()
        threading.Thread(target=self._read, args=(self.proc.stderr, self.stderr), daemon=True).start()

    def _read(self, stream, store):
        for line in stream:
            with self.cond:
                store.append(line.rstrip("\n"))
                self.cond.notify_all()

    def send(self, text):
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()

    def wait_for(self, prefix, what):
        """Waits for the next line starting with prefix after the ones already taken."""
        deadline = time.time() + ANSWER_TIMEOUT
        with self.cond:
            while True:
                for i, line in enumerate(self.lines):
                    if line.startswith(prefix):
                        del self.lines[:i + 1]
                        return line
                left = deadline - time.time()
                if left <= 0:
                    raise RuntimeError("no '%s' within %.0f s (%s)" % (prefix, ANSWER_TIMEOUT, what))
                self.cond.wait(left)


def session(e, syzygy):
    e.send("uci")
    e.wait_for("uciok", "handshake")
    for name, value in (("Threads", "2"), ("Hash", "16"), ("Ponder", "true")):
        e.send("setoption name %s value %s" % (name, value))
    e.send("isready")
    e.wait_for("readyok", "after the options")

    e.send("ucinewgame")
    e.send("position startpos moves e2e4 e7e5")
    e.send("go wtime 3000 btime 3000 winc 30 binc 30")
    e.wait_for("bestmove", "clock search")

    e.send("go infinite")
    time.sleep(0.5)
    e.send("isready")
    e.wait_for("readyok", "isready during an infinite search")
    e.send("stop")
    e.wait_for("bestmove", "stop of an infinite search")

    e.send("position startpos moves e2e4 e7e5 g1f3")
    e.send("go ponder wtime 2000 btime 2000")
    time.sleep(0.4)
    e.send("ponderhit")
    e.wait_for("bestmove", "ponderhit")

    e.send("position startpos moves e2e4 e7e5 g1f3 b8c6")
    e.send("go ponder wtime 2000 btime 2000")
    time.sleep(0.3)
    e.send("stop")
    e.wait_for("bestmove", "stop of a ponder search")

    # A command that changes the game during a search stops it and runs after its bestmove.
    e.send("setoption name Threads value 3")
    e.send("go infinite")
    time.sleep(0.3)
    e.send("position startpos moves d2d4")
    e.wait_for("bestmove", "position during a search")
    e.send("setoption name MultiPV value 3")
    e.send("go nodes 30000")
    e.wait_for("bestmove", "MultiPV search")
    e.send("setoption name MultiPV value 1")

    if syzygy:
        e.send("setoption name SyzygyPath value " + syzygy)
        e.send("setoption name Clear Hash")
        e.send("position fen 8/8/4k3/8/2R5/8/3PK3/8 w - - 0 1")
        e.send("go movetime 800")
        e.wait_for("bestmove", "search with tablebase probes")

    e.send("setoption name Threads value 2")
    e.send("position startpos")
    e.send("go wtime 1000 btime 1000")
    time.sleep(0.2)
    e.send("quit")


def main():
    engine, syzygy = sys.argv[1], (sys.argv[2] if len(sys.argv) > 2 else "")
    started = time.time()
    e = Engine([engine])
    failure = None
    try:
        session(e, syzygy)
        code = e.proc.wait(timeout=ANSWER_TIMEOUT)
        if code != 0:
            failure = "the engine exited with status %d" % code
    except (RuntimeError, subprocess.TimeoutExpired, BrokenPipeError) as err:
        failure = str(err)
        e.proc.kill()
        e.proc.wait()
    time.sleep(0.2)
    reports = [line for line in e.stderr if "ThreadSanitizer" in line]
    if reports:
        failure = failure or "ThreadSanitizer reported %d problems" % len([r for r in reports if "WARNING" in r])
        sys.stderr.write("\n".join(e.stderr) + "\n")
    print("TSan session: %s in %.1f s" % (failure or "clean", time.time() - started))
    sys.exit(1 if failure else 0)


if __name__ == "__main__":
    main()
