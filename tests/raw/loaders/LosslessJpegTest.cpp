#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "raw/core/BitReader.h"
#include "raw/loaders/LosslessJpeg.h"
#include "tests/raw/LosslessJpegFixture.h"
#include "tests/support/LosslessJpegEncoder.h"

using namespace raw;
using ljpegtest::StreamState;
using testsupport::encodeLosslessJpeg;
using testsupport::LosslessJpegFrame;

namespace {

constexpr uint32_t kDng14 = 0x01040000;

LosslessJpegFrame randomFrame(int width, int height, int components, int precision, uint32_t seed) {
    LosslessJpegFrame f;
    f.width = width;
    f.height = height;
    f.components = components;
    f.precision = precision;
    f.samples = ljpegtest::randomSamples(size_t(width) * height * components, precision, seed);
    return f;
}

std::vector<uint16_t> decodeAll(StreamState& st, ljpeg_header& jh) {
    std::vector<uint16_t> out;
    for (int r = 0; r < jh.high; ++r) {
        const uint16_t* row = ljpeg_decode_row(*st.s, r, jh);
        out.insert(out.end(), row, row + size_t(jh.wide) * jh.components);
    }
    return out;
}

// Position of the first segment with this marker (its 0xFF byte).
size_t findSegment(const std::vector<uint8_t>& bytes, uint8_t marker) {
    for (size_t i = 2; i + 3 < bytes.size();) {
        if (bytes[i + 1] == marker) return i;
        i += 2 + (size_t(bytes[i + 2]) << 8 | bytes[i + 3]);
    }
    return bytes.size();
}

std::vector<uint8_t> segmentBytes(uint8_t marker, const std::vector<uint8_t>& body) {
    const size_t n = body.size() + 2;
    std::vector<uint8_t> out = {0xFF, marker, uint8_t(n >> 8), uint8_t(n)};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

void replaceSegment(std::vector<uint8_t>& bytes, uint8_t marker, const std::vector<uint8_t>& segment) {
    const size_t at = findSegment(bytes, marker);
    const size_t end = at + 2 + (size_t(bytes[at + 2]) << 8 | bytes[at + 3]);
    bytes.erase(bytes.begin() + long(at), bytes.begin() + long(end));
    bytes.insert(bytes.begin() + long(at), segment.begin(), segment.end());
}

bool ownsNothing(const ljpeg_header& jh) {
    return jh.row_buffer == nullptr && std::all_of(std::begin(jh.owned_decoders), std::end(jh.owned_decoders),
                                                   [](auto* t) { return !t; });
}

// A source of one code per length 1..n: symbols 0..n-1.
std::vector<uint8_t> huffmanSource(int n) {
    std::vector<uint8_t> source(16, 0);
    for (int i = 0; i < n; ++i)
        source[i] = 1;
    for (int i = 0; i < n; ++i)
        source.push_back(uint8_t(i));
    return source;
}

} // namespace

TEST(LosslessJpeg, RoundTripsEveryPredictorWithAndWithoutRestarts) {
    for (int predictor = 1; predictor <= 7; ++predictor)
        for (int restartRows : {0, 2})
            for (int components : {1, 3})
                for (int precision : {12, 16}) {
                    LosslessJpegFrame f =
                        randomFrame(11, 7, components, precision, uint32_t(predictor * 100 + components));
                    f.predictor = predictor;
                    f.restartRows = restartRows;
                    f.tablePerComponent = components > 1;
                    StreamState st(encodeLosslessJpeg(f));
                    st.s->dng_version_word = kDng14; // see OneComponentFramesOutsideDng
                    ljpeg_header jh;
                    const std::string what =
                        "predictor " + std::to_string(predictor) + " restart " + std::to_string(restartRows) +
                        " components " + std::to_string(components) + " bits " + std::to_string(precision);
                    ASSERT_EQ(ljpeg_start(*st.s, jh, false), 1) << what;
                    EXPECT_EQ(jh.predictor, predictor);
                    EXPECT_EQ(jh.restart, restartRows ? restartRows * 11 : kNoRestart);
                    EXPECT_EQ(decodeAll(st, jh), f.samples) << what;
                    EXPECT_EQ(st.s->data_error_count, 0) << what;
                }
}

TEST(LosslessJpeg, RestartMarkersConfineDamageToTheirInterval) {
    LosslessJpegFrame f = randomFrame(16, 6, 2, 12, 5);
    f.restartRows = 2;
    std::vector<uint8_t> bytes = encodeLosslessJpeg(f);
    const size_t scan = findSegment(bytes, 0xDA) + 12; // the SOS segment of two components
    bytes[scan + 5] ^= bytes[scan + 5] == 0xAA ? 0x0F : 0x55;
    StreamState st(bytes);
    ljpeg_header jh;
    ASSERT_EQ(ljpeg_start(*st.s, jh, false), 1);
    const std::vector<uint16_t> decoded = decodeAll(st, jh);
    const size_t interval = 2 * 16 * 2;
    EXPECT_FALSE(std::equal(decoded.begin(), decoded.begin() + interval, f.samples.begin()));
    EXPECT_TRUE(std::equal(decoded.begin() + interval, decoded.end(), f.samples.begin() + interval))
        << "the decoder picks up again at the next restart marker";
}

TEST(LosslessJpeg, SixteenBitDifferencesFollowTheDngVersion) {
    // Alternating 0 and 32768 gives differences of 32768, the one length-16 code.
    LosslessJpegFrame f = randomFrame(4, 3, 2, 16, 9);
    for (size_t i = 0; i < 8; ++i)
        f.samples[i] = (i / 2) % 2 ? 32768 : 0;
    struct Case {
        bool dng10Stream;
        uint32_t version;
        bool exact;
    };
    const Case cases[] = {
        {false, 0, true},         {false, 0x01010000, true}, {false, 0x01040000, true},
        {true, 0x01000000, true}, {true, 0x01010000, false}, {false, 0x01000000, false},
    };
    for (const Case& c : cases) {
        f.dng10Differences = c.dng10Stream;
        StreamState st(encodeLosslessJpeg(f));
        st.s->dng_version_word = c.version;
        ljpeg_header jh;
        ASSERT_EQ(ljpeg_start(*st.s, jh, false), 1);
        EXPECT_EQ(decodeAll(st, jh) == f.samples, c.exact) << std::hex << c.version << " " << c.dng10Stream;
    }
}

TEST(LosslessJpeg, SamplesBeyondThePrecisionAreDecodedAndCounted) {
    LosslessJpegFrame f = randomFrame(3, 2, 2, 12, 3);
    f.samples[4] = 5000;
    StreamState st(encodeLosslessJpeg(f));
    ljpeg_header jh;
    ASSERT_EQ(ljpeg_start(*st.s, jh, false), 1);
    EXPECT_EQ(decodeAll(st, jh), f.samples);
    EXPECT_EQ(st.s->data_error_count, 1);
    EXPECT_STREQ(st.s->decoder_message, "Unsupported file type");
}

TEST(LosslessJpeg, ARestartIntervalOfZeroMeansNone) {
    LosslessJpegFrame f = randomFrame(9, 4, 2, 14, 4);
    std::vector<uint8_t> bytes = encodeLosslessJpeg(f);
    const std::vector<uint8_t> dri = segmentBytes(0xDD, {0, 0});
    bytes.insert(bytes.begin() + long(findSegment(bytes, 0xDA)), dri.begin(), dri.end());
    StreamState st(bytes);
    ljpeg_header jh;
    ASSERT_EQ(ljpeg_start(*st.s, jh, false), 1);
    EXPECT_EQ(jh.restart, kNoRestart);
    EXPECT_EQ(decodeAll(st, jh), f.samples);
}

TEST(LosslessJpeg, HeadersThatAreNotUsableFrames) {
    const std::vector<uint8_t> good = encodeLosslessJpeg(randomFrame(4, 4, 2, 12, 1));
    const size_t sof = findSegment(good, 0xC3) + 4, sos = findSegment(good, 0xDA) + 4;
    auto patched = [&](size_t at, std::vector<uint8_t> values) {
        std::vector<uint8_t> b = good;
        std::copy(values.begin(), values.end(), b.begin() + long(at));
        return b;
    };
    std::vector<uint8_t> noTables = good;
    replaceSegment(noTables, 0xC4, {});
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int full, headerOnly;
    };
    const Case cases[] = {
        {"good", good, 1, 1},
        {"no start of image", patched(1, {0xD9}), 0, 0},
        {"segment length 2", {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x02, 0xFF, 0xD9}, 0, 0},
        {"not a marker", patched(2, {0xFF, 0x00}), 0, 0},
        {"17-bit precision", patched(sof, {17}), 0, 0},
        {"no lines", patched(sof + 1, {0, 0}), 0, 0},
        {"no columns", patched(sof + 3, {0, 0}), 0, 0},
        {"seven components", patched(sof + 5, {7}), 0, 0},
        {"point transform beyond the precision", patched(sos + 7, {13}), 0, 0},
        {"scan header shorter than its count", patched(sos, {9}), 0, 0},
        {"no Huffman table", noTables, 0, 1},
        {"cut inside the frame header", std::vector<uint8_t>(good.begin(), good.begin() + long(sof + 3)), 0,
         0},
    };
    for (const Case& c : cases) {
        for (bool headerOnly : {false, true}) {
            StreamState st(c.bytes);
            ljpeg_header jh;
            EXPECT_EQ(ljpeg_start(*st.s, jh, headerOnly), headerOnly ? c.headerOnly : c.full)
                << c.name << (headerOnly ? " (header only)" : "");
            if (headerOnly || !c.full) {
                EXPECT_TRUE(ownsNothing(jh)) << c.name;
            }
        }
    }
}

TEST(LosslessJpeg, OneComponentFramesOutsideDngSkipAByteAfterTheFrameHeader) {
    // Some cameras write one byte more than a one-component frame header declares.
    const LosslessJpegFrame f = randomFrame(5, 3, 1, 12, 6);
    const std::vector<uint8_t> plain = encodeLosslessJpeg(f);
    std::vector<uint8_t> padded = plain;
    padded.insert(padded.begin() + long(findSegment(padded, 0xDA)), 0x00);
    struct Case {
        const std::vector<uint8_t>& bytes;
        uint32_t version;
    };
    for (const Case& c : {Case{padded, 0}, Case{plain, kDng14}}) {
        StreamState st(c.bytes);
        st.s->dng_version_word = c.version;
        ljpeg_header jh;
        ASSERT_EQ(ljpeg_start(*st.s, jh, false), 1) << c.version;
        EXPECT_EQ(decodeAll(st, jh), f.samples) << c.version;
    }
}

TEST(LosslessJpeg, HuffmanTableIdentifiers) {
    // Tables 0 and 17 are read; identifier 4 ends the segment, so table 1 after it is not.
    std::vector<uint8_t> dht;
    for (uint8_t id : {0x00, 0x11, 0x04, 0x01}) {
        const std::vector<uint8_t> source = huffmanSource(id == 0x11 ? 5 : 3);
        dht.push_back(id);
        dht.insert(dht.end(), source.begin(), source.end());
    }
    std::vector<uint8_t> bytes = encodeLosslessJpeg(randomFrame(4, 2, 3, 12, 2));
    replaceSegment(bytes, 0xC4, segmentBytes(0xC4, dht));
    StreamState st(bytes);
    ljpeg_header jh;
    ASSERT_EQ(ljpeg_start(*st.s, jh, false), 1);
    EXPECT_NE(jh.owned_decoders[0], nullptr);
    EXPECT_NE(jh.owned_decoders[17], nullptr);
    EXPECT_EQ(jh.owned_decoders[1], nullptr);
    EXPECT_EQ(jh.owned_decoders[4], nullptr);
    // Missing identifiers take the table before them.
    EXPECT_EQ(jh.decoders[2], jh.decoders[0]);
    EXPECT_EQ(jh.decoders[16], jh.decoders[0]);
    EXPECT_EQ(jh.decoders[19], jh.decoders[17]);
}

TEST(LosslessJpeg, HuffmanTablesStopAtTheEndOfTheirSegment) {
    // An earlier, longer segment leaves 0x05 bytes in the parser's buffer; the table
    // claims three 2-bit codes but its segment holds the symbol of only one.
    std::vector<uint8_t> bytes = encodeLosslessJpeg(randomFrame(4, 2, 2, 12, 2));
    std::vector<uint8_t> dht = {0x00, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x07};
    replaceSegment(bytes, 0xC4, segmentBytes(0xC4, dht));
    const std::vector<uint8_t> app = segmentBytes(0xE1, std::vector<uint8_t>(200, 0x05));
    bytes.insert(bytes.begin() + 2, app.begin(), app.end());
    StreamState st(bytes);
    ljpeg_header jh;
    ASSERT_EQ(ljpeg_start(*st.s, jh, false), 1);
    const uint16_t* table = jh.decoders[0];
    ASSERT_EQ(table[0], 2);
    EXPECT_EQ(table[1], 2 << 8 | 0x07);
    EXPECT_EQ(table[2], 0) << "code 01 must stay empty, not take a stale byte";
    EXPECT_EQ(table[3], 0);
}

namespace {

// f(x, y) = 1/4 sum C(u) C(v) F(v, u) cos((2x + 1) u pi / 16) cos((2y + 1) v pi / 16).
double inverseDct(const double coefficients[64], int x, int y) {
    double sum = 0;
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            const double cu = u ? 1 : M_SQRT1_2, cv = v ? 1 : M_SQRT1_2;
            sum += cu * cv * coefficients[v * 8 + u] * std::cos((2 * x + 1) * u * M_PI / 16) *
                   std::cos((2 * y + 1) * v * M_PI / 16);
        }
    return sum / 4;
}

struct LossyStream {
    explicit LossyStream(const testsupport::LossyJpegFrame& f) : st(testsupport::encodeLossyJpeg(f)) {
        st.s->dng_version_word = kDng14; // lossy blocks come from DNG tiles
        EXPECT_EQ(ljpeg_start(*st.s, jh, false), 1);
        EXPECT_EQ(jh.algorithm, 0xC1);
        jh.column_predictors[0] = 16384;
        read_bits(*st.s, -1);
    }
    StreamState st;
    ljpeg_header jh;
};

} // namespace

TEST(LossyDctBlock, MatchesTheInverseTransform) {
    testsupport::LossyJpegFrame f;
    std::fill(std::begin(f.quantisation), std::end(f.quantisation), uint16_t(2));
    f.quantisation[0] = 8;
    // Zig-zag positions 1, 2 and 6 are (row 0, col 1), (row 1, col 0) and (row 0, col 3).
    f.blocks = {{5, {{0, 10}, {0, -7}, {3, 4}}, true}};
    LossyStream ls(f);
    ljpeg_decode_dct_block(*ls.st.s, ls.jh);
    double coefficients[64] = {};
    coefficients[0] = 16384 + 5 * 8;
    coefficients[1] = 20;
    coefficients[8] = -14;
    coefficients[3] = 8;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_NEAR(ls.jh.dct_block[y * 8 + x], inverseDct(coefficients, x, y), 1.0) << x << "," << y;
    EXPECT_EQ(ls.st.s->data_error_count, 0);
}

TEST(LossyDctBlock, ARunPastTheLastCoefficientEndsTheBlock) {
    testsupport::LossyJpegFrame f;
    std::fill(std::begin(f.quantisation), std::end(f.quantisation), uint16_t(1));
    f.quantisation[0] = 8;
    // Three skips of 16 zeros reach position 49; a run of 15 more would write at 64.
    f.blocks = {{0, {{15, 0}, {15, 0}, {15, 0}, {15, 5}}, false}};
    LossyStream ls(f);
    ljpeg_decode_dct_block(*ls.st.s, ls.jh);
    EXPECT_EQ(ls.st.s->data_error_count, 1);
    for (uint16_t v : ls.jh.dct_block)
        EXPECT_EQ(v, 2048) << "only the DC term was used";
}
