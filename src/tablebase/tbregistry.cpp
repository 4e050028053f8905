// The registry of tablebase files: the directory list, the enumeration of every material
// signature at initialisation, the key hash, and the lazy loading of files on first probe.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "board/tables.h"
#include "core/output.h"
#include "platform/platform.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbconst.h"
#include "tablebase/tbinternal.h"

int TB_LARGEST = 0;

namespace {

// Material key constants per colour and kind (pawn .. queen; kings count nothing).
constexpr u64 MATERIAL_CONSTANT[2][6] = {
    {0, 0xec0ade190c0f6003, 0xd2fb81862830191f, 0xaadc1a2be446234d, 0x985deb9fc49333f9, 0xa3ec1abc71e90863},
    {0, 0xa24f0f571bb202e7, 0xbaeb854cd3259441, 0xd5a4c95928f2fbe3, 0xfd7866b439b94495, 0xd6e4e47d24962951},
};

constexpr int PATH_BUFFER = 4096;

// Sanitizer builds decode from an exact-size heap copy of each file instead of the mapping:
// a mapping ends mid-page, so a read just past its end would go unnoticed there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool DECODE_FROM_HEAP_COPY = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool DECODE_FROM_HEAP_COPY = true;
#else
constexpr bool DECODE_FROM_HEAP_COPY = false;
#endif
#else
constexpr bool DECODE_FROM_HEAP_COPY = false;
#endif

struct HashSlot {
    u64 key;
    TbEntry* entry;
};

TbEntry piece_entries[TB_MAX_PIECE_ENTRIES];
TbEntry pawn_entries[TB_MAX_PAWN_ENTRIES];
int piece_entry_count = 0;
int pawn_entry_count = 0;
HashSlot hash_slots[TB_HASH_SLOTS];

char* directory_text = nullptr;  // private copy of the path, cut into names in place
const char** directories = nullptr;
int directory_count = 0;

int wdl_count = 0, dtm_count = 0, dtz_count = 0;
int largest = 0, largest_dtm = 0;

platform::Mutex load_mutex;
bool constants_ready = false;

int full_name(char* out, int directory, const char* name, int kind) {
    int n = snprintf(out, PATH_BUFFER, "%s%c%s%s", directories[directory], platform::directory_separator(), name,
                     TB_EXTENSIONS[kind]);
    return (n > 0 && n < PATH_BUFFER) ? 0 : -1;
}

// The first directory that holds the file, or -1. A file found with a size that cannot be
// complete is reported and not used.
int locate_file(const char* name, int kind) {
    char path[PATH_BUFFER];
    for (int d = 0; d < directory_count; d++) {
        if (full_name(path, d, name, kind) != 0 || !platform::file_exists(path)) continue;
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(path, error);
        if (error || size % 64 != 16) {
            print_line("info string Incomplete tablebase file %s%s", name, TB_EXTENSIONS[kind]);
            return -1;
        }
        return d;
    }
    return -1;
}

void release_file(TbFile& file) {
    if (file.table) {
        tb_free_table(*file.table);
        std::free(file.table);
    }
    if (file.data && DECODE_FROM_HEAP_COPY) std::free(const_cast<u8*>(file.data));
    else if (file.data) platform::unmap_file(file.data, file.size);
    file.table = nullptr;
    file.data = nullptr;
    file.size = 0;
    file.directory = -1;
    file.state.store(TB_UNLOADED, std::memory_order_relaxed);
    file.reported.store(0, std::memory_order_relaxed);
}

void release_all() {
    for (int i = 0; i < piece_entry_count; i++)
        for (TbFile& f : piece_entries[i].file) release_file(f);
    for (int i = 0; i < pawn_entry_count; i++)
        for (TbFile& f : pawn_entries[i].file) release_file(f);
    piece_entry_count = pawn_entry_count = 0;
    std::memset(hash_slots, 0, sizeof hash_slots);
    std::free(directory_text);
    std::free(directories);
    directory_text = nullptr;
    directories = nullptr;
    directory_count = 0;
    wdl_count = dtm_count = dtz_count = 0;
    largest = largest_dtm = 0;
    TB_LARGEST = 0;
}

// Copies the path and cuts it into directory names, skipping empty pieces and reporting
// directories that do not exist.
int split_directories(const char* path) {
    const size_t length = std::strlen(path);
    directory_text = static_cast<char*>(std::malloc(length + 1));
    directories = static_cast<const char**>(std::malloc(sizeof(const char*) * (length / 2 + 2)));
    if (!directory_text || !directories) return -1;
    std::memcpy(directory_text, path, length + 1);
    char* p = directory_text;
    while (*p) {
        while (*p && platform::is_path_list_separator(*p)) *p++ = 0;
        if (!*p) break;
        char* start = p;
        while (*p && !platform::is_path_list_separator(*p)) p++;
        if (*p) *p++ = 0;
        if (!platform::is_directory(start)) {
            print_line("info string Tablebase directory not found: %s", start);
            continue;
        }
        directories[directory_count++] = start;
    }
    return 0;
}

void insert_key(u64 key, TbEntry* entry) {
    int slot = int(key >> 52);
    for (int tries = 0; tries < TB_HASH_SLOTS; tries++) {
        if (hash_slots[slot].key == 0 || hash_slots[slot].key == key) {
            hash_slots[slot].key = key;
            hash_slots[slot].entry = entry;
            return;
        }
        slot = (slot + 1) & (TB_HASH_SLOTS - 1);
    }
    print_line("info string Tablebase hash full, %s not registered", entry->name);
}

u64 key_of_counts(const u8* count, bool swap) {
    u64 key = 0;
    for (int colour = 0; colour < 2; colour++)
        for (int kind = TB_PAWN; kind <= TB_QUEEN; kind++)
            key += u64(count[8 * colour + kind]) * MATERIAL_CONSTANT[colour ^ (swap ? 1 : 0)][kind];
    return key;
}

void register_table(const char* name) {
    const int wdl_dir = locate_file(name, TB_WDL);
    if (wdl_dir < 0) return;

    u8 count[16] = {};
    int colour = 0;
    for (const char* c = name; *c; c++) {
        if (*c == 'v') {
            colour = 1;
            continue;
        }
        const char* letter = std::strchr(TB_PIECE_LETTERS, *c);
        if (letter) count[8 * colour + int(letter - TB_PIECE_LETTERS)]++;
    }
    const bool has_pawns = count[TB_PAWN] + count[8 + TB_PAWN] > 0;
    TbEntry* entry = nullptr;
    if (has_pawns && pawn_entry_count < TB_MAX_PAWN_ENTRIES) entry = &pawn_entries[pawn_entry_count++];
    if (!has_pawns && piece_entry_count < TB_MAX_PIECE_ENTRIES) entry = &piece_entries[piece_entry_count++];
    if (!entry) return;

    std::memcpy(entry->count, count, sizeof count);
    std::snprintf(entry->name, sizeof entry->name, "%s", name);
    entry->key = key_of_counts(count, false);
    const u64 swapped = key_of_counts(count, true);
    entry->num = 0;
    int unique = 0;
    for (int code = 0; code < 16; code++) {
        entry->num = u8(entry->num + count[code]);
        if (count[code] == 1) unique++;
    }
    entry->symmetric = entry->key == swapped;
    entry->has_pawns = has_pawns;
    entry->kk = !has_pawns && unique == 2;
    // The colour with fewer pawns leads; White on equal counts; a side without pawns never does.
    const int white_pawns = count[TB_PAWN], black_pawns = count[8 + TB_PAWN];
    const bool black_leads = black_pawns > 0 && (white_pawns == 0 || black_pawns < white_pawns);
    entry->pawns[0] = u8(black_leads ? black_pawns : white_pawns);
    entry->pawns[1] = u8(black_leads ? white_pawns : black_pawns);

    for (TbFile& f : entry->file) {
        f.data = nullptr;
        f.table = nullptr;
        f.size = 0;
        f.directory = -1;
        f.state.store(TB_UNLOADED, std::memory_order_relaxed);
        f.reported.store(0, std::memory_order_relaxed);
    }
    entry->file[TB_WDL].directory = wdl_dir;
    entry->file[TB_DTM].directory = locate_file(name, TB_DTM);
    entry->file[TB_DTZ].directory = locate_file(name, TB_DTZ);
    entry->has_dtm = entry->file[TB_DTM].directory >= 0;
    entry->has_dtz = entry->file[TB_DTZ].directory >= 0;

    wdl_count++;
    if (entry->has_dtm) dtm_count++;
    if (entry->has_dtz) dtz_count++;
    if (entry->num > largest) largest = entry->num;
    if (entry->has_dtm && entry->num > largest_dtm) largest_dtm = entry->num;

    insert_key(entry->key, entry);
    if (swapped != entry->key) insert_key(swapped, entry);
}

// Every signature of up to seven pieces, each material once: letters run from the strongest
// (Q) to the weakest (P) and never grow stronger within a side; with equally many pieces on
// both sides the side written first is the stronger one letter by letter.
constexpr char LETTERS[5] = {'Q', 'R', 'B', 'N', 'P'};

void enumerate_side(int white, int black, int* picks, int placed, int min_letter) {
    if (placed == white + black) {
        if (white == black) {
            for (int i = 0; i < white; i++) {
                if (picks[i] < picks[white + i]) break;
                if (picks[i] > picks[white + i]) return;
            }
        }
        char name[16];
        int n = 0;
        name[n++] = 'K';
        for (int i = 0; i < white; i++) name[n++] = LETTERS[picks[i]];
        name[n++] = 'v';
        name[n++] = 'K';
        for (int i = 0; i < black; i++) name[n++] = LETTERS[picks[white + i]];
        name[n] = 0;
        register_table(name);
        return;
    }
    const int from = placed == white ? 0 : min_letter;
    for (int letter = from; letter < 5; letter++) {
        picks[placed] = letter;
        enumerate_side(white, black, picks, placed + 1, letter);
    }
}

void enumerate_signatures() {
    // Shapes (pieces besides the kings, per side) in the order they are tried.
    constexpr int SHAPES[11][2] = {{1, 0}, {1, 1}, {2, 0}, {2, 1}, {3, 0}, {2, 2},
                                   {3, 1}, {4, 0}, {5, 0}, {4, 1}, {3, 2}};
    for (const auto& shape : SHAPES) {
        int picks[8];
        enumerate_side(shape[0], shape[1], picks, 0, 0);
    }
}

bool load_file(TbEntry* entry, int kind) {
    TbFile& file = entry->file[kind];
    char path[PATH_BUFFER];
    if (file.directory < 0 || full_name(path, file.directory, entry->name, kind) != 0) return false;
    u64 size = 0;
    const u8* data = static_cast<const u8*>(platform::map_file(path, &size));
    if (!data) {
        print_line("info string Could not map %s into memory.", path);
        return false;
    }
    if (DECODE_FROM_HEAP_COPY) {
        u8* copy = static_cast<u8*>(std::malloc(size));
        if (copy) std::memcpy(copy, data, size);
        platform::unmap_file(data, size);
        if (!copy) {
            print_line("info string Could not map %s into memory.", path);
            return false;
        }
        data = copy;
    }
    char why[80] = "";
    if (size < 16 || size % 64 != 16) {
        std::snprintf(why, sizeof why, "incomplete file");
    } else {
        const u32 magic = u32(data[0]) | u32(data[1]) << 8 | u32(data[2]) << 16 | u32(data[3]) << 24;
        if (magic != TB_MAGIC[kind]) std::snprintf(why, sizeof why, "wrong magic");
    }
    TbTable* table = nullptr;
    if (!why[0]) {
        table = static_cast<TbTable*>(std::calloc(1, sizeof(TbTable)));
        if (!table) std::snprintf(why, sizeof why, "out of memory");
        else if (tb_parse_table(*entry, kind, data, size, *table, why) != 0) {
            std::free(table);
            table = nullptr;
        }
    }
    if (!table) {
        print_line("info string Corrupted table. %s: %s", path, why);
        if (DECODE_FROM_HEAP_COPY) std::free(const_cast<u8*>(data));
        else platform::unmap_file(data, size);
        return false;
    }
    file.data = data;
    file.size = size;
    file.table = table;
    return true;
}

}  // namespace

u64 tb_material_key(const TbPosition& pos, bool swap_colours) {
    u64 key = 0;
    for (int colour = 0; colour < 2; colour++) {
        const u64 side = tb_colour_bb(pos, colour);
        const int constant_row = colour ^ (swap_colours ? 1 : 0);
        for (int kind = TB_PAWN; kind <= TB_QUEEN; kind++)
            key += u64(popcount(side & tb_kind_bb(pos, kind))) * MATERIAL_CONSTANT[constant_row][kind];
    }
    return key;
}

TbEntry* tb_find_entry(u64 key) {
    if (key == 0) return nullptr;
    int slot = int(key >> 52);
    for (int tries = 0; tries < TB_HASH_SLOTS; tries++) {
        const HashSlot& s = hash_slots[slot];
        if (s.key == key) return s.entry;
        if (s.key == 0) return nullptr;
        slot = (slot + 1) & (TB_HASH_SLOTS - 1);
    }
    return nullptr;
}

TbTable* tb_load(TbEntry* entry, int kind) {
    TbFile& file = entry->file[kind];
    int state = file.state.load(std::memory_order_acquire);
    if (state == TB_UNLOADED) {
        platform::mutex_lock(load_mutex);
        state = file.state.load(std::memory_order_acquire);
        if (state == TB_UNLOADED) {
            state = load_file(entry, kind) ? TB_READY : TB_FAILED;
            file.state.store(state, std::memory_order_release);
        }
        platform::mutex_unlock(load_mutex);
    }
    return state == TB_READY ? file.table : nullptr;
}

void tb_report_fault(TbEntry* entry, int kind, const char* why) {
    TbFile& file = entry->file[kind];
    // The mapping stays until the next initialisation: other threads may still be reading it.
    file.state.store(TB_FAILED, std::memory_order_release);
    if (file.reported.exchange(1) == 0)
        print_line("info string Corrupted table. %s%s: %s", entry->name, TB_EXTENSIONS[kind], why);
}

int tb_init(const char* path) {
    if (!constants_ready) {
        init_tables();
        tb_init_constants();
        platform::mutex_init(load_mutex);
        constants_ready = true;
    }
    release_all();
    if (!path || !path[0] || std::strcmp(path, "<empty>") == 0) return 0;
    if (split_directories(path) != 0) {
        print_line("info string Out of memory for the tablebase path");
        release_all();
        return 0;
    }
    enumerate_signatures();
    TB_LARGEST = largest > largest_dtm ? largest : largest_dtm;
    print_line("info string Found %d WDL, %d DTM and %d DTZ tablebase files. Largest %d-men", wdl_count, dtm_count,
               dtz_count, TB_LARGEST);
    return wdl_count;
}

void tb_free() {
    release_all();
    if (constants_ready) platform::mutex_destroy(load_mutex);
    constants_ready = false;
}

int tb_wdl_count() { return wdl_count; }
int tb_dtm_count() { return dtm_count; }
int tb_dtz_count() { return dtz_count; }
