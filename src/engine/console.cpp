#include "engine/console.h"

#include <cstring>

#include "core/output.h"
#include "core/settings.h"

// Only the commands that end or leave console mode exist so far; "uci" switches to UCI
// before it gets here.
void handle_console_command(char* line) {
    if (!strcmp(line, "quit") || !strcmp(line, "q")) {
        settings.quit = 1;
        return;
    }
    if (!line[0]) return;
    print_line("unknown command: %s", line);
}
