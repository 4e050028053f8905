#!/usr/bin/env python3
"""Writes a network file of random weights in the engine's network format, for speed
measurements and tests that need a network but no trained one.

    scripts/random_net.py OUT [--hidden 1536] [--buckets 2] [--kind 752] [--seed 1]
                              [--l1 32] [--output 64] [--q 2048] [--s 400]

Weights are uniform in [-l1, l1] (first layer and biases) and [-output, output] (output
groups). The format: ten little-endian 16-bit header words (kind, Q, aux scale, S, buckets,
field5, hidden, field7, field8, field9), the 32-bit weight count, then the weights: 768 * B
rows of H, 8 output groups of 2H, 2H biases.
"""
import argparse
import array
import random
import struct
import sys


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("out")
    ap.add_argument("--hidden", type=int, default=1536)
    ap.add_argument("--buckets", type=int, default=2, choices=(1, 2))
    ap.add_argument("--kind", type=int, default=752)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--l1", type=int, default=32)
    ap.add_argument("--output", type=int, default=64)
    ap.add_argument("--q", type=int, default=2048)
    ap.add_argument("--s", type=int, default=400)
    a = ap.parse_args()
    if not 8 <= a.hidden <= 4096:
        sys.exit("hidden must lie in 8..4096")
    rng = random.Random(a.seed)
    h, b = a.hidden, a.buckets
    l1 = array.array("h", (rng.randint(-a.l1, a.l1) for _ in range(768 * b * h)))
    out = array.array("h", (rng.randint(-a.output, a.output) for _ in range(16 * h)))
    bias = array.array("h", (rng.randint(-a.l1, a.l1) for _ in range(2 * h)))
    count = len(l1) + len(out) + len(bias)
    header = struct.pack("<HhhhHHHHHHI", a.kind, a.q, 2048, a.s, b, 5, h, 0, 0, 5, count)
    if sys.byteorder != "little":
        for part in (l1, out, bias):
            part.byteswap()
    with open(a.out, "wb") as f:
        f.write(header)
        for part in (l1, out, bias):
            part.tofile(f)


if __name__ == "__main__":
    main()
