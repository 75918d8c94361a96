#include "tests/support/LosslessJpegEncoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>

#include "tests/support/BitWriter.h"

namespace testsupport {
namespace {

using Codes = std::array<HuffmanCode, 256>;

// Difference categories 0..16 get codes of 2, 2, 3, 3, 3, 4, 5, ... 15 bits.
const std::vector<uint8_t> kCategoryCounts = {0, 2, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0};
const uint8_t kCategoryOrder[17] = {4, 5, 3, 6, 2, 7, 1, 8, 0, 9, 10, 11, 12, 13, 14, 15, 16};

// A DHT source (counts, then symbols); each rotation gives the codes to other categories.
std::vector<uint8_t> categoryTable(int rotation) {
    std::vector<uint8_t> source = kCategoryCounts;
    for (int i = 0; i < 17; ++i)
        source.push_back(kCategoryOrder[(i + rotation * 5) % 17]);
    return source;
}

// AC symbols (run << 4 | size, end of block 0x00, 16 zeros 0xF0), all with 8-bit codes.
std::vector<uint8_t> acTable() {
    std::vector<uint8_t> source(16, 0);
    std::vector<uint8_t> symbols = {0x00, 0xF0};
    for (int run = 0; run < 16; ++run)
        for (int size = 1; size < 16; ++size)
            symbols.push_back(uint8_t(run << 4 | size));
    source[7] = uint8_t(symbols.size());
    source.insert(source.end(), symbols.begin(), symbols.end());
    return source;
}

void segment(std::vector<uint8_t>& out, uint8_t marker, const std::vector<uint8_t>& body) {
    const size_t length = body.size() + 2;
    out.insert(out.end(), {0xFF, marker, uint8_t(length >> 8), uint8_t(length)});
    out.insert(out.end(), body.begin(), body.end());
}

void put16(std::vector<uint8_t>& out, int v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void putCode(BitWriter& w, const Codes& codes, int symbol) {
    w.put(codes[symbol].code, codes[symbol].length);
}

// A category and its extra bits: negative values as value + 2^category - 1.
void putValue(BitWriter& w, const Codes& codes, int value, int runNibble = 0) {
    const int category = std::bit_width(unsigned(std::abs(value)));
    putCode(w, codes, runNibble << 4 | category);
    if (category) w.put(uint32_t(value >= 0 ? value : value + (1 << category) - 1), category);
}

// T.81 differences are taken modulo 2^16; 32768 alone has category 16.
void putDifference(BitWriter& w, const Codes& codes, uint32_t difference, bool dng10) {
    difference &= 0xFFFF;
    if (difference == 0x8000) {
        putCode(w, codes, 16);
        if (dng10) w.put(difference, 16);
        return;
    }
    putValue(w, codes, difference < 0x8000 ? int(difference) : int(difference) - 0x10000);
}

class SampleGrid {
  public:
    explicit SampleGrid(const LosslessJpegFrame& f)
        : f_(f), perColumn_(f.smallRaw ? 3 + f.smallRaw : f.components) {}
    int perColumn() const { return perColumn_; }
    int32_t at(int y, int x, int c) const {
        return f_.samples.at((size_t(y) * f_.width + x) * perColumn_ + c);
    }

  private:
    const LosslessJpegFrame& f_;
    int perColumn_;
};

int32_t selectPrediction(int predictor, int32_t a, int32_t b, int32_t c) {
    switch (predictor) {
    case 1:
        return a;
    case 2:
        return b;
    case 3:
        return c;
    case 4:
        return a + b - c;
    case 5:
        return a + ((b - c) >> 1);
    case 6:
        return b + ((a - c) >> 1);
    case 7:
        return (a + b) >> 1;
    default:
        return 0;
    }
}

// T.81: the first line of the scan and of each restart interval predicts from the left
// (the first column from half the range); later lines take the first column from above.
int32_t predict(const LosslessJpegFrame& f, const SampleGrid& g, int y, int x, int c, bool firstLine) {
    const int32_t initial = 1 << (f.precision - f.pointTransform - 1);
    if (firstLine) return x == 0 ? initial : g.at(y, x - 1, c);
    if (x == 0) return g.at(y - 1, 0, c);
    return selectPrediction(f.predictor, g.at(y, x - 1, c), g.at(y - 1, x, c), g.at(y - 1, x - 1, c));
}

// Small raws chain their luma samples through the line: each is predicted from the luma
// sample coded just before it.
int32_t predictSmallRaw(const LosslessJpegFrame& f, const SampleGrid& g, int y, int x, int c, bool firstLine,
                        int32_t lastLuma) {
    const bool luma = c <= f.smallRaw;
    if (luma && (x || c)) return lastLuma;
    if (x) return g.at(y, x - 1, c);
    return firstLine ? 1 << (f.precision - f.pointTransform - 1) : g.at(y - 1, 0, c);
}

int tableOf(const LosslessJpegFrame& f, int c) {
    if (!f.tablePerComponent) return 0;
    if (f.smallRaw) return c > f.smallRaw ? 1 : 0;
    return std::min(c, 3);
}

std::vector<uint8_t> encodeScan(const LosslessJpegFrame& f, const std::vector<Codes>& codes) {
    const SampleGrid g(f);
    BitWriter w(true);
    int interval = 0;
    for (int y = 0; y < f.height; ++y) {
        const bool intervalStart = f.restartRows ? y % f.restartRows == 0 : y == 0;
        if (intervalStart && y > 0) w.marker(uint8_t(0xD0 + (interval++ & 7)));
        int32_t lastLuma = 0;
        for (int x = 0; x < f.width; ++x)
            for (int c = 0; c < g.perColumn(); ++c) {
                const int32_t p = f.smallRaw ? predictSmallRaw(f, g, y, x, c, intervalStart, lastLuma)
                                             : predict(f, g, y, x, c, intervalStart);
                const int32_t sample = g.at(y, x, c);
                if (c <= f.smallRaw) lastLuma = sample;
                putDifference(w, codes[tableOf(f, c)], uint32_t(sample - p), f.dng10Differences);
            }
    }
    return w.finish();
}

} // namespace

std::vector<uint8_t> encodeLosslessJpeg(const LosslessJpegFrame& f) {
    const int frameComponents = f.smallRaw ? 3 : f.components;
    const int tables = f.tablePerComponent ? (f.smallRaw ? 2 : std::min(frameComponents, 4)) : 1;
    std::vector<uint8_t> out = {0xFF, 0xD8};

    std::vector<uint8_t> dht;
    std::vector<Codes> codes;
    for (int id = 0; id < tables; ++id) {
        const std::vector<uint8_t> source = categoryTable(id);
        dht.push_back(uint8_t(id));
        dht.insert(dht.end(), source.begin(), source.end());
        codes.push_back(canonicalHuffmanCodes(source));
    }
    segment(out, 0xC4, dht);

    const int sampling = f.smallRaw == 1 ? 0x21 : f.smallRaw == 3 ? 0x22 : 0x11;
    std::vector<uint8_t> sof = {uint8_t(f.precision)};
    put16(sof, f.height * (f.smallRaw == 3 ? 2 : 1));
    put16(sof, f.width * (f.smallRaw ? 2 : 1));
    sof.push_back(uint8_t(frameComponents));
    for (int i = 0; i < frameComponents; ++i)
        sof.insert(sof.end(), {uint8_t(i + 1), uint8_t(i ? 0x11 : sampling), 0});
    segment(out, 0xC3, sof);

    if (f.restartRows) {
        std::vector<uint8_t> dri;
        put16(dri, f.restartRows * f.width);
        segment(out, 0xDD, dri);
    }

    std::vector<uint8_t> sos = {uint8_t(frameComponents)};
    for (int i = 0; i < frameComponents; ++i)
        sos.insert(sos.end(), {uint8_t(i + 1), uint8_t(tableOf(f, i) << 4)});
    sos.insert(sos.end(), {uint8_t(f.predictor), 0, uint8_t(f.pointTransform)});
    segment(out, 0xDA, sos);

    const std::vector<uint8_t> scan = encodeScan(f, codes);
    out.insert(out.end(), scan.begin(), scan.end());
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

std::vector<uint8_t> encodeLossyJpeg(const LossyJpegFrame& f) {
    std::vector<uint8_t> out = {0xFF, 0xD8};
    std::vector<uint8_t> dqt = {0x10}; // 16-bit entries, table 0
    for (uint16_t q : f.quantisation)
        put16(dqt, q);
    segment(out, 0xDB, dqt);

    const std::vector<uint8_t> dc = categoryTable(0), ac = acTable();
    std::vector<uint8_t> dht = {0x00};
    dht.insert(dht.end(), dc.begin(), dc.end());
    dht.push_back(0x10);
    dht.insert(dht.end(), ac.begin(), ac.end());
    segment(out, 0xC4, dht);

    std::vector<uint8_t> sof = {uint8_t(f.precision)};
    put16(sof, f.height);
    put16(sof, f.width);
    sof.insert(sof.end(), {1, 1, 0x11, 0});
    segment(out, 0xC1, sof);
    segment(out, 0xDA, {1, 1, 0x00, 0, 63, 0});

    const Codes dcCodes = canonicalHuffmanCodes(dc), acCodes = canonicalHuffmanCodes(ac);
    BitWriter w(true);
    for (const DctBlock& block : f.blocks) {
        putValue(w, dcCodes, block.dcDifference);
        for (auto [run, value] : block.ac) {
            if (value == 0)
                putCode(w, acCodes, 0xF0);
            else
                putValue(w, acCodes, value, run);
        }
        if (block.endOfBlock) putCode(w, acCodes, 0x00);
    }
    const std::vector<uint8_t> scan = w.finish();
    out.insert(out.end(), scan.begin(), scan.end());
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

} // namespace testsupport
