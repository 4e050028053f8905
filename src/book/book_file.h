// Polyglot book files: the 16-byte big-endian entry, reading entries from an open file, and a
// whole book held in memory with the lookup of one position's entries.
#pragma once

#include <cstdio>

#include "core/types.h"

struct BookEntry {
    u64 key;     // Polyglot position key
    u16 move;    // Polyglot move
    u16 weight;
    u32 learn;   // read, not used
};

constexpr int BOOK_ENTRY_BYTES = 16;
// At most this many entries of one position take part in a probe; the rest are ignored.
constexpr int BOOK_MAX_ENTRIES_PER_KEY = 127;

void book_entry_from_bytes(const u8* bytes, BookEntry& entry);
void book_entry_to_bytes(const BookEntry& entry, u8* bytes);
// Reads the next 16 bytes of an open book file; returns 1 when the file ends before all 16
// bytes were read (the entry is then incomplete), else 0.
int read_book_entry(FILE* file, BookEntry& entry);
// Writes one entry; returns 0 on success.
int write_book_entry(FILE* file, const BookEntry& entry);

// A book file read into memory. Only whole entries are kept: trailing bytes of a file whose
// length is not a multiple of 16 are dropped.
struct Book {
    BookEntry* entries;
    u32 count;
    u32 trailing_bytes;  // bytes after the last whole entry
    bool sorted;         // keys never decrease from one entry to the next
};

// Reads the file at path into book (which must be empty). Returns 0 on success, 1 when the file
// cannot be opened or read, 2 when memory runs out; on failure the book stays empty.
int load_book(Book& book, const char* path);
void free_book(Book& book);

// Gathers the entries of `key` in file order, at most BOOK_MAX_ENTRIES_PER_KEY, into out (room
// for that many); returns their number. The binary search finds the first entry whose key is
// not below `key`; a file that is not sorted may hide entries from it.
int find_book_entries(const Book& book, u64 key, BookEntry* out);
