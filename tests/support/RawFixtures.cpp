#include "tests/support/RawFixtures.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "raw/loaders/CanonCrwTables.h"
#include "tests/support/BitWriter.h"
#include "tests/support/LosslessJpegEncoder.h"
#include "tests/support/TiffBuilder.h"

namespace testsupport {
namespace {

using Order = TiffBuilder::Order;

// A smooth mosaic with some texture, so demosaicing has edges to work on.
uint16_t mosaicValue(int row, int col, uint16_t top) {
    const int base = (row * 37 + col * 23) % 1024;
    const int colour = ((row & 1) << 1 | (col & 1)) * 300;
    return uint16_t((base + colour) % top);
}

std::vector<uint16_t> mosaic(int width, int height, uint16_t top) {
    std::vector<uint16_t> out;
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            out.push_back(mosaicValue(r, c, top));
    return out;
}

// The colour tags every DNG carries: pattern, levels, a matrix and a white.
void dngColourTags(TiffBuilder::Ifd& raw) {
    raw.shorts(33421, {2, 2}).bytes(33422, {0, 1, 1, 2});
    raw.longs(50717, {4095}).rationals(50714, {{64, 1}});
}

void dngCameraTags(TiffBuilder::Ifd& ifd0, const char* model) {
    ifd0.bytes(50706, {1, 4, 0, 0}).ascii(271, "Lumivar").ascii(272, model);
    ifd0.srationals(50721,
                    {{8, 10}, {-1, 10}, {-1, 10}, {-2, 10}, {11, 10}, {1, 10}, {0, 10}, {2, 10}, {6, 10}});
    ifd0.shorts(50778, {21}).rationals(50728, {{1, 2}, {1, 1}, {4, 5}});
    ifd0.shorts(274, {1});
}

// Uncompressed 16-bit CFA strip in the main directory, little-endian.
RawFixture plainDng() {
    const int w = 32, h = 24;
    TiffBuilder tiff(Order::Little);
    int strip = tiff.addBlock(tiff.encode16(mosaic(w, h, 4096)));
    auto& ifd0 = tiff.addIfd();
    ifd0.longs(254, {0}).longs(256, {w}).longs(257, {h}).shorts(258, {16}).shorts(259, {1});
    ifd0.shorts(262, {32803}).blockOffset(273, strip).shorts(277, {1}).longs(278, {h});
    ifd0.longs(279, {uint32_t(w * h * 2)});
    dngCameraTags(ifd0, "Plain");
    dngColourTags(ifd0);
    return {"plain.dng", tiff.build()};
}

// Lossless-JPEG tiles in a sub-directory behind an RGB thumbnail, big-endian, with an
// active area inside the tiles.
RawFixture tiledLjpegDng() {
    const int w = 32, h = 32, tile = 16;
    TiffBuilder tiff(Order::Big);
    std::vector<int> tiles;
    std::vector<uint32_t> counts;
    const std::vector<uint16_t> image = mosaic(w, h, 4096);
    for (int ty = 0; ty < h; ty += tile)
        for (int tx = 0; tx < w; tx += tile) {
            LosslessJpegFrame frame;
            frame.precision = 12;
            frame.width = tile;
            frame.height = tile;
            for (int r = 0; r < tile; ++r)
                for (int c = 0; c < tile; ++c)
                    frame.samples.push_back(image[size_t(ty + r) * w + size_t(tx + c)]);
            std::vector<uint8_t> stream = encodeLosslessJpeg(frame);
            counts.push_back(uint32_t(stream.size()));
            tiles.push_back(tiff.addBlock(std::move(stream)));
        }
    int thumb = tiff.addBlock(std::vector<uint8_t>(4 * 4 * 3, 0x80));
    auto& raw = tiff.addSubIfd();
    raw.longs(254, {0}).longs(256, {w}).longs(257, {h}).shorts(258, {12}).shorts(259, {7});
    raw.shorts(262, {32803}).shorts(277, {1}).longs(322, {tile}).longs(323, {tile});
    raw.blockOffsets(324, tiles).longs(325, counts);
    raw.longs(50829, {2, 2, 30, 30});
    dngColourTags(raw);
    auto& ifd0 = tiff.addIfd();
    ifd0.longs(254, {1}).longs(256, {4}).longs(257, {4}).shorts(258, {8, 8, 8}).shorts(259, {1});
    ifd0.shorts(262, {2}).blockOffset(273, thumb).shorts(277, {3}).longs(278, {4}).longs(279, {48});
    ifd0.ifdOffset(330, raw);
    dngCameraTags(ifd0, "Tiled");
    return {"tiled.dng", tiff.build()};
}

// A headerless 8-bit file known only by its length (256 x 244 photosites).
RawFixture sizeTableFile() {
    std::vector<uint8_t> bytes(62464);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int row = int(i / 256), col = int(i % 256);
        bytes[i] = uint8_t(16 + mosaicValue(row, col, 1024) / 5);
    }
    return {"dc20.kdc", bytes};
}

// A maker TIFF with 12-bit values in 16-byte blocks of 16 photosites.
RawFixture sonyArw() {
    const int w = 64, h = 24;
    TiffBuilder tiff(Order::Little);
    std::vector<uint8_t> data(size_t(w) * h);
    for (size_t i = 0; i < data.size(); i += 16) {
        const uint32_t max = 900 + uint32_t(i % 200), min = 100 + uint32_t(i % 50);
        const uint32_t head =
            max | min << 11 | uint32_t(i / 16 % 16) << 22 | uint32_t((i / 16 + 5) % 16) << 26;
        for (int b = 0; b < 4; ++b)
            data[i + size_t(b)] = uint8_t(head >> (8 * b));
        for (int b = 4; b < 16; ++b)
            data[i + size_t(b)] = uint8_t(i * 7 + size_t(b) * 13);
    }
    int strip = tiff.addBlock(std::move(data));
    auto& ifd0 = tiff.addIfd();
    ifd0.longs(254, {0}).longs(256, {w}).longs(257, {h}).shorts(258, {12}).shorts(259, {32767});
    ifd0.shorts(262, {32803}).blockOffset(273, strip).shorts(277, {1}).longs(278, {h});
    ifd0.longs(279, {uint32_t(w * h)}).ascii(271, "SONY").ascii(272, "DSLR-A700").shorts(274, {1});
    return {"sony.arw", tiff.build()};
}

// A maker TIFF with its own magic, read in 16 KiB pages of 14-sample blocks.
RawFixture panasonicRw2() {
    const int w = 56, h = 32;
    TiffBuilder tiff(Order::Little);
    tiff.setMagic(0x55);
    std::vector<uint8_t> data(2 * 16384);
    // Low nibbles only keep every block's values within 12 bits.
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t((i * 29) & 0x0F);
    int block = tiff.addBlock(std::move(data));
    auto& ifd0 = tiff.addIfd();
    ifd0.bytes(1, {'0', '3', '4', '0'}, 7).shorts(2, {w}).shorts(3, {h}).shorts(10, {12}).shorts(45, {4});
    ifd0.ascii(271, "Panasonic").ascii(272, "DMC-LX3").shorts(274, {1}).blockOffset(280, block);
    return {"panasonic.rw2", tiff.build()};
}

// A maker TIFF whose Huffman-coded rows take their curve from the maker note.
RawFixture nikonNef() {
    const int w = 32, h = 24;
    TiffBuilder tiff(Order::Big);
    // Every photosite adds a small difference to its predictor; table 0 codes them.
    const std::vector<uint8_t> source = {0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0,  0,  0,  0,
                                         0, 5, 4, 3, 6, 2, 7, 1, 0, 8, 9, 11, 10, 12, 0};
    const auto codes = canonicalHuffmanCodes(source);
    BitWriter bits;
    for (int i = 0; i < w * h; ++i) {
        const int len = 1 + (i % 3);
        bits.put(codes[size_t(len)].code, codes[size_t(len)].length);
        bits.put(uint32_t((i >> 2) & ((1 << len) - 1)), len);
    }
    std::vector<uint8_t> stream = bits.finish(0);
    const uint32_t streamSize = uint32_t(stream.size());
    int strip = tiff.addBlock(std::move(stream));
    // Maker note: version 0x44 0x20, four predictors, a five-point curve, and the split
    // row (past the image) 562 bytes in.
    std::vector<uint8_t> curve = {0x44, 0x20};
    for (uint16_t v : {1000, 1000, 1000, 1000, 5})
        curve.insert(curve.end(), {uint8_t(v >> 8), uint8_t(v)});
    for (uint16_t v : {0, 1024, 2048, 3072, 4095})
        curve.insert(curve.end(), {uint8_t(v >> 8), uint8_t(v)});
    curve.resize(564);
    curve[562] = 0x03;
    curve[563] = 0xE8;
    TiffBuilder note(Order::Big);
    note.addIfd().raw(140, 7, uint32_t(curve.size()), curve);
    std::vector<uint8_t> body = {'N', 'i', 'k', 'o', 'n', 0, 2, 0x10, 0, 0};
    const std::vector<uint8_t> inner = note.build();
    body.insert(body.end(), inner.begin(), inner.end());
    auto& exif = tiff.addSubIfd();
    exif.raw(37500, 7, uint32_t(body.size()), body);
    auto& raw = tiff.addSubIfd();
    raw.longs(254, {0}).longs(256, {w}).longs(257, {h}).shorts(258, {12}).shorts(259, {34713});
    raw.shorts(262, {32803}).blockOffset(273, strip).shorts(277, {1}).longs(278, {h});
    raw.longs(279, {streamSize});
    raw.shorts(33421, {2, 2}).bytes(33422, {0, 1, 1, 2});
    auto& ifd0 = tiff.addIfd();
    ifd0.ascii(271, "NIKON CORPORATION").ascii(272, "NIKON D70").shorts(274, {1});
    ifd0.ifdOffset(330, raw).ifdOffset(34665, exif);
    return {"nikon.nef", tiff.build()};
}

// Little-endian words for hand-made containers.
void put16(std::vector<uint8_t>& out, uint32_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// A camera heap: record data first, then the directory and its offset; offsets count from
// the heap's own start.
std::vector<uint8_t> ciffHeap(const std::vector<std::pair<uint16_t, std::vector<uint8_t>>>& records) {
    std::vector<uint8_t> out;
    std::vector<uint32_t> offsets;
    for (const auto& [type, data] : records) {
        offsets.push_back(uint32_t(out.size()));
        out.insert(out.end(), data.begin(), data.end());
    }
    const uint32_t directory = uint32_t(out.size());
    put16(out, uint32_t(records.size()));
    for (size_t i = 0; i < records.size(); ++i) {
        put16(out, records[i].first);
        put32(out, uint32_t(records[i].second.size()));
        put32(out, offsets[i]);
    }
    put32(out, directory);
    return out;
}

// Block-coded 10-bit rows (one 64-photosite block per row) at byte 540 of a camera heap.
RawFixture canonCrw() {
    const int w = 64, h = 32;
    const auto first =
        canonicalHuffmanCodes({std::begin(raw::kCanonFirstTables[0]), std::end(raw::kCanonFirstTables[0])});
    const auto second =
        canonicalHuffmanCodes({std::begin(raw::kCanonSecondTables[0]), std::end(raw::kCanonSecondTables[0])});
    BitWriter bits(true);
    auto difference = [&](const std::array<HuffmanCode, 256>& table, int run, int d) {
        int len = 0;
        while ((std::abs(d) >> len) != 0)
            ++len;
        bits.put(table[size_t(run << 4 | len)].code, table[size_t(run << 4 | len)].length);
        if (len) bits.put(uint32_t(d > 0 ? d : d + (1 << len) - 1), len);
    };
    int carry = 0;
    for (int row = 0; row < h; ++row) {
        const int next = 40 * (row % 8); // the block carry climbs and falls back
        difference(first, 0, next - carry);
        carry = next;
        difference(second, 0, 1 + row % 3); // odd photosites step up a little
        bits.put(second[0].code, second[0].length);
    }
    std::vector<uint8_t> data = bits.finish();
    data.insert(data.end(), {0xFF, 0x00}); // stuffing seen: the file has no low-bit area

    std::vector<uint8_t> names(64, 0);
    std::memcpy(names.data(), "Canon\0Canon EOS D30", 20);
    std::vector<uint8_t> sensor, info, compression;
    put16(sensor, 0), put16(sensor, w), put16(sensor, h);
    put32(info, w), put32(info, h), put32(info, 0x3F800000), put32(info, 0);
    put32(compression, 0);
    const std::vector<uint8_t> camera =
        ciffHeap({{0x080A, names}, {0x1031, sensor}, {0x1810, info}, {0x1835, compression}});

    std::vector<uint8_t> file = {'I', 'I'};
    put32(file, 26);
    for (char c : std::string("HEAPCCDR"))
        file.push_back(uint8_t(c));
    file.resize(26);
    const std::vector<uint8_t> heap =
        ciffHeap({{0x0000, std::vector<uint8_t>(540 - 26)}, {0x2005, data}, {0x300A, camera}});
    file.insert(file.end(), heap.begin(), heap.end());
    return {"canon.crw", file};
}

} // namespace

std::vector<RawFixture> rawFixtures() {
    return {plainDng(), tiledLjpegDng(), sizeTableFile(), sonyArw(), panasonicRw2(), nikonNef(), canonCrw()};
}

} // namespace testsupport
