// Console mode: the small command language for a person at the keyboard.
#pragma once

// Executes one console line. While a search (or a perft count) runs, only "quit" and "." act;
// every other line waits in arrival order and runs once the engine is idle ("quit" too when
// lines are already waiting).
void handle_console_command(char* line);

// Lines that arrived during a search and wait for an idle engine. The input reader runs them
// before it reads anything new.
bool console_has_pending();
// Takes the oldest waiting line into `line` (size bytes); false when none waits.
bool console_take_pending(char* line, int size);

// The input closed: ends an analysis that was started without a depth (only "." ends those),
// so that a piped session finishes.
void console_input_ended();
