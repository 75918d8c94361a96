#pragma once
// Packs bit streams for decoder tests: most significant bit first, with optional JPEG
// byte stuffing (a 0x00 after every 0xFF data byte) and markers written unstuffed.
#include <array>
#include <cstdint>
#include <vector>

namespace testsupport {

class BitWriter {
  public:
    explicit BitWriter(bool ffStuffing = false) : stuffing_(ffStuffing) {}

    // The low `bits` bits of value (0..32), most significant first.
    BitWriter& put(uint32_t value, int bits);
    // Pads the last byte with `fillBit` (JPEG pads with ones).
    BitWriter& align(int fillBit = 1);
    // Aligns, then writes 0xFF `code` without stuffing.
    BitWriter& marker(uint8_t code);
    // Aligns, then appends bytes as they are.
    BitWriter& rawBytes(const std::vector<uint8_t>& bytes);

    // The stream so far, aligned with `fillBit`.
    std::vector<uint8_t> finish(int fillBit = 1);

  private:
    void emit(uint8_t byte);

    bool stuffing_;
    std::vector<uint8_t> out_;
    uint32_t pending_ = 0;
    int pendingBits_ = 0;
};

// A canonical Huffman code per symbol from a DHT-style source (16 counts, then the
// symbols in code order): what an encoder writes for each symbol. Length 0 = no code.
struct HuffmanCode {
    uint32_t code = 0;
    int length = 0;
};
std::array<HuffmanCode, 256> canonicalHuffmanCodes(const std::vector<uint8_t>& source);

} // namespace testsupport
