#include "photocd/PcdHuffmanTable.h"

#include <algorithm>

#include "photocd/PcdFailure.h"

namespace photocd {

namespace {
const char* const kCodeError = "Huffman code error!!";
}

PcdHuffmanTable::PcdHuffmanTable() : entries_(65536) {}

void PcdHuffmanTable::addCode(int length, uint16_t leftAlignedCode, int8_t value) {
    const uint32_t span = 1u << (16 - length);
    const uint32_t first = leftAlignedCode & ~(span - 1) & 0xFFFFu;
    std::fill(entries_.begin() + first, entries_.begin() + first + span,
              PcdHuffmanEntry{value, static_cast<uint8_t>(length)});
}

std::vector<PcdHuffmanTable> PcdHuffmanTable::parseBlock(const uint8_t* block, size_t size, int count) {
    std::vector<PcdHuffmanTable> tables;
    size_t pos = 0;
    for (int t = 0; t < count; ++t) {
        if (pos >= size) throw PcdFailure{kCodeError};
        const size_t codes = static_cast<size_t>(block[pos]) + 1;
        if (pos + 1 + 4 * codes > size) throw PcdFailure{kCodeError};
        if (t > 0 && codes <= 3) {
            tables.push_back(tables.back());
        } else {
            PcdHuffmanTable table;
            for (size_t i = 0; i < codes; ++i) {
                const uint8_t* e = block + pos + 1 + 4 * i;
                const int length = e[0] + 1;
                if (length > 16) throw PcdFailure{kCodeError};
                table.addCode(length, static_cast<uint16_t>(e[1] << 8 | e[2]), static_cast<int8_t>(e[3]));
            }
            tables.push_back(std::move(table));
        }
        pos += 4 * codes + 1;
    }
    return tables;
}

} // namespace photocd
