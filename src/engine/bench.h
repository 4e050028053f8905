// The benchmark: a fixed list of 20 positions searched to a fixed depth from an empty table.
#pragma once

// in_calling_thread: -pbench (each search runs in the calling thread). Sets quit when done.
void run_bench(bool in_calling_thread);
