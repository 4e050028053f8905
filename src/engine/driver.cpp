#include "engine/driver.h"

#include "core/output.h"
#include "core/settings.h"
#include "engine/input.h"
#include "platform/platform.h"

void (*start_search_hook)() = nullptr;

void game_loop() {
    while (!settings.quit) {
        read_input();
        if (settings.quit) break;
        SearchControl& c = search_control;
        if (c.search_state & (SEARCH_GO | SEARCH_GO_PONDER)) {
            if (start_search_hook) {
                start_search_hook();
            } else {
                print_line("info string no search in this build; limits recorded");
                c.search_state = 0;
            }
            continue;
        }
        platform::sleep_ms(1);
    }
}
