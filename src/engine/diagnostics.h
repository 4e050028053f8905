// Diagnostic commands: the static evaluation and the tablebase result of the game position.
#pragma once

void print_static_eval();
void print_tablebase_probe();
