// Syzygy endgame tablebases: finding and registering the files of a directory list, and the
// WDL and DTZ probes the search and the console use.
#pragma once

#include "board/position.h"
#include "core/types.h"

// Largest number of pieces (kings included) of any registered table; 0 when none.
extern int TB_LARGEST;

// (Re)initialises from a list of directories separated by ';' (and ':' outside Windows).
// Releases every earlier mapping first. "" and "<empty>" leave no tables and print nothing;
// otherwise one "info string Found ..." line is printed. Returns the number of WDL files
// registered. Must not run while probes are in flight.
int tb_init(const char* path);
// Releases every mapping and the registry (process end).
void tb_free();

// Counts of the last initialisation.
int tb_wdl_count();
int tb_dtm_count();
int tb_dtz_count();

// Search-side WDL probe. Returns WDL + 2 (0 loss, 1 blessed loss, 2 draw, 3 cursed win, 4 win)
// or -1 when the position is not probed (castling rights, more pieces than TB_LARGEST, depth
// below the 6- or 7-piece probe depth) or the probe fails. The fifty-move counter is ignored.
int tb_probe_wdl(const Position& pos, int depth);

// Root ranking by DTZ. The move keeps the root's result and, among those, makes the fastest
// progress (wins), resists longest (losses), or is chosen by the material key among the
// drawing moves. wdl_class is 0..4 as above, judged with the position's fifty-move counter;
// dtz is the root position's signed DTZ in plies. Returns 0 on success.
struct TbRootResult {
    Move move;
    int wdl_class;
    int dtz;
    bool ep;  // the move is an en-passant capture
};
int tb_probe_root(const Position& pos, TbRootResult* out);

// WDL (-2..2) and DTZ of the position itself, for inspection. Returns 0 when both answered,
// 1 when only the WDL did (*dtz is then 0), -1 when the position cannot be probed.
int tb_probe_position(const Position& pos, int* wdl, int* dtz);
