// The network file format and loading: byte layout, the writer's round trip, the header checks,
// the three sources, keeping the previous network on every failure, and the embedding.
#include <unistd.h>

#include "eval/nn_embed.h"
#include "nn_test_util.h"

VELLUM_INCBIN(test_tiny_net, VELLUM_TEST_DATA "/tiny.nnue")

namespace {

std::string temp_path(const char* name) { return std::string("/tmp/vellum_nn_") + std::to_string(getpid()) + "_" + name; }

}  // namespace

using NnLoadTest = NnFixture;

TEST_F(NnLoadTest, WriterAndReaderAgreeOnTheLayout) {
    TestNet net = random_net(4, 24, 2, 757);
    const std::string path = temp_path("round.nnue");
    ASSERT_EQ(nn_write_file(path.c_str(), net.h, net.w.data()), 0);
    std::vector<u8> file(24 + 2 * net.w.size());
    FILE* f = fopen(path.c_str(), "rb");
    ASSERT_EQ(fread(file.data(), 1, file.size() + 1, f), file.size());  // nothing after the weights
    fclose(f);
    EXPECT_EQ(file, net_bytes(net));
    NetImage image;
    ASSERT_EQ(nn_read_file(path.c_str(), image, nullptr), NET_READ_OK);
    EXPECT_EQ(std::vector<i16>(image.weights, image.weights + net.w.size()), net.w);
    EXPECT_EQ(image.header.kind, 757);
    nn_free(image);
    // The compiled-in size of the Overview's shape.
    NetHeader h = net.h;
    h.hidden = 1536;
    EXPECT_EQ(nn_l1_count(h), 2359296u);
    EXPECT_EQ(nn_output_count(h), 24576u);
    EXPECT_EQ(nn_bias_count(h), 3072u);
    EXPECT_EQ(nn_weight_count(h), 2386944u);
    // A bucket word holding the input count reads as buckets.
    std::vector<u8> b = net_bytes(net);
    b[8] = u8(1536 & 255), b[9] = u8(1536 >> 8);
    ASSERT_EQ(nn_decode(b.data(), b.size(), image, nullptr), NET_READ_OK);
    EXPECT_EQ(image.header.buckets, 2u);
    nn_free(image);
    // The writer refuses what could not load back, and names it cannot create.
    h.buckets = 3;
    EXPECT_EQ(nn_write_file(path.c_str(), h, net.w.data()), -1);
    EXPECT_EQ(nn_write_file("/nonexistent-dir/x.nnue", net.h, net.w.data()), -1);
    unlink(path.c_str());
}

TEST_F(NnLoadTest, FaultyFilesLeaveThePreviousNetwork) {
    TestNet good = random_net(5, 16, 1);
    const std::string path = temp_path("good.nnue");
    write_bytes(path, net_bytes(good));
    OutputCapture out;
    ASSERT_EQ(load_network(path.c_str(), nullptr), 0);
    const u64 generation = network.generation;
    ASSERT_EQ(nn_reserve(*es, 16), 0);
    setup(START_FEN);
    const int score = nn(1);

    // Each variant breaks one rule; none may replace the network.
    auto variant = [&](int word, u32 value) {
        std::vector<u8> b = net_bytes(good);
        b[2 * word] = u8(value), b[2 * word + 1] = u8(value >> 8);
        return b;
    };
    std::vector<std::vector<u8>> bad = {
        variant(4, 3), variant(4, 65535), variant(4, 767),   // buckets 3, 85, 767
        variant(6, 4), variant(6, 5000), variant(6, 65535),  // hidden out of range
        variant(1, 0), variant(3, 0),                        // Q = 0, S = 0
        variant(6, 32),                                      // H larger than the weights
    };
    std::vector<u8> shorter = net_bytes(good), longer = shorter;
    shorter.pop_back();
    longer.push_back(0);
    bad.push_back(shorter);
    bad.push_back(longer);
    bad.push_back(std::vector<u8>(shorter.begin(), shorter.begin() + 10));
    for (size_t i = 0; i < bad.size(); i++) {
        const std::string p = temp_path(("bad" + std::to_string(i) + ".nnue").c_str());
        write_bytes(p, bad[i]);
        EXPECT_EQ(load_network(p.c_str(), nullptr), -1) << "variant " << i;
        EXPECT_EQ(load_network_image(bad[i].data(), bad[i].size(), "embedded", nullptr), -1) << "variant " << i;
        unlink(p.c_str());
    }
    EXPECT_EQ(load_network("/nonexistent/net.nnue", nullptr), -1);
    // Thread storage that cannot be made ready refuses the network too.
    EXPECT_EQ(install(random_net(6, 16, 1), [](int) { return -1; }), -1);
    EXPECT_EQ(network.generation, generation);
    EXPECT_EQ(std::string(network.source), path);
    EXPECT_EQ(nn(1), score);
    const std::string text = out.text();
    EXPECT_NE(text.find("info string loaded " + path + "\n"), std::string::npos);
    EXPECT_NE(text.find("info string can't open /nonexistent/net.nnue\n"), std::string::npos);
    EXPECT_NE(text.find("is not a usable network: the number of king buckets is not 1 or 2\n"), std::string::npos);
    EXPECT_NE(text.find("is not a usable network: its length does not match its header\n"), std::string::npos);
    EXPECT_NE(text.find("info string keeping the network from " + path + "\n"), std::string::npos);
    unlink(path.c_str());
}

TEST_F(NnLoadTest, NewEmbeddedAndResizedStorage) {
    OutputCapture out;
    // "new": the fresh network's header, all weights zero.
    ASSERT_EQ(load_network("new", nullptr), 0);
    const NetHeader& h = network.image.header;
    EXPECT_EQ(h.kind, 757);
    EXPECT_EQ(h.out_scale, 128);
    EXPECT_EQ(h.buckets, 2u);
    EXPECT_EQ(h.hidden, 1024u);
    EXPECT_EQ(h.count, (768u * 2 + 18) * 1024);
    bool zero = true;
    for (u32 i = 0; i < h.count; i++) zero &= network.image.weights[i] == 0;
    EXPECT_TRUE(zero);

    // The engine's prepare step resizes the thread storage to each network's H.
    static EvalState* prepared;
    prepared = es.get();
    auto prepare = [](int hidden) { return nn_reserve(*prepared, hidden); };
    ASSERT_EQ(install(random_net(7, 40), prepare), 0);
    EXPECT_EQ(es->nn.capacity, 40);
    setup(START_FEN);
    TestNet net = random_net(8, 200);
    ASSERT_EQ(install(net, prepare), 0);
    EXPECT_EQ(es->nn.capacity, 200);
    RefEval ref(net);
    EXPECT_EQ(nn(3), ref.evaluate(pos, 3));

    // The bytes the assembler embedded are the file's, and they load like a compiled-in network.
    const std::vector<u8> embedded(test_tiny_net, test_tiny_net_end);
    FILE* f = fopen(VELLUM_TEST_DATA "/tiny.nnue", "rb");
    std::vector<u8> file(embedded.size() + 1);
    ASSERT_TRUE(f);
    file.resize(fread(file.data(), 1, file.size(), f));
    fclose(f);
    EXPECT_EQ(embedded, file);
    ASSERT_EQ(load_network_image(embedded.data(), embedded.size(), "embedded", prepare), 0);
    EXPECT_EQ(network.image.header.hidden, 8u);
    EXPECT_NE(out.text().find("creating new net...\n"), std::string::npos);
    EXPECT_NE(out.text().find("info string loaded embedded network\n"), std::string::npos);

    // This build's own "embedded": a network when one is compiled in, else the network stays.
    u64 size = 0;
    embedded_network(&size);
    const u64 generation = network.generation;
    EXPECT_EQ(load_network("embedded", prepare), size ? 0 : -1);
    if (!size) {
        EXPECT_EQ(network.generation, generation);
    }
}
