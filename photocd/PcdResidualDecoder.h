#pragma once
// Decodes Huffman-coded residual row records into residual planes.
#include <cstdint>

#include "photocd/PcdBitReader.h"
#include "photocd/PcdHuffmanTable.h"
#include "photocd/PcdPlane.h"

namespace photocd {

enum PcdPlaneKind { kLuma = 0, kChroma1 = 1, kChroma2 = 2 };

struct PcdResidualTarget {
    PcdPlane* planes[3] = {nullptr, nullptr, nullptr}; // nullptr: the level holds no such plane
    const PcdHuffmanTable* tables[3] = {nullptr, nullptr, nullptr};
    int lumaHeight = 0;
    // Extension-file records: another header layout and rows cut into stripes.
    bool extensionLayout = false;
    int stripeLength = 0;
    int columnOffset = 0;
    // Whether decoding continues until every held plane has been seen.
    bool waitForAllPlanes = true;
};

// Throws PcdFailure; running out of data inside a row simply ends decoding.
void decodeResidualRows(PcdBitReader& reader, const PcdResidualTarget& target, int64_t budget);

} // namespace photocd
