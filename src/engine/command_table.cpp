#include "engine/command_table.h"

#include <cstring>

#include "core/output.h"

void split_command_words(char* line, CommandWords& out) {
    out.line = line;
    out.count = 0;
    for (auto& w : out.words) w[0] = 0;
    const char* p = line;
    while (*p == ' ') p++;
    out.rest = line + strlen(line);
    for (int i = 0; i < COMMAND_WORDS && *p; i++) {
        int n = 0;
        while (p[n] && p[n] != ' ') n++;
        const int kept = n < COMMAND_WORD_TEXT - 1 ? n : COMMAND_WORD_TEXT - 1;
        memcpy(out.words[i], p, size_t(kept));
        out.words[i][kept] = 0;
        out.count = i + 1;
        p += n;
        if (i == 0) out.rest = const_cast<char*>(*p ? p + 1 : p);
        while (*p == ' ') p++;
    }
}

const CommandRow* find_command(const CommandRow* table, int rows, const char* word) {
    for (int i = 0; i < rows; i++)
        if (!strcmp(table[i].name, word)) return &table[i];
    return nullptr;
}

void print_command_help(const CommandRow* table, int rows) {
    for (int i = 0; i < rows; i++) print_line("%-10s %s", table[i].name, table[i].help);
}
