#include "tests/support/BitWriter.h"

#include <cstddef>

namespace testsupport {

void BitWriter::emit(uint8_t byte) {
    out_.push_back(byte);
    if (stuffing_ && byte == 0xFF) out_.push_back(0x00);
}

BitWriter& BitWriter::put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
        pending_ = (pending_ << 1) | ((value >> i) & 1);
        if (++pendingBits_ == 8) {
            emit(uint8_t(pending_));
            pending_ = 0;
            pendingBits_ = 0;
        }
    }
    return *this;
}

BitWriter& BitWriter::align(int fillBit) {
    while (pendingBits_ != 0)
        put(fillBit & 1, 1);
    return *this;
}

BitWriter& BitWriter::marker(uint8_t code) {
    align();
    out_.push_back(0xFF);
    out_.push_back(code);
    return *this;
}

BitWriter& BitWriter::rawBytes(const std::vector<uint8_t>& bytes) {
    align();
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    return *this;
}

std::vector<uint8_t> BitWriter::finish(int fillBit) {
    align(fillBit);
    return out_;
}

std::array<HuffmanCode, 256> canonicalHuffmanCodes(const std::vector<uint8_t>& source) {
    std::array<HuffmanCode, 256> codes{};
    uint32_t code = 0;
    std::size_t next = 16;
    for (int len = 1; len <= 16 && std::size_t(len - 1) < source.size(); ++len) {
        for (int i = 0; i < source[len - 1] && next < source.size(); ++i)
            codes[source[next++]] = {code++, len};
        code <<= 1;
    }
    return codes;
}

} // namespace testsupport
