#!/bin/sh
# Runs the engine's benchmark: fixed searches of 20 positions with the embedded defaults,
# printing the time per position and the node total and speed.
set -e
engine=${1:-build/release/vellum}
exec "$engine" -bench
