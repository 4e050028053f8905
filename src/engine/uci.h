// The UCI protocol: executes one command line.
#pragma once

void handle_uci_command(char* line);

// Hooks for commands whose subsystems join later; each is null until registered.
struct UciHooks {
    void (*eval)();     // "eval": prints the static evaluation of the game position
    void (*tbprobe)();  // "tbprobe": prints the tablebase result of the game position
};
extern UciHooks uci_hooks;
