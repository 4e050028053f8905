#include <cstring>
#include <string>

#include "eval_test_util.h"

using ParamTest = EvalFixture;

TEST_F(ParamTest, TableLayoutAndNames) {
    EXPECT_EQ(param_table.count, 651);
    EXPECT_EQ(param_table.first_pst, 43);
    for (int i = 0; i < HCE_SCALAR_COUNT; i++) EXPECT_EQ(hce_scalar[i], &param_table.entries[i]);
    for (int sq = 0; sq < 64; sq++) {
        EXPECT_STREQ(hce_pst[PST_K][sq]->name, "PST_K");
        EXPECT_EQ(hce_pst[PST_K][sq], &param_table.entries[43 + 8 * 64 + sq]);
    }
    EXPECT_STREQ(param_table.entries[650].name, "ttune");
    EXPECT_STREQ(param(P_STM_BONUS).name, "stm_bonus");
}

TEST_F(ParamTest, DefaultTextShape) {
    EXPECT_EQ(DefaultParamTextLength, 4236);
    EXPECT_EQ(int(std::strlen(DefaultParamText)), 4236);
    EXPECT_EQ(std::strncmp(DefaultParamText, "start\n", 6), 0);
    EXPECT_EQ(std::strchr(DefaultParamText, ' '), nullptr);
    EXPECT_EQ(DefaultParamText[4235], '\n');
    // Every line names the entry it lands on, so loading prints nothing.
    OutputCapture out;
    load_default_params();
    EXPECT_EQ(out.text(), "");
}

TEST_F(ParamTest, LoadedValuesReplaceProvisionalOnes) {
    register_hce_params();
    EXPECT_EQ(param(P_MTL_KNIGHT).score, make_score(335, 335));
    EXPECT_EQ(param(P_KING_DANGER1).score, 0);
    load_default_params();
    EXPECT_EQ(param(P_MTL_KNIGHT).score, 392 * 65536 + 388);
    EXPECT_EQ(param(P_MTL_KNIGHT).mg, 388.0f);
    EXPECT_EQ(param(P_MTL_KNIGHT).eg, 392.0f);
    EXPECT_EQ(param(P_KING_DANGER1).score, 63 * 65536 - 258);
    EXPECT_EQ(param(P_KING_DANGER1).mg, -258.0f);
    EXPECT_EQ(param(P_KING_DANGER1).eg, 63.0f);
    EXPECT_EQ(param(P_MTL_IMBALANCE).score, 0);
    // Table values: first and last squares, and a king table file that is always zero.
    EXPECT_EQ(pst(PST_N, 0).mg, -43.0f);
    EXPECT_EQ(pst(PST_N, 0).eg, -23.0f);
    EXPECT_EQ(pst(PST_Q, 63).score, make_score(3, 11));
    EXPECT_EQ(pst(PST_P2, 55).score, make_score(45, 96));
    EXPECT_EQ(pst(PST_DP, 16).score, make_score(9, 16));
    for (int rank = 0; rank < 8; rank++) EXPECT_EQ(pst(PST_K, rank * 8 + 3).score, 0);
    EXPECT_EQ(pst(PST_K, 6).score, make_score(10, -50));
}

TEST_F(ParamTest, ValuesAreMatchedByPositionNotByName) {
    OutputCapture out;
    // A misnamed line still writes into the entry at the cursor and reports the mismatch.
    load_params_text("start\nmtl_pawn,101,102\nmtl_knite,11,22\nmtl_bishop,33,44\n");
    EXPECT_EQ(out.text(), "error mtl_knite  mtl_knight\n");
    EXPECT_EQ(param(P_MTL_PAWN).score, make_score(101, 102));
    EXPECT_EQ(param(P_MTL_KNIGHT).score, make_score(11, 22));
    EXPECT_EQ(param(P_MTL_BISHOP).score, make_score(33, 44));
}

TEST_F(ParamTest, MissingLineShiftsLaterValues) {
    OutputCapture out;
    load_params_text("mtl_pawn,1,2\r\nmtl_bishop,5,6\nmtl_rook,7,8\n");
    EXPECT_EQ(out.text(), "error mtl_bishop  mtl_knight\nerror mtl_rook  mtl_bishop\n");
    EXPECT_EQ(param(P_MTL_PAWN).score, make_score(1, 2));
    EXPECT_EQ(param(P_MTL_KNIGHT).score, make_score(5, 6));
    EXPECT_EQ(param(P_MTL_BISHOP).score, make_score(7, 8));
    EXPECT_EQ(param(P_MTL_ROOK).score, make_score(555, 738));  // untouched
}

TEST_F(ParamTest, MalformedTextIsHarmless) {
    OutputCapture out;
    // Missing and unparsable numbers read as 0; skipped lines and stray spaces split lines.
    load_params_text("(comment)\n\nmtl_pawn,x\nmtl_knight,7\n");
    EXPECT_EQ(param(P_MTL_PAWN).score, 0);
    EXPECT_EQ(param(P_MTL_KNIGHT).score, make_score(7, 0));
    // A run of table lines past the end of the table stops at the last entry.
    std::string many = "mtl_pawn,1,1\n";
    for (int i = 0; i < 20; i++) many += "PST_X" + std::string(300, ',') + "\n";
    load_params_text(many.c_str());
    EXPECT_EQ(param_table.cursor, param_table.count);
    // An overlong line is cut rather than overflowing the line buffer.
    std::string longline = "mtl_pawn,3,4," + std::string(5000, '9') + "\n";
    load_params_text(longline.c_str());
    EXPECT_EQ(param(P_MTL_PAWN).score, make_score(3, 4));
    EXPECT_NE(out.text().find("error PST_X  "), std::string::npos);
}
