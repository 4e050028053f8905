#include "search/perft_picker.h"

#include "board/attacks.h"
#include "board/makemove.h"
#include "search/picker.h"

bool (*perft_interrupt)() = nullptr;

namespace {

void prepare_ply(SearchThread& t, int ply) {
    SearchStackEntry& s = t.stack[ply];
    s.checker = u8(checker_square(t.pos));
    s.in_check = s.checker != NO_SQUARE;
    s.current_move = 0;
    s.killer1 = s.killer2 = s.check_killer = 0;
    picker_start(t, ply, PICK_ALL, 0);
}

}  // namespace

void perft_picker(SearchThread& t, int ply, int depth) {
    Position& pos = t.pos;
    const int side = pos.side;
    if (depth >= 2 && perft_interrupt && perft_interrupt()) return;
    prepare_ply(t, ply);
    while (MoveEntry* e = next_move(t, ply)) {
        const Move move = e->move;
        if (move == 0 || !is_legal(pos, side, move)) continue;
        if (depth <= 1) {
            t.nodes++;
            continue;
        }
        make_move(pos, move);
        perft_picker(t, ply + 1, depth - 1);
        unmake_move(pos);
    }
}

u64 perft_picker_divide(SearchThread& t, int depth, PerftMoveReport report, void* ctx) {
    if (depth < 1) depth = 1;
    if (depth > STACK_SIZE - 2) depth = STACK_SIZE - 2;
    Position& pos = t.pos;
    const int side = pos.side;
    u64 total = 0;
    prepare_ply(t, 1);
    while (MoveEntry* e = next_move(t, 1)) {
        const Move move = e->move;
        if (move == 0 || !is_legal(pos, side, move)) continue;
        t.nodes = 1;
        if (depth > 1) {
            t.nodes = 0;
            make_move(pos, move);
            perft_picker(t, 2, depth - 1);
            unmake_move(pos);
        }
        if (report) report(ctx, move, t.nodes);
        total += t.nodes;
    }
    t.nodes = total;
    return total;
}
