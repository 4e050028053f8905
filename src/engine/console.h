// Console mode: the small command language for a person at the keyboard.
#pragma once

void handle_console_command(char* line);
