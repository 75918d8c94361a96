// CRX decoding: Rice codes, quantised lines, the 5/3 inverse, output conversion and a whole
// lossless track encoded in the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "raw/core/BandRunner.h"
#include "raw/core/DecoderError.h"
#include "raw/cr3/Cr3.h"
#include "raw/cr3/Cr3Crx.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/ContainerBytes.h"
#include "tests/raw/Cr3Fixture.h"
#include "tests/support/BitWriter.h"
#include "tests/support/DecodeBytes.h"

using namespace testsupport::cr3;
using testsupport::BitWriter;

namespace {

void zeros(BitWriter& w, int n) {
    for (int i = 0; i < n; ++i)
        w.put(0, 1);
}

std::vector<int32_t> decode(const Blob& data, uint32_t width, uint32_t height, bool high,
                            bool quantised = false, int32_t quant_start = 0) {
    raw::crx::Subband band;
    band.size = data.size();
    band.width = width;
    band.height = height;
    band.quantised = quantised;
    band.quant_start = quant_start;
    std::vector<int32_t> out(width * height);
    EXPECT_TRUE(raw::crx::decode_band(data.data(), band, {high, 0}, out.data()));
    return out;
}

} // namespace

TEST(CrxDecoder, QuantisationSteps) {
    const std::pair<int, int64_t> cases[] = {{0, 0},   {6, 1},   {35, 36}, {36, 40},
                                             {37, 45}, {41, 72}, {42, 80}};
    for (auto [q, step] : cases)
        EXPECT_EQ(raw::crx::quant_step(q), step) << q;
}

TEST(CrxDecoder, QuantisedHighBandLines) {
    // Each line: the quantisation delta, a "no run" flag, then the residuals +1 and -2.
    struct Case {
        const char* what;
        Blob stream;
        int32_t first, second;
        int32_t start = 36;
    };
    auto line = [](auto delta) {
        BitWriter w;
        delta(w);
        w.put(0, 1);      // flat context: no run
        w.put(0b001, 3);  // v = 2: +1
        w.put(0b0001, 4); // v = 3: -2
        return w.finish(0);
    };
    const Case cases[] = {
        {"delta 0 keeps step 40", line([](BitWriter& w) { w.put(1, 1); }), 40, -80},
        {"delta +1 after 23 zeros as 8 raw bits",
         line([](BitWriter& w) { zeros(w, 23), w.put(1, 1), w.put(2, 8); }), 45, -90},
        {"delta -36 gives step 0", line([](BitWriter& w) { zeros(w, 23), w.put(1, 1), w.put(71, 8); }), 0, 0},
        {"huge steps saturate", line([](BitWriter& w) { zeros(w, 23), w.put(1, 1), w.put(254, 8); }), 1 << 28,
         -(1 << 28), 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto out = decode(c.stream, 2, 1, true, true, c.start);
        EXPECT_EQ(out[0], c.first);
        EXPECT_EQ(out[1], c.second);
    }
}

TEST(CrxDecoder, RiceEscapeReadsRawBits) {
    BitWriter w;
    w.put(0, 1); // no run
    zeros(w, 41);
    w.put(1, 1);
    w.put(0x12345, 21);
    EXPECT_EQ(decode(w.finish(0), 1, 1, true)[0], -int32_t((0x12345 + 1) / 2));
}

TEST(CrxDecoder, RunsFillFlatContext) {
    // A high band line of 30: a run of R[0..4] = 1+1+1+1+2 = 6 closed by E[5] = 1 bit (+1),
    // the sample after it coded normally (v = 1: -1), the next (v = 0) has a non-zero left
    // neighbour, then one run from run state 4 up reaches the line end after 8 bits.
    BitWriter w;
    w.put(0b111110, 6);
    w.put(1, 1);
    w.put(0b01, 2);
    w.put(1, 1);
    w.put(0xFF, 8);
    const auto out = decode(w.finish(0), 30, 1, true);
    for (int x = 0; x < 30; ++x)
        EXPECT_EQ(out[x], x == 7 ? -1 : 0) << x;
}

TEST(CrxDecoder, ShortDataThrowsTheFillBufferText) {
    BitWriter w;
    w.put(0, 1);
    w.put(0, 7); // zeros to the end: the prefix never closes
    raw::crx::Subband band;
    const Blob data = w.finish(0);
    band.size = data.size();
    band.width = band.height = 4;
    std::vector<int32_t> out(16);
    try {
        raw::crx::decode_band(data.data(), band, {true, 0}, out.data());
        FAIL() << "no throw";
    } catch (const raw::DecoderText& t) {
        EXPECT_STREQ(t.text, "Exception in crxFillBuffer");
    }
}

namespace {

// The forward 5/3 lifting of a line without neighbours.
void forward_53(const std::vector<int32_t>& x, std::vector<int32_t>& low, std::vector<int32_t>& high) {
    const size_t n = x.size(), m = (n + 1) / 2, nh = n / 2;
    high.assign(nh, 0);
    low.assign(m, 0);
    for (size_t i = 0; i < nh; ++i) {
        const bool right = 2 * i + 2 < n;
        high[i] = right ? x[2 * i + 1] - ((x[2 * i] + x[2 * i + 2]) >> 1) : x[2 * i + 1] - x[2 * i];
    }
    for (size_t i = 0; i < m; ++i) {
        const bool l = i > 0, r = i < nh;
        if (l && r)
            low[i] = x[2 * i] + ((high[i - 1] + high[i] + 2) >> 2);
        else if (l || r)
            low[i] = x[2 * i] + (((l ? high[i - 1] : high[i]) + 1) >> 1);
        else
            low[i] = x[2 * i];
    }
}

} // namespace

TEST(CrxDecoder, InverseWaveletUndoesTheLifting) {
    std::mt19937 random(7);
    for (size_t n = 1; n <= 9; ++n) {
        std::vector<int32_t> x(n), low, high, back(n);
        for (auto& v : x)
            v = int32_t(random() % 20000) - 10000;
        forward_53(x, low, high);
        raw::crx::inverse_53_line(low.data(), high.data(), uint32_t(n), false, false, back.data());
        EXPECT_EQ(back, x) << n;
    }
    const int32_t single = 1234;
    int32_t out = 0;
    raw::crx::inverse_53_line(&single, nullptr, 1, false, false, &out);
    EXPECT_EQ(out, 1234);
}

namespace {

// An encoder of band lines, as the decoder reads them: predicted lines (low band or no
// wavelet) or high-band residuals with a Rice parameter carried per column.
class LineEncoder {
  public:
    explicit LineEncoder(size_t width, bool high = false)
        : high_(high), above_k_(width, 0), line_k_(width, 0) {}

    void line(const std::vector<int32_t>& above, const std::vector<int32_t>& cur) {
        const size_t w = cur.size();
        if (high_) k_ = above_k_[0];
        for (size_t x = 0; x < w;) {
            const int32_t b = above[x], a = x ? cur[x - 1] : b, d = x + 1 < w ? above[x + 1] : b;
            if (a == b && b == d && (!high_ || a == 0)) {
                size_t n = 0;
                while (x + n < w && cur[x + n] == a)
                    ++n;
                const size_t covered = run(n, w - x);
                std::fill(line_k_.begin() + long(x), line_k_.begin() + long(x + covered), uint8_t(k_));
                x += covered;
                if (x == w) break;
            }
            const int32_t c = x ? above[x - 1] : b, a_now = x ? cur[x - 1] : b;
            value(cur[x] - (high_ ? 0 : predict(a_now, b, c)));
            if (high_ && above_k_[x] > k_ + 1) k_ = std::min(k_ + 1, 15);
            line_k_[x] = uint8_t(k_);
            ++x;
        }
        if (high_) above_k_.swap(line_k_);
    }
    Blob finish() { return out_.finish(0); }

  private:
    static constexpr uint32_t kR[32] = {1,   1,   1,   1,   2,    2,    2,    2,    4,     4,    4,
                                        4,   8,   8,   8,   8,    16,   16,   32,   32,    64,   64,
                                        128, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768};
    static constexpr int kE[32] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,  2,  3,  3,  3,  3,
                                   4, 4, 5, 5, 6, 6, 7, 7, 8, 9, 10, 11, 12, 13, 14, 15};

    static int32_t predict(int32_t a, int32_t b, int32_t c) {
        if (c >= std::max(a, b)) return std::min(a, b);
        if (c <= std::min(a, b)) return std::max(a, b);
        return a + b - c;
    }

    // Codes as much of a run of n as the code can say; returns the samples it covers.
    size_t run(size_t n, size_t left) {
        size_t length = 0;
        if (n == left) {
            while (length < left) {
                out_.put(1, 1);
                length += kR[s_];
                s_ = std::min(s_ + 1, 31);
            }
            return left;
        }
        while (length + kR[s_] <= n) {
            out_.put(1, 1);
            length += kR[s_];
            s_ = std::min(s_ + 1, 31);
        }
        out_.put(0, 1);
        if (!length) return 0;
        out_.put(uint32_t(n - length), kE[s_]);
        s_ = std::max(s_ - 1, 0);
        return n;
    }

    void value(int32_t r) {
        const uint32_t v = r >= 0 ? uint32_t(2 * r) : uint32_t(-2 * r - 1);
        const uint32_t prefix = v >> k_;
        if (prefix >= 41) {
            zeros(out_, 41);
            out_.put(1, 1);
            out_.put(v, 21);
        } else {
            zeros(out_, int(prefix));
            out_.put(1, 1);
            out_.put(v & ((1u << k_) - 1), k_);
        }
        k_ += ((v >> k_) > 2) + ((v >> k_) > 5) - (k_ > 0 && v < (1u << (k_ - 1)));
        k_ = std::min(k_, 15);
    }

    bool high_;
    BitWriter out_;
    int k_ = 0, s_ = 0;
    std::vector<uint8_t> above_k_, line_k_;
};

Blob encode_plane(const std::vector<int32_t>& samples, size_t width, bool high = false) {
    if (samples.empty()) return {};
    LineEncoder e(width, high);
    std::vector<int32_t> above(width, 0);
    for (size_t y = 0; y * width < samples.size(); ++y) {
        const std::vector<int32_t> cur(samples.begin() + long(y * width),
                                       samples.begin() + long((y + 1) * width));
        e.line(above, cur);
        above = cur;
    }
    return e.finish();
}

void header(Blob& h, uint16_t marker, uint32_t size, uint32_t word) {
    put(h, marker, 2);
    put(h, 8, 2);
    put(h, size, 4);
    put(h, word, 4);
}

// Tiles of planes of bands: the media header, then every band's coded data in order.
using TileBands = std::vector<std::vector<Blob>>;
Blob media_tiles(const std::vector<TileBands>& tiles, uint32_t header_size) {
    Blob h, data;
    for (uint32_t t = 0; t < tiles.size(); ++t) {
        uint32_t tile_size = 0;
        for (const auto& plane : tiles[t])
            for (const Blob& band : plane)
                tile_size += uint32_t(band.size());
        header(h, 0xFF01, tile_size, t << 16);
        for (uint32_t p = 0; p < tiles[t].size(); ++p) {
            uint32_t plane_size = 0;
            for (const Blob& band : tiles[t][p])
                plane_size += uint32_t(band.size());
            header(h, 0xFF02, plane_size, p << 28);
            for (const Blob& band : tiles[t][p]) {
                header(h, 0xFF03, uint32_t(band.size()), 0);
                data.insert(data.end(), band.begin(), band.end());
            }
        }
    }
    h.resize(header_size, 0);
    h.insert(h.end(), data.begin(), data.end());
    return h;
}

// A one-tile, four-plane, level-0 media.
Blob media(const std::vector<Blob>& planes, uint32_t header_size) {
    TileBands tile;
    for (const Blob& p : planes)
        tile.push_back({p});
    return media_tiles({tile}, header_size);
}

struct DecodedTrack {
    std::unique_ptr<testsupport::ParsedFile> file;
    std::vector<uint16_t> raw;
};

DecodedTrack load(const Cmp1& c, const Blob& coded) {
    auto moov_for = [&](uint64_t offset) { return raw_track(c, uint32_t(coded.size()), offset); };
    DecodedTrack d;
    d.file =
        std::make_unique<testsupport::ParsedFile>(file(moov_for(mdat_payload_offset(moov_for(0))), coded));
    raw::DecoderState& s = *d.file->s;
    raw::identify_cr3(s);
    d.raw.assign(size_t(s.sensor_width) * s.sensor_height, 0xFFFF);
    s.raw_buffer = d.raw.data();
    raw::crx_load_raw(s);
    s.raw_buffer = nullptr;
    return d;
}

} // namespace

TEST(CrxDecoder, LosslessTrackDecodesToItsSamples) {
    Cmp1 c;
    c.width = c.tile_width = 48;
    c.height = c.tile_height = 44;
    c.cfa = 1;
    c.header_size = 12 + 4 * 24;
    std::mt19937 random(3);
    std::vector<std::vector<int32_t>> planes(4, std::vector<int32_t>(24 * 22));
    for (int p = 0; p < 4; ++p)
        for (size_t i = 0; i < planes[p].size(); ++i) {
            // Smooth areas (runs), noise, a far outlier (the escape) and a clipped sample.
            const size_t x = i % 24, y = i / 24;
            planes[p][i] = y < 6 ? 100 * p : int32_t(random() % 600) - 300;
            if (x == 5 && y == 9) planes[p][i] = 9000;
        }
    planes[3][30] = -9000;
    std::vector<Blob> coded;
    for (const auto& p : planes)
        coded.push_back(encode_plane(p, 24));
    const DecodedTrack d = load(c, media(coded, c.header_size));
    const raw::DecoderState& s = *d.file->s;
    ASSERT_EQ(s.sensor_width, 48);
    EXPECT_EQ(s.data_error_count, 0);
    // Colour order R, G, G, B into a G R / B G cell.
    const int cell[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
    for (int p = 0; p < 4; ++p)
        for (size_t i = 0; i < planes[p].size(); ++i) {
            const size_t row = 2 * (i / 24) + cell[p][0], col = 2 * (i % 24) + cell[p][1];
            const int expected = std::clamp(planes[p][i] + 8192, 0, 16383);
            ASSERT_EQ(d.raw[row * 48 + col], expected) << p << " " << i;
        }
}

TEST(CrxDecoder, EmptyBandsGiveTheEncodingsMidpoint) {
    // Bands of no data decode to zeros: what each encoding makes of a zero sample.
    const std::pair<uint8_t, uint16_t> cases[] = {{0, 8192}, {1, 0}, {3, 8192}};
    for (auto [encoding, value] : cases) {
        SCOPED_TRACE(int(encoding));
        Cmp1 c;
        c.width = c.tile_width = 44;
        c.height = c.tile_height = 44;
        c.encoding = encoding;
        c.header_size = 12 + 4 * 24;
        const DecodedTrack d = load(c, media(std::vector<Blob>(4), c.header_size));
        EXPECT_EQ(d.file->s->data_error_count, 0);
        EXPECT_TRUE(std::all_of(d.raw.begin(), d.raw.end(), [v = value](uint16_t x) { return x == v; }));
    }
}

TEST(CrxDecoder, DamagedMediaHeadersLeaveADataError) {
    Cmp1 c;
    c.width = c.tile_width = 44;
    c.height = c.tile_height = 44;
    c.header_size = 12 + 4 * 24;
    const Blob good = media(std::vector<Blob>(4, Blob(8, 0)), c.header_size);
    struct Case {
        const char* what;
        size_t at;
        uint8_t value;
    };
    const Case cases[] = {
        {"tile marker", 1, 0x02},
        {"tile number", 9, 1},
        {"tile data past the media", 4, 0x7F},
        {"plane number", 12 + 8, 0x30},
        {"band marker", 24 + 1, 0x01},
        {"band padding over its size", 24 + 10, 0x07},
        {"band past its plane", 24 + 7, 0x20},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Blob bad = good;
        bad[k.at] = k.value;
        const DecodedTrack d = load(c, bad);
        EXPECT_EQ(d.file->s->data_error_count, 1);
    }
    Cmp1 small = c;
    small.width = small.tile_width = 40; // tiles of 20 plane samples are too small
    EXPECT_EQ(load(small, good).file->s->data_error_count, 1);
}

namespace {

struct Image {
    std::vector<int32_t> samples;
    size_t width = 0, height = 0;
};

// Rows, then columns: the low band first, then each level's HL, LH and HH, deepest first.
std::vector<Image> forward_wavelet(Image image, int levels) {
    std::vector<std::vector<Image>> per_level;
    for (int l = 0; l < levels; ++l) {
        const size_t w = image.width, h = image.height, m = (w + 1) / 2, mv = (h + 1) / 2;
        Image lo{std::vector<int32_t>(m * h), m, h}, hi{std::vector<int32_t>(w / 2 * h), w / 2, h};
        for (size_t y = 0; y < h; ++y) {
            std::vector<int32_t> row(image.samples.begin() + long(y * w),
                                     image.samples.begin() + long((y + 1) * w)),
                a, b;
            forward_53(row, a, b);
            std::copy(a.begin(), a.end(), lo.samples.begin() + long(y * m));
            std::copy(b.begin(), b.end(), hi.samples.begin() + long(y * b.size()));
        }
        auto columns = [&](const Image& in, Image& low, Image& high) {
            low = {std::vector<int32_t>(in.width * mv), in.width, mv};
            high = {std::vector<int32_t>(in.width * (h / 2)), in.width, h / 2};
            for (size_t x = 0; x < in.width; ++x) {
                std::vector<int32_t> col(h), a, b;
                for (size_t y = 0; y < h; ++y)
                    col[y] = in.samples[y * in.width + x];
                forward_53(col, a, b);
                for (size_t y = 0; y < a.size(); ++y)
                    low.samples[y * in.width + x] = a[y];
                for (size_t y = 0; y < b.size(); ++y)
                    high.samples[y * in.width + x] = b[y];
            }
        };
        Image ll, lh, hl, hh;
        columns(lo, ll, lh);
        columns(hi, hl, hh);
        per_level.push_back({hl, lh, hh});
        image = ll;
    }
    std::vector<Image> bands = {image};
    for (int l = levels; l-- > 0;)
        bands.insert(bands.end(), per_level[l].begin(), per_level[l].end());
    return bands;
}

} // namespace

TEST(CrxDecoder, WaveletTrackDecodesToItsSamples) {
    for (uint8_t levels : {1, 3}) {
        SCOPED_TRACE(int(levels));
        Cmp1 c;
        c.width = c.tile_width = 50;
        c.height = c.tile_height = 46;
        c.levels = levels;
        c.header_size = 12 + 4 * 12 * (1 + 3 * levels + 1);
        std::mt19937 random(11);
        std::vector<Image> planes(4);
        TileBands tile;
        for (Image& plane : planes) {
            plane = {std::vector<int32_t>(25 * 23), 25, 23};
            for (size_t i = 0; i < plane.samples.size(); ++i) // a ramp with noise and a flat corner
                plane.samples[i] = i < 60 ? 0 : int32_t(i % 25 * 40 + i / 25 * 13 + random() % 50) - 500;
            std::vector<Blob> coded;
            const auto bands = forward_wavelet(plane, levels);
            for (size_t b = 0; b < bands.size(); ++b)
                coded.push_back(encode_plane(bands[b].samples, bands[b].width, b > 0));
            tile.push_back(coded);
        }
        const DecodedTrack d = load(c, media_tiles({tile}, c.header_size));
        EXPECT_EQ(d.file->s->data_error_count, 0);
        for (int p = 0; p < 4; ++p)
            for (size_t i = 0; i < planes[p].samples.size(); ++i) {
                const size_t row = 2 * (i / 25) + (p >> 1), col = 2 * (i % 25) + (p & 1);
                ASSERT_EQ(d.raw[row * 50 + col], planes[p].samples[i] + 8192) << p << " " << i;
            }
    }
}

TEST(CrxDecoder, TiledWaveletGeometryHoldsTogether) {
    // Two by two tiles with neighbours on every inner edge, every band empty: the overlap
    // sizes of each level must agree between the header, the bands and the rebuild.
    Cmp1 c;
    c.width = 100, c.tile_width = 52;
    c.height = 96, c.tile_height = 48;
    c.levels = 3;
    c.header_size = 4 * 12 * (1 + 4 * (3 * 3 + 2));
    const TileBands empty(4, std::vector<Blob>(10));
    const DecodedTrack d = load(c, media_tiles({empty, empty, empty, empty}, c.header_size));
    EXPECT_EQ(d.file->s->data_error_count, 0);
    EXPECT_TRUE(std::all_of(d.raw.begin(), d.raw.end(), [](uint16_t v) { return v == 8192; }));
}

TEST(CrxDecoder, CodedDataEndingEarlyFailsTheDecode) {
    // Planes decode on their own threads; the status of the one that runs dry comes back.
    Cmp1 c;
    c.width = c.tile_width = 44;
    c.height = c.tile_height = 44;
    c.header_size = 12 + 4 * 24;
    const std::vector<int32_t> flat(22 * 22, 5);
    const Blob whole = encode_plane(flat, 22);
    const Blob cut(whole.begin(), whole.begin() + 1);
    for (int dry : {0, 3}) {
        std::vector<Blob> planes(4, whole);
        planes[dry] = cut;
        try {
            load(c, media(planes, c.header_size));
            ADD_FAILURE() << "no status for plane " << dry;
        } catch (const raw::DecoderText& t) {
            EXPECT_STREQ(t.text, "Exception in crxFillBuffer");
        }
    }
}

namespace {

// A whole CR3 file with one lossless raw track of 48 x 44 photosites.
Blob whole_file() {
    Cmp1 c;
    c.width = c.tile_width = 48;
    c.height = c.tile_height = 44;
    c.header_size = 12 + 4 * 24;
    std::vector<Blob> planes;
    for (int p = 0; p < 4; ++p) {
        std::vector<int32_t> samples(24 * 22);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = int32_t(i % 24 * 50 + p * 300) - 2000;
        planes.push_back(encode_plane(samples, 24));
    }
    const Blob coded = media(planes, c.header_size);
    auto moov_for = [&](uint64_t offset) { return raw_track(c, uint32_t(coded.size()), offset); };
    return file(moov_for(mdat_payload_offset(moov_for(0))), coded);
}

} // namespace

TEST(CrxDecoder, DamagedFilesEndWithAStatusOrAnImage) {
    raw::set_band_threads_enabled(false);
    const Blob whole = whole_file();
    const auto decoded = testsupport::decodeBytes(whole.data(), whole.size());
    EXPECT_TRUE(decoded.decoded) << decoded.summary();
    for (size_t at = 0; at < whole.size(); at += 3) {
        Blob bytes = whole;
        bytes[at] ^= uint8_t(at % 2 ? 0xFF : 0x5A);
        const auto out = testsupport::decodeBytes(bytes.data(), bytes.size());
        EXPECT_FALSE(out.status.empty()) << at;
    }
    for (size_t length = 0; length < whole.size(); length += 7) {
        const auto out = testsupport::decodeBytes(whole.data(), length);
        EXPECT_NE(out.status, "ok") << length;
    }
    raw::set_band_threads_enabled(true);
}
