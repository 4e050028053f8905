// Growing a set of opening positions by repeated MultiPV analysis (-mkbook2).
#pragma once

// Copies the EPD file to "tmp_1.epd", then runs twelve passes of expanding analysis (MultiPV 8, 6,
// 5, 4, then 3): each pass analyses "tmp_1.epd" and replaces it with the positions reached by the
// good alternatives. A position already met (in the input or an earlier pass) is not written
// again, so transpositions do not multiply the set. Returns 0, or 1 after a one-line reason.
int grow_book_positions(const char* epd_path);

constexpr const char* GROWN_POSITIONS_FILE = "tmp_1.epd";
