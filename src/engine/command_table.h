// Command tables: one row per command word of a protocol (UCI or console), naming what runs,
// whether the command needs an idle engine, and a line of help. The protocols look a word up
// in their table instead of keeping their own lists of rules.
#pragma once

constexpr int COMMAND_WORDS = 10;       // the command word and up to nine arguments
constexpr int COMMAND_WORD_TEXT = 128;  // each word at most 127 characters

// A command line split at spaces: words[0] is the command word, missing words are empty.
// `rest` points at the text after the command word and its separating space (UCI arguments,
// the FEN of the console's "fen"), inside the line that was split.
struct CommandWords {
    char words[COMMAND_WORDS][COMMAND_WORD_TEXT];
    int count;
    char* line;
    char* rest;
};

using CommandHandler = void (*)(CommandWords& cmd);

// What a command needs from the engine while a search runs.
enum CommandTiming : unsigned char {
    RUNS_ANY_TIME = 0,  // acts during a search too ("stop", "quit", ".")
    NEEDS_IDLE = 1,     // changes the game or the options: only between searches
};

struct CommandRow {
    const char* name;
    CommandHandler run;
    CommandTiming timing;
    const char* help;
};

// Splits `line` (which stays valid while the words are used) into words.
void split_command_words(char* line, CommandWords& out);

// The first row of the table whose name equals `word`, or nullptr.
const CommandRow* find_command(const CommandRow* table, int rows, const char* word);

// Prints one line per row: the name and its help.
void print_command_help(const CommandRow* table, int rows);
