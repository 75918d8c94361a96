#include "DngFixtures.h"

#include <zlib.h>

#include <algorithm>

namespace dngtest {

namespace {

void PutBits(std::vector<uint8_t>& out, uint64_t& acc, uint32_t& have, uint32_t value, uint32_t bits) {
    acc = (acc << bits) | (value & ((uint64_t(1) << bits) - 1));
    have += bits;
    while (have >= 8) {
        have -= 8;
        out.push_back(uint8_t(acc >> have));
    }
}

std::vector<uint8_t> PackBitsLiterals(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < raw.size();) {
        // Runs of equal bytes as repeats, the rest as literals.
        size_t run = 1;
        while (i + run < raw.size() && run < 128 && raw[i + run] == raw[i])
            ++run;
        if (run >= 2) {
            out.push_back(uint8_t(1 - int(run)));
            out.push_back(raw[i]);
            i += run;
            continue;
        }
        const size_t n = std::min<size_t>(128, raw.size() - i);
        out.push_back(uint8_t(n - 1));
        out.insert(out.end(), raw.begin() + long(i), raw.begin() + long(i + n));
        i += n;
    }
    return out;
}

} // namespace

std::vector<uint8_t> PackRows(const RawLayout& L, uint32_t top, uint32_t left, uint32_t rows, uint32_t cols) {
    std::vector<uint8_t> out;
    for (uint32_t r = top; r < top + rows; ++r) {
        std::vector<uint32_t> row;
        for (uint32_t c = left; c < left + cols; ++c)
            for (uint32_t s = 0; s < L.samples; ++s) {
                const bool inside = r < L.height && c < L.width;
                row.push_back(inside ? L.values[(size_t(r) * L.width + c) * L.samples + s] : 0);
            }
        if (L.predictor == 2)
            for (size_t i = row.size(); i-- > L.samples;)
                row[i] = row[i] - row[i - L.samples];
        if (L.bits % 8 == 0) {
            const uint32_t bytes = L.bits / 8;
            for (uint32_t v : row)
                for (uint32_t b = 0; b < bytes; ++b)
                    out.push_back(uint8_t(v >> (L.bigEndian ? 8 * (bytes - 1 - b) : 8 * b)));
        } else {
            uint64_t acc = 0;
            uint32_t have = 0;
            for (uint32_t v : row)
                PutBits(out, acc, have, v, L.bits);
            if (have) out.push_back(uint8_t(acc << (8 - have)));
        }
    }
    if (L.compression == 8) {
        uLongf size = compressBound(uLong(out.size()));
        std::vector<uint8_t> packed(size);
        compress2(packed.data(), &size, out.data(), uLong(out.size()), 6);
        packed.resize(size);
        return packed;
    }
    if (L.compression == 32773) return PackBitsLiterals(out);
    return out;
}

std::vector<uint8_t> BuildRawDng(const RawLayout& L) {
    using testsupport::TiffBuilder;
    TiffBuilder tiff(L.bigEndian ? TiffBuilder::Order::Big : TiffBuilder::Order::Little);
    TiffBuilder::Ifd& ifd = tiff.addIfd();
    std::vector<int> blocks;
    std::vector<uint32_t> counts;
    const uint32_t across = L.tiled ? (L.width + L.tileWidth - 1) / L.tileWidth : 1;
    const uint32_t down = (L.height + L.tileLength - 1) / L.tileLength;
    for (uint32_t tr = 0; tr < down; ++tr)
        for (uint32_t tc = 0; tc < across; ++tc) {
            const uint32_t rows =
                L.tiled ? L.tileLength : std::min(L.tileLength, L.height - tr * L.tileLength);
            const uint32_t cols = L.tiled ? L.tileWidth : L.width;
            std::vector<uint8_t> data = PackRows(L, tr * L.tileLength, tc * cols, rows, cols);
            counts.push_back(uint32_t(data.size()));
            blocks.push_back(tiff.addBlock(std::move(data)));
        }
    ifd.longs(254, {0}).longs(256, {L.width}).longs(257, {L.height});
    ifd.shorts(258, std::vector<uint16_t>(L.samples, uint16_t(L.bits)))
        .shorts(259, {uint16_t(L.compression)});
    ifd.shorts(262, {uint16_t(L.photometric)});
    ifd.shorts(277, {uint16_t(L.samples)});
    if (L.tiled) {
        ifd.longs(322, {L.tileWidth}).longs(323, {L.tileLength}).blockOffsets(324, blocks).longs(325, counts);
    } else {
        ifd.blockOffsets(273, blocks).longs(278, {L.tileLength}).longs(279, counts);
    }
    if (L.predictor != 1) ifd.shorts(317, {uint16_t(L.predictor)});
    if (L.sampleFormat != 1) ifd.shorts(339, std::vector<uint16_t>(L.samples, uint16_t(L.sampleFormat)));
    if (L.photometric == 32803) ifd.shorts(33421, {2, 2}).bytes(33422, {0, 1, 1, 2});
    ifd.bytes(50706, {1, 4, 0, 0});
    if (L.samples == 3 || L.photometric == 32803)
        ifd.srationals(50721, {{1, 1}, {0, 1}, {0, 1}, {0, 1}, {1, 1}, {0, 1}, {0, 1}, {0, 1}, {1, 1}});
    if (L.extraTags) L.extraTags(ifd);
    return tiff.build();
}

} // namespace dngtest
