// The training-data converters: -epd2bin (labelled EPD lines to records), -bin2epd (records
// back to EPD lines) and -gentraindata (records split by material into eight files).
#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/validate.h"
#include "core/output.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "tools/tool_io.h"
#include "tools/tools.h"
#include "tools/training_store.h"

namespace {

constexpr int EPD_LINE_LIMIT = 254;
constexpr int EPD_MIN_LINE = 20;
constexpr int BUCKET_FILES = 8;

// Filters that drop a label whose result contradicts its search score.
constexpr float DRAW_MAX_P = 0.9f, DRAW_MIN_P = 0.1f;
constexpr float LOSS_MAX_P = 0.8f, WIN_MIN_P = 0.2f;

struct EpdCounts {
    u64 lines = 0, comments = 0, no_score = 0, bad_position = 0, filtered = 0, too_long = 0;
};

// Returns the record's result r after the consistency filter, or -1 to drop the line.
double filtered_result(double r, float p) {
    if (r == 0.5) return (p > DRAW_MAX_P || p < DRAW_MIN_P) ? -1 : r;
    if (r == 0.0) return p > LOSS_MAX_P ? -1 : TRAINING_RESULT_EPSILON;
    if (r == 1.0) return p < WIN_MIN_P ? -1 : 1.0 - TRAINING_RESULT_EPSILON;
    if (r < TRAINING_RESULT_EPSILON) return TRAINING_RESULT_EPSILON;
    if (r > 1.0 - TRAINING_RESULT_EPSILON) return 1.0 - TRAINING_RESULT_EPSILON;
    return r;
}

// Reads one EPD line into a record; returns 0 when a record was made, else counts why not.
int epd_line_record(const char* line, Position& pos, u8* record, EpdCounts& n) {
    EpdFields f;
    split_epd(line, f);
    if (!f.fen[0]) {
        n.bad_position++;
        return -1;
    }
    if (!f.ce[0] && !f.sc[0]) {
        n.no_score++;
        return -1;
    }
    int ce = f.ce[0] ? atoi(f.ce) : atoi(f.sc);
    int sc = f.sc[0] ? atoi(f.sc) : ce;
    double r = f.gr[0] ? atof(f.gr) : double(win_probability(float(ce)));
    set_fen(pos, f.fen);
    sanitize_ep_square(pos);
    char why[80];
    if (validate_position(pos, why) != 0) {
        n.bad_position++;
        return -1;
    }
    if (sc > TRAINING_SCORE_LIMIT) sc = TRAINING_SCORE_LIMIT;
    if (sc < -TRAINING_SCORE_LIMIT) sc = -TRAINING_SCORE_LIMIT;
    r = filtered_result(r, win_probability(float(sc)));
    if (r < 0) {
        n.filtered++;
        return -1;
    }
    encode_training_record(pos, {result_to_score(r), ce, sc}, record);
    return 0;
}

// "x.bin" for "x.epd": the name up to its first ".epd", then ".bin".
void replace_extension(const char* name, const char* from, const char* to, char* out, int size) {
    const char* at = strstr(name, from);
    const int keep = at ? int(at - name) : int(strlen(name));
    snprintf(out, size_t(size), "%.*s%s", keep, name, to);
}

// A name beside `wanted` that no file has yet: wanted itself, else "<stem>-1<ext>", "-2", ...
void unused_name(const char* wanted, const char* ext, char* out, int size) {
    snprintf(out, size_t(size), "%s", wanted);
    const char* at = strstr(wanted, ext);
    const int stem = at ? int(at - wanted) : int(strlen(wanted));
    for (int k = 1; platform::file_exists(out) && k < 100000; k++)
        snprintf(out, size_t(size), "%.*s-%d%s", stem, wanted, k, ext);
}

int write_all_records(const char* path, const char* input) {
    FILE* out = open_tool_output(path, "wb", input);
    if (!out) return -1;
    const u64 n = training_store.count;
    const size_t written = n ? fwrite(training_store.records, TRAINING_RECORD_BYTES, size_t(n), out) : 0;
    if (fclose(out) != 0 || written != n) {
        tool_message("error writing %s", path);
        return -1;
    }
    return 0;
}

int material_bucket(const Position& pos) {
    int n = 0;
    bool queen = false;
    for (int c = 0; c < 2; c++) {
        for (int type = KNIGHT; type <= QUEEN; type++) n += material_count(pos.material[c], type);
        queen |= material_count(pos.material[c], QUEEN) > 0;
    }
    int bucket = (n + 1) / 2 + (n > 2 && queen ? 1 : 0);
    return bucket > 7 ? 7 : bucket;
}

}  // namespace

int epd_to_bin() {
    const char* input = settings.epd_file;
    if (!has_extension(input, ".epd")) {
        tool_message("-epd2bin needs a file name containing .epd");
        return 1;
    }
    char output[160];
    replace_extension(input, ".epd", ".bin", output, sizeof output);
    set_field(settings.out_file, output);
    FILE* in = open_tool_input(input, "rb");
    if (!in) return 1;
    // Every record needs a line of at least EPD_MIN_LINE characters and its line end.
    const int64_t size = platform::file_size(input);
    if (store_allocate(u64(size > 0 ? size : 0) / (EPD_MIN_LINE + 1) + 1) != 0) {
        fclose(in);
        return 1;
    }
    print_line("reading positions from file %s.", input);
    Position& pos = tool_position();
    LineReader* reader = new LineReader;
    line_reader_open(*reader, in);
    char line[EPD_LINE_LIMIT];
    EpdCounts n;
    u8 record[TRAINING_RECORD_BYTES];
    int len;
    while ((len = read_line(*reader, line, sizeof line)) != -1) {
        if (len == -2) {
            n.too_long++;
            continue;
        }
        n.lines++;
        if (line[0] == ' ' || line[0] == '#' || line[0] == ';' || len < EPD_MIN_LINE) {
            n.comments++;
            continue;
        }
        if (epd_line_record(line, pos, record, n) != 0) continue;
        if (store_append(record) != 0) break;
    }
    fclose(in);
    delete reader;
    print_line("read %.0f positions.\n", double(training_store.count));
    if (n.no_score || n.bad_position || n.filtered || n.too_long)
        tool_message("skipped: %llu without ce or sc, %llu without a usable position, %llu by the result filter, %llu too long",
                     (unsigned long long)n.no_score, (unsigned long long)n.bad_position, (unsigned long long)n.filtered,
                     (unsigned long long)n.too_long);
    const int rc = write_all_records(output, input);
    if (rc == 0) print_line("stored %d positions in %s.\n", int(training_store.count), output);
    store_free();
    return rc == 0 ? 0 : 1;
}

int bin_to_epd() {
    const char* input = settings.train_file;
    if (!has_extension(input, ".bin")) {
        tool_message("-bin2epd needs a file name containing .bin");
        return 1;
    }
    char wanted[160], output[176];
    replace_extension(input, ".bin", ".epd", wanted, sizeof wanted);
    // Never write over an existing file, the input that -epd2bin read among them.
    unused_name(wanted, ".epd", output, sizeof output);
    if (strcmp(output, wanted) != 0) tool_message("%s exists; writing %s", wanted, output);
    set_field(settings.out_file, output);
    if (load_training_file(input) != 0) return 1;
    FILE* out = open_tool_output(output, "w", input);
    if (!out) {
        store_free();
        return 1;
    }
    Position& pos = tool_position();
    char fen[128];
    u64 bad = 0;
    for (u64 i = 0; i < training_store.count; i++) {
        const u8* r = store_record(i);
        if (decode_record_position(r, pos) != RECORD_OK) {
            bad++;
            continue;
        }
        const TrainingLabels l = record_labels(r);
        get_fen(pos, fen, 0);
        fprintf(out, "%s ce %d; sc %d; gr %0.1f;\n", fen, l.ce, l.sc, double(win_probability(float(l.result_score))));
    }
    const bool failed = fclose(out) != 0;
    if (bad) tool_message("skipped %llu records that hold no usable position", (unsigned long long)bad);
    store_free();
    if (failed) {
        tool_message("error writing %s", output);
        return 1;
    }
    return 0;
}

int gen_train_data() {
    const char* input = settings.train_file;
    if (load_training_file(input) != 0) return 1;
    FILE* files[BUCKET_FILES] = {};
    char name[32];
    for (int b = 0; b < BUCKET_FILES; b++) {
        snprintf(name, sizeof name, "tmp__%d.bin", b);
        files[b] = open_tool_output(name, "wb", input);
        if (!files[b]) {
            for (int k = 0; k < b; k++) fclose(files[k]);
            store_free();
            return 1;
        }
    }
    Position& pos = tool_position();
    u64 counts[BUCKET_FILES] = {}, bad = 0;
    bool failed = false;
    for (u64 i = 0; i < training_store.count && !failed; i++) {
        const u8* r = store_record(i);
        if (decode_record_position(r, pos) != RECORD_OK) {
            bad++;
            continue;
        }
        const int b = material_bucket(pos);
        if (fwrite(r, TRAINING_RECORD_BYTES, 1, files[b]) != 1) failed = true;
        counts[b]++;
    }
    for (FILE* f : files)
        if (fclose(f) != 0) failed = true;
    store_free();
    if (bad) tool_message("skipped %llu records that hold no usable position", (unsigned long long)bad);
    if (failed) {
        tool_message("error writing the bucket files");
        return 1;
    }
    tool_message("buckets 0-7: %llu %llu %llu %llu %llu %llu %llu %llu", (unsigned long long)counts[0],
                 (unsigned long long)counts[1], (unsigned long long)counts[2], (unsigned long long)counts[3],
                 (unsigned long long)counts[4], (unsigned long long)counts[5], (unsigned long long)counts[6],
                 (unsigned long long)counts[7]);
    return 0;
}
