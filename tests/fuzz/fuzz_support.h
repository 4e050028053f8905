// Shared set-up of the fuzz targets: an engine instance started the way the program starts
// one, output sent to a sink, and small helpers for turning fuzz bytes into text and files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "board/position.h"

// Starts the engine once per process (tables, options, a 16 MB hash, subsystems, start
// position). Output goes to /dev/null unless VELLUM_FUZZ_VERBOSE is set in the environment.
void fuzz_start_engine();

// The bytes as a NUL-terminated string (embedded NULs kept as they are).
std::string fuzz_text(const uint8_t* data, size_t size);

// Reads the whole file at `path` into `out` (replacing its contents); false when it cannot be
// opened.
bool fuzz_read_file(const std::string& path, std::vector<uint8_t>& out);

// Writes the bytes to `path` (replacing it); false when the file cannot be written.
bool fuzz_write_file(const std::string& path, const uint8_t* data, size_t size);

// A private scratch folder for this process (made on first use), ending in '/'.
const std::string& fuzz_scratch_dir();

// Legal moves of the side to move; returns their number.
int fuzz_legal_moves(Position& pos, Move* out, int capacity);

// The shared test data folder beside the checkout, as the build saw it.
#ifndef VELLUM_SHARED_DIR
#define VELLUM_SHARED_DIR "../shared"
#endif
