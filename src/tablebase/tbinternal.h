// Records shared by the tablebase units: the registry entries, the decoding records built
// when a file is loaded, and the table lookup used by the probes.
#pragma once

#include <atomic>

#include "core/types.h"
#include "tablebase/tbchess.h"

// Kinds of table files. DTM files are found and counted but never loaded.
enum TbKind { TB_WDL = 0, TB_DTM = 1, TB_DTZ = 2 };
constexpr const char* TB_EXTENSIONS[3] = {".rtbw", ".rtbm", ".rtbz"};
constexpr u32 TB_MAGIC[3] = {0x5d23e871, 0x88ac504b, 0xa50c66d7};

constexpr int TB_PIECES = 7;     // most pieces in a table, kings included
constexpr int TB_MAX_SYMS = 4096;
constexpr int TB_HASH_SLOTS = 4096;
constexpr int TB_MAX_PIECE_ENTRIES = 650;
constexpr int TB_MAX_PAWN_ENTRIES = 861;

// Decoding record of one compressed sub-table.
struct TbPairs {
    const u8* main_index;  // 6-byte entries: u32 block, u16 offset
    const u8* size_table;  // u16 per block: values in the block minus one
    const u8* data;        // the blocks
    const u8* symbols;     // 3 bytes per symbol
    const u8* first;       // u16 per code length, from min_len
    u16* sym_len;          // values a symbol stands for, minus one
    u64 base[33];          // smallest code of each length, left-aligned
    u64 index_entries;
    u32 blocks;            // data blocks
    u32 size_entries;      // blocks + extra
    u16 num_syms;
    u8 flags;
    u8 single_value;       // set with flag 0x80: every position holds this value
    u8 block_bits;
    u8 index_bits;
    u8 min_len;
    u8 max_len;
};

// Encoding record of one sub-table (per pawn file and side to move).
struct TbSubTable {
    u8 pieces[TB_PIECES];  // stored piece codes, in list order
    u8 norm[TB_PIECES];    // size of the group starting at each position, 0 inside a group
    u64 factor[TB_PIECES]; // multiplier of the group starting at each position
    u64 size;              // number of indices
    TbPairs pairs;
};

// Everything decoded from one loaded file.
struct TbTable {
    TbSubTable sub[4][2];  // [pawn file][side]; piece tables use file 0, DTZ side 0
    const u8* map;         // DTZ value maps
    u32 map_offset[4][4];  // per file and WDL class, in entries from `map`
    u8 dtz_flags[4];       // per file
    u8 files;              // 4 for pawn tables, else 1
    u8 sides;              // sub-tables per file
    u8 lead_code;          // piece code of the leading pawns (table orientation)
    u16* sym_len_storage;
    const u8* file_end;    // one past the last mapped byte
};

// Load state of one file kind of an entry.
enum TbLoadState { TB_UNLOADED = 0, TB_READY = 1, TB_FAILED = 2 };

struct TbFile {
    std::atomic<int> state;
    std::atomic<int> reported;  // set once a fault found while probing has been printed
    const u8* data;
    u64 size;
    TbTable* table;
    int directory;              // index in the directory list, -1 when absent
};

struct TbEntry {
    u64 key;         // material key with the colour named first as White
    char name[16];   // e.g. "KRPvKR"
    u8 count[16];    // pieces per piece code (table orientation)
    u8 num;          // pieces, kings included
    u8 symmetric;
    u8 has_pawns;
    u8 kk;           // the kings are the only unique pieces
    u8 pawns[2];     // leading and other pawn counts
    u8 has_dtm;
    u8 has_dtz;
    TbFile file[3];  // indexed by TbKind
};

// Material key of a prober position (or of its colour swap).
u64 tb_material_key(const TbPosition& pos, bool swap_colours);
// Registry lookup; nullptr when the material has no table.
TbEntry* tb_find_entry(u64 key);
// Makes sure the file of `kind` is mapped and parsed; returns its table or nullptr.
TbTable* tb_load(TbEntry* entry, int kind);
// Reports a fault found while decoding a loaded file (once) and takes the file out of use.
void tb_report_fault(TbEntry* entry, int kind, const char* why);

// Parses and checks a mapped file; on success fills `out` (allocating the symbol lengths).
// On failure writes a short reason into `why` (80 bytes) and returns -1.
int tb_parse_table(const TbEntry& entry, int kind, const u8* data, u64 size, TbTable& out, char* why);
void tb_free_table(TbTable& table);

// Table lookup. WDL: returns the stored value -2..2. DTZ: takes the position's WDL and returns
// the distance. `success` is set to 0 on failure and to -1 when a DTZ file holds only the other
// side to move.
int probe_table(const TbPosition& pos, int kind, int wdl, int* success);
// The index a position has in its sub-table (for tests); 0 on success.
int tb_table_index(const TbPosition& pos, int kind, u64* index);

int probe_wdl(const TbPosition& pos, int* success);
// Whether the search may probe a position of this many pieces at this remaining depth.
bool tb_probe_allowed(int pieces, int depth, bool castling);
int probe_dtz(const TbPosition& pos, int* success);

constexpr int WDL_TO_DTZ[5] = {-1, -101, 0, 101, 1};
