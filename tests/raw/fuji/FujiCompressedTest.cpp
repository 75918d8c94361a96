// Compressed Fuji data: header refusals, exact round trips through a test encoder for
// Bayer and X-Trans frames, and damaged strips that must end in the decoder's texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "raw/core/BandRunner.h"
#include "raw/core/DCRaw.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"
#include "tests/support/FujiCompressedEncoder.h"
#include "tests/support/Samples.h"
#include "tests/support/TempHome.h"

namespace {

using testsupport::FujiCompressedFrame;
using testsupport::FujiCompressedHeader;
using testsupport::LoaderRig;

constexpr const char* kNotReadable = "Could not read from RAF file";
constexpr const char* kEof = "Lumivar_Fuji_Compressed_Exception_IO_EOF";

enum class Fill { gradient, noise, steps };

FujiCompressedFrame makeFrame(bool xtrans, int width, int height, int bits, Fill fill, unsigned seed = 1) {
    FujiCompressedFrame f;
    f.xtrans = xtrans;
    f.width = width;
    f.height = height;
    f.bits = bits;
    f.xtransColours = testsupport::fujiXTransColours();
    f.photosites.resize(size_t(width) * size_t(height));
    const int top = (1 << bits) - 1;
    std::mt19937 rng(seed);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            int v = 0;
            switch (fill) {
            case Fill::gradient:
                v = (c * 3 + r * 11) % (top + 1);
                break;
            case Fill::noise:
                v = int(rng() % uint32_t(top + 1));
                break;
            // Flat areas with full-range jumps: long runs of small codes, then escapes.
            case Fill::steps:
                v = ((c / 40 + r / 6) % 2) ? top : int(rng() % 8);
                break;
            }
            f.photosites[size_t(r) * size_t(width) + size_t(c)] = uint16_t(v);
        }
    return f;
}

// A rig whose raw buffer is exactly the frame, with the colours the decoder copies by.
std::unique_ptr<LoaderRig> rigFor(const FujiCompressedFrame& f, std::vector<uint8_t> bytes,
                                  int extraWidth = 0, int extraHeight = 0) {
    auto rig = std::make_unique<LoaderRig>(std::move(bytes), uint16_t(f.width + extraWidth),
                                           uint16_t(f.height + extraHeight));
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            rig->s->xtrans_sensor_layout[r][c] = int8_t(f.xtransColours[size_t(r)][size_t(c)]);
    rig->s->cfa_pattern = f.xtrans ? 9 : f.bayerPattern;
    return rig;
}

// Photosites of the decoded frame that differ from the coded ones, within columns [from, to).
int mismatches(const LoaderRig& rig, const FujiCompressedFrame& f, int from = 0, int to = -1, int rows = -1) {
    if (to < 0) to = f.width;
    if (rows < 0) rows = f.height;
    int bad = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = from; c < to; ++c)
            bad += rig.raw[size_t(r) * f.width + size_t(c)] != f.photosites[size_t(r) * f.width + size_t(c)];
    return bad;
}

// --- header refusals -------------------------------------------------------------

struct HeaderCase {
    const char* what;
    void (*breakIt)(FujiCompressedHeader&);
};

const HeaderCase kHeaderCases[] = {
    {"signature", [](FujiCompressedHeader& h) { h.signature = 0x4954; }},
    {"version 2", [](FujiCompressedHeader& h) { h.version = 2; }},
    {"raw type 8", [](FujiCompressedHeader& h) { h.rawType = 8; }},
    {"13 raw bits", [](FujiCompressedHeader& h) { h.rawBits = 13; }},
    {"height not a multiple of 6", [](FujiCompressedHeader& h) { h.rawHeight = 10; }},
    {"height of 0", [](FujiCompressedHeader& h) { h.rawHeight = 0, h.lineGroups = 0; }},
    {"height over 0x3000", [](FujiCompressedHeader& h) { h.rawHeight = 0x3006, h.lineGroups = 0x3006 / 6; }},
    {"rounded width not a multiple of 768", [](FujiCompressedHeader& h) { h.roundedWidth = 1000; }},
    {"rounded width 768 past the raw width",
     [](FujiCompressedHeader& h) { h.roundedWidth = 1536, h.strips = 2; }},
    {"rounded width below the raw width", [](FujiCompressedHeader& h) { h.rawWidth = 792; }},
    {"raw width not a multiple of 24",
     [](FujiCompressedHeader& h) { h.rawWidth = 780, h.roundedWidth = 1536, h.strips = 2; }},
    {"raw width below 768", [](FujiCompressedHeader& h) { h.rawWidth = 744; }},
    {"strip width 384", [](FujiCompressedHeader& h) { h.stripWidth = 384; }},
    {"17 strips", [](FujiCompressedHeader& h) { h.strips = 17; }},
    {"no strips", [](FujiCompressedHeader& h) { h.strips = 0; }},
    {"line groups not height / 6", [](FujiCompressedHeader& h) { h.lineGroups = 1; }},
    {"frame taller than the raw buffer", [](FujiCompressedHeader& h) { h.rawHeight = 30, h.lineGroups = 5; }},
    {"frame wider than the raw buffer",
     [](FujiCompressedHeader& h) { h.rawWidth = 1584, h.roundedWidth = 2304, h.strips = 3; }},
};

TEST(FujiCompressedHeader, BrokenRulesAreRefusedUntouched) {
    const FujiCompressedFrame f = makeFrame(false, 768, 12, 12, Fill::gradient);
    for (const HeaderCase& c : kHeaderCases) {
        SCOPED_TRACE(c.what);
        auto stream = testsupport::encodeFujiCompressed(f);
        c.breakIt(stream.header);
        std::vector<uint8_t> bytes(40, 0xAB); // data before the stream
        testsupport::append(bytes, stream.bytes());
        // A buffer of 1560 x 24, so that each case breaks only its own rule.
        auto rig = rigFor(f, bytes, 792, 12);
        rig->run(raw::fuji_compressed_load_raw, 40);
        EXPECT_STREQ(rig->s->decoder_message, kNotReadable);
        EXPECT_EQ(rig->s->sensor_data_offset, 40u);
        EXPECT_EQ(rig->s->sensor_width, 1560);
        EXPECT_EQ(rig->s->sensor_height, 24);
        EXPECT_EQ(std::count(rig->raw.begin(), rig->raw.end(), 0), ptrdiff_t(rig->raw.size()));
    }
}

TEST(FujiCompressedHeader, StreamCutBeforeItsSizeTableIsRefused) {
    const FujiCompressedFrame f = makeFrame(false, 1536, 6, 12, Fill::gradient);
    const std::vector<uint8_t> whole = testsupport::encodeFujiCompressed(f).bytes();
    for (size_t keep : {size_t(0), size_t(9), size_t(16), size_t(23)}) {
        SCOPED_TRACE(keep);
        auto rig = rigFor(f, {whole.begin(), whole.begin() + ptrdiff_t(keep)});
        rig->run(raw::fuji_compressed_load_raw, 0);
        EXPECT_STREQ(rig->s->decoder_message, kNotReadable);
        EXPECT_EQ(rig->s->sensor_data_offset, 0u);
    }
}

TEST(FujiCompressedHeader, NoRawBufferIsRefused) {
    const FujiCompressedFrame f = makeFrame(false, 768, 6, 12, Fill::gradient);
    auto rig = rigFor(f, testsupport::encodeFujiCompressed(f).bytes());
    rig->s->raw_buffer = nullptr;
    rig->run(raw::fuji_compressed_load_raw, 0);
    EXPECT_STREQ(rig->s->decoder_message, kNotReadable);
}

// --- round trips -------------------------------------------------------------------

struct RoundTrip {
    const char* what;
    bool xtrans;
    int width, height, bits;
    Fill fill;
};

const RoundTrip kRoundTrips[] = {
    {"Bayer, one strip, gradient", false, 768, 12, 12, Fill::gradient},
    {"Bayer, width an exact multiple of 768, noise", false, 1536, 18, 14, Fill::noise},
    {"Bayer, narrow last strip, 16 bits", false, 1560, 6, 16, Fill::noise},
    {"Bayer, steps", false, 792, 12, 12, Fill::steps},
    {"X-Trans, one strip, gradient", true, 768, 12, 14, Fill::gradient},
    {"X-Trans, narrow last strip, noise", true, 792, 12, 12, Fill::noise},
    {"X-Trans, three strips, 16-bit noise", true, 2304, 6, 16, Fill::noise},
    {"X-Trans, steps", true, 1752, 18, 14, Fill::steps},
};

TEST(FujiCompressedDecode, GivesBackTheCodedPhotosites) {
    for (const RoundTrip& c : kRoundTrips) {
        SCOPED_TRACE(c.what);
        const FujiCompressedFrame f = makeFrame(c.xtrans, c.width, c.height, c.bits, c.fill);
        auto rig = rigFor(f, testsupport::encodeFujiCompressed(f).bytes());
        rig->run(raw::fuji_compressed_load_raw, 0);
        EXPECT_STREQ(rig->s->decoder_message, "");
        EXPECT_EQ(rig->s->sensor_data_offset, 16u);
        EXPECT_EQ(mismatches(*rig, f), 0);
    }
}

TEST(FujiCompressedDecode, InlineStripsMatchThreadedOnes) {
    const FujiCompressedFrame f = makeFrame(true, 2328, 12, 14, Fill::noise, 7);
    const auto bytes = testsupport::encodeFujiCompressed(f).bytes();
    auto threaded = rigFor(f, bytes);
    threaded->run(raw::fuji_compressed_load_raw, 0);
    raw::set_band_threads_enabled(false);
    auto inlined = rigFor(f, bytes);
    inlined->run(raw::fuji_compressed_load_raw, 0);
    raw::set_band_threads_enabled(true);
    EXPECT_EQ(mismatches(*inlined, f), 0);
    EXPECT_EQ(threaded->raw, inlined->raw);
}

// The frame of a larger buffer becomes the header's: rows follow the header's width.
TEST(FujiCompressedDecode, HeaderFrameReplacesALargerBuffer) {
    const FujiCompressedFrame f = makeFrame(false, 792, 12, 12, Fill::noise);
    auto rig = rigFor(f, testsupport::encodeFujiCompressed(f).bytes(), 40, 6);
    rig->run(raw::fuji_compressed_load_raw, 0);
    EXPECT_STREQ(rig->s->decoder_message, "");
    EXPECT_EQ(rig->s->sensor_width, 792);
    EXPECT_EQ(rig->s->sensor_height, 12);
    EXPECT_EQ(mismatches(*rig, f), 0);
}

// --- damaged data ------------------------------------------------------------------

TEST(FujiCompressedDamage, TruncatedLastStripKeepsWhatWasDecoded) {
    const FujiCompressedFrame f = makeFrame(false, 1536, 24, 12, Fill::noise, 3);
    const auto stream = testsupport::encodeFujiCompressed(f);
    std::vector<uint8_t> bytes = stream.bytes();
    bytes.resize(bytes.size() - stream.strips[1].size() / 2);
    auto rig = rigFor(f, bytes);
    rig->run(raw::fuji_compressed_load_raw, 0);
    EXPECT_STREQ(rig->s->decoder_message, kEof);
    EXPECT_EQ(mismatches(*rig, f, 0, 768), 0);
    EXPECT_EQ(mismatches(*rig, f, 768, 1536, 6), 0); // the first group lies well before the cut
    EXPECT_GT(mismatches(*rig, f, 768, 1536), 0);
}

// A strip reads only its own bytes: one cut three bytes short gets its one zero byte and
// stops, rather than running on into the next strip, which still decodes.
TEST(FujiCompressedDamage, ShortStripStopsAtItsOwnEnd) {
    const FujiCompressedFrame f = makeFrame(true, 1536, 24, 14, Fill::noise, 5);
    auto stream = testsupport::encodeFujiCompressed(f);
    stream.strips[0].resize(stream.strips[0].size() - 3);
    stream.sizes[0] = uint32_t(stream.strips[0].size());
    auto rig = rigFor(f, stream.bytes());
    rig->run(raw::fuji_compressed_load_raw, 0);
    EXPECT_STREQ(rig->s->decoder_message, kEof);
    EXPECT_EQ(mismatches(*rig, f, 0, 768, 18), 0);
    EXPECT_GT(mismatches(*rig, f, 0, 768), 0);
    EXPECT_EQ(mismatches(*rig, f, 768, 1536), 0);
}

TEST(FujiCompressedDamage, OutOfRangeCodeFlagsTheGroupAndGoesOn) {
    for (bool xtrans : {false, true}) {
        SCOPED_TRACE(xtrans ? "X-Trans" : "Bayer");
        FujiCompressedFrame f = makeFrame(xtrans, 1536, 12, 12, Fill::gradient);
        f.badCodeAt = 100;
        auto rig = rigFor(f, testsupport::encodeFujiCompressed(f).bytes());
        rig->run(raw::fuji_compressed_load_raw, 0);
        EXPECT_STREQ(rig->s->decoder_message, xtrans ? "Compressed X-Trans Decode block error"
                                                     : "Compressed Fuji Bayer Decode block error");
        EXPECT_EQ(mismatches(*rig, f), 1); // only the sample that took the bad code
    }
}

// Strips decode side by side, yet their texts come out as one strip after another leaves
// them: a later text replaces an earlier one, and a strip that stopped ends the decode.
TEST(FujiCompressedDamage, TextsFollowStripOrder) {
    struct Case {
        int badStrip, cutStrip;
    };
    // Block error then end of input; end of input in the strip before the block error.
    for (const Case& c : {Case{0, 1}, Case{1, 0}}) {
        SCOPED_TRACE(c.badStrip);
        FujiCompressedFrame f = makeFrame(false, 1536, 12, 12, Fill::gradient);
        f.badCodeAt = 50;
        f.badCodeStrip = c.badStrip;
        auto stream = testsupport::encodeFujiCompressed(f);
        auto& cut = stream.strips[size_t(c.cutStrip)];
        cut.resize(cut.size() / 2);
        stream.sizes[size_t(c.cutStrip)] = uint32_t(cut.size());
        auto rig = rigFor(f, stream.bytes());
        rig->run(raw::fuji_compressed_load_raw, 0);
        EXPECT_STREQ(rig->s->decoder_message, kEof);
    }
}

// Random bytes in place of strips must end in one of the decoder's texts.
TEST(FujiCompressedDamage, GarbageStripsEndInATextNeverACrash) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        const FujiCompressedFrame f =
            makeFrame(seed % 2 == 0, 1560, 30, 12 + 2 * (seed % 3), Fill::noise, seed);
        auto stream = testsupport::encodeFujiCompressed(f);
        std::mt19937 rng(seed);
        for (auto& strip : stream.strips)
            for (uint8_t& b : strip)
                b = uint8_t(rng());
        auto rig = rigFor(f, stream.bytes());
        rig->run(raw::fuji_compressed_load_raw, 0);
        const std::string message = rig->s->decoder_message;
        EXPECT_TRUE(message == kEof || message == "Compressed X-Trans Decode block error" ||
                    message == "Compressed Fuji Bayer Decode block error")
            << message;
    }
}

// --- real file -----------------------------------------------------------------------

// The S5Pro file is a header whose image data was stripped: no stream header to be found.
TEST(FujiCompressedSample, StrippedS5ProEndsInAFailureStatus) {
    LV_REQUIRE_SAMPLE("FujiFilm.raf");
    testsupport::TempHome home;
    const auto copy = home.path() / "FujiFilm.raf";
    std::filesystem::copy_file(testsupport::samplePath("FujiFilm.raf"), copy);
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    uint64_t pixelSize = 0;
    ASSERT_TRUE(decoder.loadFile(copy.string(), &pixelSize)) << decoder.dcStatus();
    uint16_t* buffer = nullptr;
    uint16_t width = 1, height = 1;
    EXPECT_FALSE(decoder.processFileAndCreateBuffer(copy.string(), &buffer, 0, &width, &height));
    EXPECT_EQ(decoder.dcStatus(), kNotReadable);
    EXPECT_EQ(width, 0);
    std::free(buffer);
}

} // namespace
