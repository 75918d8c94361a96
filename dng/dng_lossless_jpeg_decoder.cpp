#include "dng/dng_lossless_jpeg_decoder.h"

#include "dng/dng_exceptions.h"

#include <array>
#include <memory>

namespace {

const char* const kNotLossless = "Not a lossless JPEG stream";

// A 16-bit lookup: every code of up to 16 bits, padded with any trailing bits, indexes its
// length and symbol. Built once per table; the decode loop needs no search.
struct HuffmanTable {
    bool defined = false;
    std::vector<uint16_t> lookup; // (length << 8) | symbol; 0 for no code

    void Build(const uint8_t counts[16], const uint8_t* symbols, uint32_t symbolCount) {
        lookup.assign(65536, 0);
        uint32_t code = 0;
        uint32_t k = 0;
        for (uint32_t len = 1; len <= 16; ++len) {
            for (uint32_t i = 0; i < counts[len - 1]; ++i, ++k) {
                if (k >= symbolCount || code >= (1u << len)) ThrowBadFormat(kNotLossless);
                const uint32_t shift = 16 - len;
                const uint32_t first = code << shift;
                const uint32_t last = first + (1u << shift);
                for (uint32_t c = first; c < last; ++c)
                    lookup[c] = uint16_t((len << 8) | symbols[k]);
                ++code;
            }
            code <<= 1;
        }
        defined = true;
    }
};

class BitSource {
  public:
    BitSource(const uint8_t* data, uint64_t size, uint64_t pos) : fData(data), fSize(size), fPos(pos) {}

    uint32_t Peek16() {
        Fill();
        return uint32_t(fBits >> (fCount - 16)) & 0xFFFF;
    }
    void Consume(uint32_t n) { fCount -= n; }
    uint32_t Get(uint32_t n) {
        if (n == 0) return 0;
        Fill();
        fCount -= n;
        return uint32_t(fBits >> fCount) & ((1u << n) - 1);
    }
    // Drops the bits left of the current byte and steps over a restart marker.
    void Restart() {
        fCount = 0;
        fBits = 0;
        fMarker = false;
        while (fPos + 1 < fSize &&
               !(fData[fPos] == 0xFF && fData[fPos + 1] >= 0xD0 && fData[fPos + 1] <= 0xD7))
            ++fPos;
        if (fPos + 1 < fSize) fPos += 2;
    }

  private:
    void Fill() {
        while (fCount <= 40) {
            uint32_t byte = 0;
            if (!fMarker && fPos < fSize) {
                byte = fData[fPos];
                if (byte == 0xFF) {
                    const uint32_t next = fPos + 1 < fSize ? fData[fPos + 1] : 0xD9;
                    if (next == 0x00) {
                        fPos += 2;
                    } else {
                        // A marker ends the entropy-coded data: zeros follow.
                        fMarker = true;
                        byte = 0;
                    }
                } else {
                    ++fPos;
                }
            }
            fBits = (fBits << 8) | byte;
            fCount += 8;
        }
    }

    const uint8_t* fData;
    uint64_t fSize;
    uint64_t fPos;
    uint64_t fBits = 0;
    uint32_t fCount = 0;
    bool fMarker = false;
};

struct FrameHeader {
    uint32_t precision = 0, height = 0, width = 0, components = 0;
    uint8_t componentId[4] = {};
    uint32_t tableOf[4] = {};
    uint32_t predictor = 0, pointTransform = 0, restartInterval = 0;
};

uint32_t Be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }

int32_t ReadDifference(BitSource& bits, const HuffmanTable& table) {
    const uint16_t entry = table.lookup[bits.Peek16()];
    if (entry == 0) ThrowBadFormat("Bad Huffman code in lossless JPEG data");
    bits.Consume(entry >> 8);
    const uint32_t ssss = entry & 0xFF;
    if (ssss == 0) return 0;
    if (ssss == 16) return -32768;
    if (ssss > 16) ThrowBadFormat("Bad Huffman code in lossless JPEG data");
    int32_t v = int32_t(bits.Get(ssss));
    if (v < (1 << (ssss - 1))) v -= (1 << ssss) - 1;
    return v;
}

int32_t Predict(uint32_t predictor, int32_t a, int32_t b, int32_t c) {
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

void DecodeScan(const uint8_t* data, uint64_t size, uint64_t pos, const FrameHeader& h,
                const std::array<HuffmanTable, 4>& tables, dng_lossless_jpeg_frame& frame) {
    BitSource bits(data, size, pos);
    const uint32_t n = h.components;
    const uint32_t rowSamples = h.width * n;
    // The point transform only lowers the initial prediction: samples come out as coded, as
    // the raw decoders of this program read them.
    const int32_t initial = 1 << (h.precision - h.pointTransform - 1);
    uint32_t untilRestart = h.restartInterval;
    // The first sample after the start or a restart predicts from the initial value, the rest
    // of that line from the left.
    bool atStart = true;
    bool firstLine = true;
    for (uint32_t row = 0; row < h.height; ++row) {
        uint16_t* out = frame.samples.data() + uint64_t(row) * rowSamples;
        const uint16_t* above = row ? out - rowSamples : out;
        for (uint32_t col = 0; col < h.width; ++col) {
            if (h.restartInterval) {
                if (untilRestart == 0) {
                    bits.Restart();
                    untilRestart = h.restartInterval;
                    atStart = firstLine = true;
                }
                --untilRestart;
            }
            for (uint32_t c = 0; c < n; ++c) {
                const uint32_t i = col * n + c;
                int32_t pred;
                if (atStart)
                    pred = initial;
                else if (firstLine)
                    pred = col ? out[i - n] : above[i];
                else if (col == 0)
                    pred = above[i];
                else
                    pred = Predict(h.predictor, out[i - n], above[i], above[i - n]);
                const int32_t diff = ReadDifference(bits, tables[h.tableOf[c]]);
                out[i] = uint16_t(uint32_t(pred + diff) & 0xFFFF);
            }
            atStart = false;
        }
        firstLine = false;
    }
}

} // namespace

dng_lossless_jpeg_frame DecodeLosslessJPEG(const uint8_t* data, uint64_t size, uint64_t maxSamples) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) ThrowBadFormat(kNotLossless);
    std::array<HuffmanTable, 4> tables;
    FrameHeader h;
    bool haveFrame = false;
    uint64_t pos = 2;
    while (pos + 4 <= size) {
        if (data[pos] != 0xFF) ThrowBadFormat(kNotLossless);
        const uint32_t marker = data[pos + 1];
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        if (marker == 0xD9) break;
        const uint32_t length = Be16(data + pos + 2);
        if (length < 2 || pos + 2 + length > size) ThrowBadFormat(kNotLossless);
        const uint8_t* seg = data + pos + 4;
        const uint32_t segLen = length - 2;
        switch (marker) {
        case 0xC3: {
            if (segLen < 6) ThrowBadFormat(kNotLossless);
            h.precision = seg[0];
            h.height = Be16(seg + 1);
            h.width = Be16(seg + 3);
            h.components = seg[5];
            if (h.precision < 2 || h.precision > 16 || h.components < 1 || h.components > 4 || h.width == 0 ||
                h.height == 0 || segLen < 6 + 3 * h.components)
                ThrowBadFormat(kNotLossless);
            for (uint32_t c = 0; c < h.components; ++c)
                h.componentId[c] = seg[6 + 3 * c];
            haveFrame = true;
            break;
        }
        case 0xC4: {
            uint32_t p = 0;
            while (p < segLen) {
                if (p + 17 > segLen) ThrowBadFormat(kNotLossless);
                const uint32_t id = seg[p] & 0x0F;
                if ((seg[p] >> 4) != 0 || id > 3) ThrowBadFormat(kNotLossless);
                uint32_t total = 0;
                for (uint32_t i = 0; i < 16; ++i)
                    total += seg[p + 1 + i];
                if (p + 17 + total > segLen) ThrowBadFormat(kNotLossless);
                tables[id].Build(seg + p + 1, seg + p + 17, total);
                p += 17 + total;
            }
            break;
        }
        case 0xDD:
            if (segLen < 2) ThrowBadFormat(kNotLossless);
            h.restartInterval = Be16(seg);
            break;
        case 0xDA: {
            if (!haveFrame || segLen < 1) ThrowBadFormat(kNotLossless);
            const uint32_t ns = seg[0];
            if (ns != h.components || segLen < 1 + 2 * ns + 3) ThrowBadFormat(kNotLossless);
            for (uint32_t i = 0; i < ns; ++i) {
                const uint32_t table = seg[2 + 2 * i] >> 4;
                if (seg[1 + 2 * i] != h.componentId[i] || table > 3 || !tables[table].defined)
                    ThrowBadFormat(kNotLossless);
                h.tableOf[i] = table;
            }
            h.predictor = seg[1 + 2 * ns];
            h.pointTransform = seg[3 + 2 * ns] & 0x0F;
            if (h.predictor < 1 || h.predictor > 7 || h.pointTransform >= h.precision)
                ThrowBadFormat(kNotLossless);
            const uint64_t count = uint64_t(h.width) * h.height * h.components;
            if (count > maxSamples) ThrowBadFormat("Lossless JPEG frame larger than its tile");
            dng_lossless_jpeg_frame frame;
            frame.width = h.width;
            frame.height = h.height;
            frame.components = h.components;
            frame.precision = h.precision;
            frame.samples.assign(count, 0);
            DecodeScan(data, size, pos + 2 + length, h, tables, frame);
            return frame;
        }
        case 0xC0:
        case 0xC1:
        case 0xC2:
        case 0xC5:
        case 0xC6:
        case 0xC7:
        case 0xC9:
        case 0xCA:
        case 0xCB:
        case 0xCD:
        case 0xCE:
        case 0xCF:
            ThrowBadFormat(kNotLossless);
        default:
            break;
        }
        pos += 2 + length;
    }
    ThrowBadFormat(kNotLossless);
}
