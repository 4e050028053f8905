// The benchmark: a fixed list of 20 positions searched to a fixed depth from an empty table.
#pragma once

// in_calling_thread: -pbench (each search runs in the calling thread). Sets quit when done.
void run_bench(bool in_calling_thread);
// The short bench of the "bench" command and of "vellum bench": the same positions to `depth`
// (13 when it is not 1..50) on one thread with a 16 MB table, then "N nodes" and "N nps" on
// lines of their own. The settings and the table size are restored afterwards.
void run_openbench(int depth);
