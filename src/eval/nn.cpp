// The process-wide network and its loading from the three sources.
#include "eval/nn.h"

#include <cstring>

#include "core/output.h"
#include "core/settings.h"
#include "eval/eval.h"

Network network = {};

namespace {

constexpr const char* SOURCE_EMBEDDED = "embedded";
constexpr const char* SOURCE_NEW = "new";

// The header of a fresh network for the training tools.
NetHeader new_network_header() {
    NetHeader h{};
    h.kind = NET_KIND_OPPOSITE_WINGS;
    h.out_scale = 128;
    h.aux_scale = 2048;
    h.cp_scale = 400;
    h.buckets = 2;
    h.field5 = 0;
    h.hidden = 1024;
    h.field7 = 0;
    h.field8 = 0;
    h.field9 = 5;
    h.count = u32(nn_weight_count(h));
    return h;
}

void report_kept() {
    if (network.loaded) print_line("info string keeping the network from %s", network.source);
    else print_line("info string no network loaded, using the hand-crafted evaluation");
}

// Makes the candidate the current network once the thread storage can hold it; frees it
// otherwise. Returns 0 when it was installed.
int install(NetImage& candidate, const char* label, NetworkPrepare prepare) {
    if (prepare && prepare(int(candidate.header.hidden)) != 0) {
        nn_free(candidate);
        print_line("info string not enough memory for the network's per-thread storage");
        report_kept();
        return -1;
    }
    nn_free(network.image);
    network.image = candidate;
    const NetHeader& h = network.image.header;
    network.l1 = network.image.weights;
    network.output = network.l1 + nn_l1_count(h);
    network.bias = network.output + nn_output_count(h);
    network.loaded = true;
    network.generation++;
    set_field(network.source, label);
    return 0;
}

// Prints why a candidate could not be read and what the engine evaluates with now.
void report_failure(int result, const char* name, const char* fault) {
    switch (result) {
        case NET_READ_CANT_OPEN: print_line("info string can't open %s", name); break;
        case NET_READ_BAD_HEADER: print_line("info string %s is not a usable network: %s", name, fault); break;
        case NET_READ_BAD_LENGTH:
            print_line("info string %s is not a usable network: its length does not match its header", name);
            break;
        case NET_READ_NO_MEMORY: print_line("info string allocating memory for net failed!"); break;
        default: print_line("info string %s could not be read to its end", name); break;
    }
    report_kept();
}

}  // namespace

int load_network_image(const u8* bytes, u64 size, const char* label, NetworkPrepare prepare) {
    NetImage candidate;
    const char* fault = "";
    const int result = nn_decode(bytes, size, candidate, &fault);
    if (result != NET_READ_OK) {
        report_failure(result, label, fault);
        return -1;
    }
    if (install(candidate, label, prepare) != 0) return -1;
    if (!strcmp(label, SOURCE_EMBEDDED)) print_line("info string loaded embedded network");
    else print_line("info string loaded %s", label);
    return 0;
}

int load_network(const char* source, NetworkPrepare prepare) {
    if (!strcmp(source, SOURCE_EMBEDDED)) {
        u64 size = 0;
        const u8* bytes = embedded_network(&size);
        if (size) return load_network_image(bytes, size, SOURCE_EMBEDDED, prepare);
        if (network.loaded) print_line("info string no network is compiled into this build, keeping the network from %s", network.source);
        else eval_startup_note();
        return -1;
    }
    if (!strcmp(source, SOURCE_NEW)) {
        print_line("creating new net...");
        NetImage candidate;
        if (nn_allocate(candidate, new_network_header()) != 0) {  // zero-filled
            report_failure(NET_READ_NO_MEMORY, source, "");
            return -1;
        }
        return install(candidate, SOURCE_NEW, prepare);
    }
    NetImage candidate;
    const char* fault = "";
    const int result = nn_read_file(source, candidate, &fault);
    if (result != NET_READ_OK) {
        report_failure(result, source, fault);
        return -1;
    }
    if (install(candidate, source, prepare) != 0) return -1;
    print_line("info string loaded %s", source);
    return 0;
}

void unload_network() {
    nn_free(network.image);
    network.l1 = network.output = network.bias = nullptr;
    network.loaded = false;
    network.generation++;
    network.source[0] = 0;
}
