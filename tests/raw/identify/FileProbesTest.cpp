#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "raw/identify/FileProbes.h"
#include "tests/support/MemoryFile.h"

using namespace raw;
using testsupport::MemoryFile;

namespace {

struct Probe {
    explicit Probe(std::vector<uint8_t> bytes) : file(std::move(bytes)) { s->input_file = file.get(); }
    MemoryFile file;
    std::unique_ptr<DecoderState> s = std::make_unique<DecoderState>();
};

// A file whose last 2000 bytes hold `each` copies of 00, 55, AA and FF (the rest 0x11).
std::vector<uint8_t> tail_with(int each) {
    std::vector<uint8_t> bytes(5000, 0x11);
    size_t at = bytes.size() - 2000;
    for (uint8_t v : {0x00, 0x55, 0xAA, 0xFF})
        for (int i = 0; i < each; ++i)
            bytes[at++] = v;
    return bytes;
}

std::vector<uint8_t> pattern_groups(int groups) {
    std::vector<uint8_t> bytes;
    for (int g = 0; g < groups; ++g) {
        uint8_t d[12] = {0, 3, 0x30, 0, 0x30, 0, 3, 0x30, 3, 0x30, 0, 3};
        bytes.insert(bytes.end(), d, d + 12);
    }
    return bytes;
}

} // namespace

TEST(FileProbes, TailHistogram) {
    EXPECT_TRUE(tail_histogram_check(*Probe(tail_with(200)).s));
    EXPECT_FALSE(tail_histogram_check(*Probe(tail_with(199)).s));
    EXPECT_FALSE(tail_histogram_check(*Probe(std::vector<uint8_t>(100, 0)).s));
}

TEST(FileProbes, PackedPattern) {
    EXPECT_TRUE(packed_pattern_check(*Probe(pattern_groups(1024)).s));
    std::vector<uint8_t> broken = pattern_groups(1024);
    broken[1000 * 12 + 8] = 2; // one group lacks a low bit
    EXPECT_FALSE(packed_pattern_check(*Probe(broken).s));
    EXPECT_FALSE(packed_pattern_check(*Probe(pattern_groups(1000)).s)); // too short
}

TEST(FileProbes, TailNonZero) {
    for (int nonzero : {20, 21}) {
        std::vector<uint8_t> bytes(1000, 7);
        std::fill(bytes.end() - 424, bytes.end(), 0);
        std::fill(bytes.end() - nonzero, bytes.end(), 9);
        EXPECT_EQ(tail_nonzero_check(*Probe(bytes).s), nonzero > 20);
    }
    EXPECT_TRUE(tail_nonzero_check(*Probe(std::vector<uint8_t>(30, 1)).s));
}

TEST(FileProbes, ModelFromCodeBits) {
    struct Case {
        uint8_t byte8, byte20;
        const char* make;
        const char* model;
    };
    const Case cases[] = {
        {0xFC, 0xF0, "Pentax", "Optio 33WR"}, // only the low two bits count
        {0, 3, "Nikon", "E3200"},
        {3, 2, "Nikon", "E3700"},
        {3, 3, "Olympus", "C740UZ"},
        {1, 1, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(3072 + 24, 0);
        bytes[3072 + 8] = c.byte8;
        bytes[3072 + 20] = c.byte20;
        Probe p(bytes);
        std::strcpy(p.s->camera_make, "before");
        EXPECT_EQ(model_from_code_bits(*p.s), c.make != nullptr) << int(c.byte8) << "," << int(c.byte20);
        EXPECT_STREQ(p.s->camera_make, c.make ? c.make : "before");
        if (c.model) {
            EXPECT_STREQ(p.s->camera_model, c.model);
        }
    }
    EXPECT_FALSE(model_from_code_bits(*Probe(std::vector<uint8_t>(3080, 0)).s));
}
