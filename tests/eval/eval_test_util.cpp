#include "eval_test_util.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "core/output.h"

OutputCapture::OutputCapture() { set_output_stream(file); }
OutputCapture::~OutputCapture() {
    set_output_stream(stdout);
    if (file) std::fclose(file);
}
std::string OutputCapture::text() {
    std::string s;
    if (!file) return s;
    std::fflush(file);
    std::rewind(file);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) s.append(buf, n);
    return s;
}

std::vector<std::string> split_fields(const std::string& fen) {
    std::istringstream in(fen);
    std::vector<std::string> f;
    std::string w;
    while (in >> w) f.push_back(w);
    while (f.size() < 4) f.push_back("-");
    return f;
}

static std::vector<std::string> ranks_of(const std::string& placement) {
    std::vector<std::string> ranks;
    std::string cur;
    for (char ch : placement) {
        if (ch == '/') {
            ranks.push_back(cur);
            cur.clear();
        } else {
            cur += ch;
        }
    }
    ranks.push_back(cur);
    return ranks;
}

static std::string join_ranks(const std::vector<std::string>& ranks) {
    std::string s;
    for (size_t i = 0; i < ranks.size(); i++) s += (i ? "/" : "") + ranks[i];
    return s;
}

std::string mirror_colours(const std::string& fen) {
    auto f = split_fields(fen);
    auto ranks = ranks_of(f[0]);
    std::reverse(ranks.begin(), ranks.end());
    for (auto& r : ranks)
        for (char& ch : r)
            if (std::isalpha(static_cast<unsigned char>(ch)))
                ch = std::isupper(static_cast<unsigned char>(ch)) ? char(std::tolower(ch)) : char(std::toupper(ch));
    std::string side = f[1] == "w" ? "b" : "w";
    std::string castling;
    if (f[2] == "-") {
        castling = "-";
    } else {
        std::string upper, lower;
        for (char ch : f[2]) {
            if (std::isupper(static_cast<unsigned char>(ch))) lower += char(std::tolower(ch));
            else upper += char(std::toupper(ch));
        }
        castling = upper + lower;
    }
    std::string ep = f[3];
    if (ep.size() == 2) ep[1] = char('1' + ('8' - ep[1]));
    return join_ranks(ranks) + " " + side + " " + castling + " " + ep;
}

std::string mirror_files(const std::string& fen) {
    auto f = split_fields(fen);
    auto ranks = ranks_of(f[0]);
    for (auto& r : ranks) std::reverse(r.begin(), r.end());
    std::string ep = f[3];
    if (ep.size() == 2) ep[0] = char('a' + ('h' - ep[0]));
    return join_ranks(ranks) + " " + f[1] + " " + f[2] + " " + ep;
}

std::vector<std::string> read_fens(const std::string& path) {
    std::vector<std::string> fens;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        auto f = split_fields(line);
        if (line.find_first_not_of(" \r\t") == std::string::npos) continue;
        fens.push_back(f[0] + " " + f[1] + " " + f[2] + " " + f[3]);
    }
    return fens;
}
