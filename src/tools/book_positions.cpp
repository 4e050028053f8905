#include "tools/book_positions.h"

#include <cstdio>

#include "core/output.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "tools/epd_analysis.h"
#include "tools/position_set.h"
#include "tools/tool_io.h"

namespace {

constexpr int GROWING_PASSES = 12;
constexpr int PASS_MULTIPV[GROWING_PASSES] = {8, 6, 5, 4, 3, 3, 3, 3, 3, 3, 3, 3};

}  // namespace

int grow_book_positions(const char* epd_path) {
    // The input may already be the working file (a run continued); it is then used as it is.
    if (!platform::same_file(epd_path, GROWN_POSITIONS_FILE)) {
        print_line("copying %s to %s", epd_path, GROWN_POSITIONS_FILE);
        if (platform::copy_file(epd_path, GROWN_POSITIONS_FILE) != 0) {
            tool_message("can't copy %s to %s", epd_path, GROWN_POSITIONS_FILE);
            return 1;
        }
    }
    const u8 multipv = settings.multipv;
    PositionSet seen;
    int rc = 0;
    for (int pass = 0; pass < GROWING_PASSES && rc == 0 && !settings.quit; pass++) {
        settings.multipv = u8(PASS_MULTIPV[pass]);
        rc = analyze_epd(GROWN_POSITIONS_FILE, true, &seen, nullptr);
        if (rc == 0 && platform::copy_file(EXPANSION_FILE, GROWN_POSITIONS_FILE) != 0) {
            tool_message("can't copy %s to %s", EXPANSION_FILE, GROWN_POSITIONS_FILE);
            rc = 1;
        }
    }
    settings.multipv = multipv;
    position_set_free(seen);
    return rc;
}
