#include "book/book_file.h"

#include <cstdlib>
#include <cstring>

void book_entry_from_bytes(const u8* b, BookEntry& e) {
    e.key = 0;
    for (int i = 0; i < 8; i++) e.key = (e.key << 8) | b[i];
    e.move = u16((b[8] << 8) | b[9]);
    e.weight = u16((b[10] << 8) | b[11]);
    e.learn = (u32(b[12]) << 24) | (u32(b[13]) << 16) | (u32(b[14]) << 8) | u32(b[15]);
}

void book_entry_to_bytes(const BookEntry& e, u8* b) {
    for (int i = 0; i < 8; i++) b[i] = u8(e.key >> (56 - 8 * i));
    b[8] = u8(e.move >> 8);
    b[9] = u8(e.move);
    b[10] = u8(e.weight >> 8);
    b[11] = u8(e.weight);
    for (int i = 0; i < 4; i++) b[12 + i] = u8(e.learn >> (24 - 8 * i));
}

int read_book_entry(FILE* file, BookEntry& entry) {
    u8 bytes[BOOK_ENTRY_BYTES];
    for (int i = 0; i < BOOK_ENTRY_BYTES; i++) {
        const int c = fgetc(file);
        if (c == EOF) return 1;
        bytes[i] = u8(c);
    }
    book_entry_from_bytes(bytes, entry);
    return 0;
}

int write_book_entry(FILE* file, const BookEntry& entry) {
    u8 bytes[BOOK_ENTRY_BYTES];
    book_entry_to_bytes(entry, bytes);
    return fwrite(bytes, 1, BOOK_ENTRY_BYTES, file) == BOOK_ENTRY_BYTES ? 0 : -1;
}

int load_book(Book& book, const char* path) {
    book = Book{nullptr, 0, 0, true};
    FILE* f = fopen(path, "rb");
    if (!f) return 1;
    // Reads in blocks of whole entries; the file's size is whatever the reads deliver.
    constexpr u32 BLOCK_ENTRIES = 4096;
    u8 block[BLOCK_ENTRIES * BOOK_ENTRY_BYTES];
    u32 capacity = 0;
    int rc = 0;
    size_t got;
    while ((got = fread(block, 1, sizeof block, f)) > 0) {
        const u32 whole = u32(got / BOOK_ENTRY_BYTES);
        book.trailing_bytes = u32(got % BOOK_ENTRY_BYTES);
        if (book.count + whole > capacity) {
            const u32 wanted = capacity ? capacity * 2 : BLOCK_ENTRIES;
            if (wanted < capacity) {  // would wrap: more entries than a book can index
                rc = 2;
                break;
            }
            auto* grown = static_cast<BookEntry*>(realloc(book.entries, size_t(wanted) * sizeof(BookEntry)));
            if (!grown) {
                rc = 2;
                break;
            }
            book.entries = grown;
            capacity = wanted;
        }
        for (u32 i = 0; i < whole; i++) {
            BookEntry& e = book.entries[book.count + i];
            book_entry_from_bytes(block + i * BOOK_ENTRY_BYTES, e);
            if (book.count + i > 0 && e.key < book.entries[book.count + i - 1].key) book.sorted = false;
        }
        book.count += whole;
        // A block that ends inside an entry is the end of the file (fread fills whole blocks).
        if (got < sizeof block) break;
    }
    if (ferror(f)) rc = 1;
    fclose(f);
    if (rc) free_book(book);
    return rc;
}

void free_book(Book& book) {
    free(book.entries);
    book = Book{nullptr, 0, 0, true};
}

int find_book_entries(const Book& book, u64 key, BookEntry* out) {
    if (book.count == 0) return 0;
    // lo and hi bracket the first entry whose key is at least `key`; the last entry is the
    // candidate until the search finds an earlier one.
    i64 lo = -1, hi = i64(book.count) - 1;
    while (hi - lo > 1) {
        const i64 mid = (lo + hi) / 2;
        if (book.entries[mid].key >= key) hi = mid;
        else lo = mid;
    }
    int n = 0;
    for (u32 i = u32(hi); i < book.count && book.entries[i].key == key && n < BOOK_MAX_ENTRIES_PER_KEY; i++)
        out[n++] = book.entries[i];
    return n;
}
