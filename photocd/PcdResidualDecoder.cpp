#include "photocd/PcdResidualDecoder.h"

#include "photocd/PcdFailure.h"

namespace photocd {

namespace {

struct RowHeader {
    int plane = -1;   // PcdPlaneKind, or -1 for a corrupt plane number
    int lumaRow = 0;  // the record's row on the luma grid
    int sequence = 0; // stripe within the row (extension files)
};

RowHeader parseHeader(uint32_t window, bool extension) {
    RowHeader h;
    if (extension) {
        static const int kinds[4] = {kLuma, kChroma1, kChroma2, -1};
        h.plane = kinds[((window >> 19) & 6) / 2];
        const int row = static_cast<int>((window >> 6) & 0x3FFF);
        h.lumaRow = h.plane == kLuma ? row : row * 2;
        h.sequence = static_cast<int>((window >> 1) & 0xF);
    } else {
        static const int kinds[4] = {kLuma, -1, kChroma1, kChroma2};
        h.plane = kinds[(window >> 22) & 3];
        h.lumaRow = static_cast<int>((window >> 9) & 0x1FFF);
    }
    return h;
}

// False when the data ran out inside the row.
bool decodeRow(PcdBitReader& reader, const PcdHuffmanTable& table, uint8_t* row, int width, int start,
               int length) {
    for (int i = 0; i < length; ++i) {
        const PcdHuffmanEntry& e = table.lookup(reader.window());
        if (e.length == PcdHuffmanTable::kInvalidLength) {
            for (int j = i; j < length; ++j)
                if (start + j >= 0 && start + j < width) row[start + j] = 0;
            if (!reader.resync())
                throw PcdFailure{"Unexpected end of file while attempting recover from an error "
                                 "in the Huffman sequence"};
            return true;
        }
        if (!reader.advance(e.length)) return false;
        if (start + i < width) // stripes that claim more than the row are cut
            row[start + i] = static_cast<uint8_t>(e.value);
    }
    return true;
}

} // namespace

void decodeResidualRows(PcdBitReader& reader, const PcdResidualTarget& target, int64_t budget) {
    bool seen[3] = {false, false, false};
    auto planeMissing = [&] {
        if (!target.waitForAllPlanes) return false;
        for (int p = 0; p < 3; ++p)
            if (target.planes[p] && !seen[p]) return true;
        return false;
    };
    int lastRow = 0;
    while ((planeMissing() || lastRow < target.lumaHeight) && budget > 0 && reader.resync()) {
        --budget;
        if (!reader.advance(16))
            throw PcdFailure{
                "Unexpected end of file while attempting to read plane, row and sequence numbers"};
        const RowHeader h = parseHeader(reader.window(), target.extensionLayout);
        if (!reader.advance(target.extensionLayout ? 32 : 24))
            throw PcdFailure{"Unexpected end of file while attempting to read IPE headers"};
        lastRow = h.lumaRow;
        if (h.lumaRow >= target.lumaHeight) continue;
        if (h.plane < 0) throw PcdFailure{"Corrupt Image"};
        seen[h.plane] = true;
        PcdPlane* plane = target.planes[h.plane];
        if (!plane || !target.tables[h.plane]) continue;
        const bool chroma = h.plane != kLuma;
        const int row = chroma ? h.lumaRow / 2 : h.lumaRow;
        if (row >= plane->height) continue;
        int start = 0;
        int length = plane->width;
        if (target.extensionLayout) {
            length = target.stripeLength;
            start =
                h.sequence * target.stripeLength + (chroma ? target.columnOffset / 2 : target.columnOffset);
        }
        if (!decodeRow(reader, *target.tables[h.plane], plane->row(row), plane->width, start, length)) return;
    }
}

} // namespace photocd
