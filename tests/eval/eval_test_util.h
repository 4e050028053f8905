// Shared set-up for the evaluation tests: tables, keys, the KPK table and the default parameters,
// a position owned by the test, and FEN helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/tables.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "eval/kpk.h"
#include "eval/params.h"

class EvalFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        init_tables();
        init_keys();
        init_kpk();
    }
    void SetUp() override {
        load_default_params();
        es = std::make_unique<EvalState>();
        settings.use_nn = 0;
        settings.contempt = 0;
        settings.contempt_bias = 15;
        search_control.game_plies = 0;
        search_control.search_state = 0;
        search_control.root_side = WHITE;
    }
    Position& setup(const char* fen) {
        pos = Position{};
        pos.owner = history.get();
        set_fen(pos, fen);
        return pos;
    }
    int hce(const char* fen) { return evaluate_hce(setup(fen), *es); }

    std::unique_ptr<MoveHistory> history = std::make_unique<MoveHistory>();
    std::unique_ptr<EvalState> es;
    Position pos{};
};

// Captures what print_line writes while the object lives.
struct OutputCapture {
    FILE* file = std::tmpfile();
    OutputCapture();
    ~OutputCapture();
    std::string text();
};

// FEN helpers over the first four fields.
std::vector<std::string> split_fields(const std::string& fen);
// Ranks flipped, colours swapped, side and castling rights swapped, en-passant square mirrored.
std::string mirror_colours(const std::string& fen);
// Files reversed (only for positions without castling rights).
std::string mirror_files(const std::string& fen);
// The FEN part (first four fields) of every line of a file; empty when the file is missing.
std::vector<std::string> read_fens(const std::string& path);
