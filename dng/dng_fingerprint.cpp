#include "dng/dng_fingerprint.h"

#include "dng/dng_exceptions.h"

#include <cstring>

bool dng_fingerprint::IsNull() const {
    for (uint8_t byte : data)
        if (byte) return false;
    return true;
}

bool dng_fingerprint::operator==(const dng_fingerprint& other) const {
    return std::memcmp(data, other.data, sizeof(data)) == 0;
}

void dng_fingerprint::ToHexString(char result[33]) const {
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < 16; ++i) {
        result[2 * i] = kDigits[data[i] >> 4];
        result[2 * i + 1] = kDigits[data[i] & 15];
    }
    result[32] = 0;
}

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
} // namespace

bool dng_fingerprint::FromHexString(const char hex[33]) {
    for (int i = 0; i < 16; ++i) {
        const int high = HexValue(hex[2 * i]);
        if (high < 0) return false;
        const int low = HexValue(hex[2 * i + 1]);
        if (low < 0) return false;
        data[i] = uint8_t(high << 4 | low);
    }
    return true;
}

namespace {
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
constexpr uint32_t kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

uint32_t RotateLeft(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

uint32_t LoadLittleEndian(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreLittleEndian(uint32_t x, uint8_t* p) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(x >> (8 * i));
}
} // namespace

dng_md5_printer::dng_md5_printer() : fState{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void dng_md5_printer::Transform(const uint8_t block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = LoadLittleEndian(block + 4 * i);
    uint32_t a = fState[0], b = fState[1], c = fState[2], d = fState[3];
    // Unrolled, the round, index and shift of each step become constants.
#pragma GCC unroll 64
    for (uint32_t i = 0; i < 64; ++i) {
        const uint32_t round = i / 16;
        uint32_t f, k;
        switch (round) {
        case 0:
            f = (b & c) | (~b & d);
            k = i;
            break;
        case 1:
            f = (b & d) | (c & ~d);
            k = (5 * i + 1) % 16;
            break;
        case 2:
            f = b ^ c ^ d;
            k = (3 * i + 5) % 16;
            break;
        default:
            f = c ^ (b | ~d);
            k = (7 * i) % 16;
            break;
        }
        const uint32_t rotated = RotateLeft(a + f + kSine[i] + x[k], kShift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = b + rotated;
    }
    fState[0] += a;
    fState[1] += b;
    fState[2] += c;
    fState[3] += d;
}

void dng_md5_printer::Process(const void* data, uint32_t length) {
    const auto* input = static_cast<const uint8_t*>(data);
    uint32_t index = (fCount[0] >> 3) & 0x3F;
    const uint32_t bitsLow = length << 3;
    fCount[0] += bitsLow;
    if (fCount[0] < bitsLow) ++fCount[1];
    fCount[1] += length >> 29;

    const uint32_t partLength = 64 - index;
    uint32_t i = 0;
    if (length >= partLength) {
        std::memcpy(fBuffer + index, input, partLength);
        Transform(fBuffer);
        for (i = partLength; i + 63 < length; i += 64)
            Transform(input + i);
        index = 0;
    }
    std::memcpy(fBuffer + index, input + i, length - i);
}

const dng_fingerprint& dng_md5_printer::Result() {
    if (!fFinal) {
        uint8_t bits[8];
        StoreLittleEndian(fCount[0], bits);
        StoreLittleEndian(fCount[1], bits + 4);
        static const uint8_t kPadding[64] = {0x80};
        const uint32_t index = (fCount[0] >> 3) & 0x3F;
        Process(kPadding, index < 56 ? 56 - index : 120 - index);
        Process(bits, 8);
        for (int i = 0; i < 4; ++i)
            StoreLittleEndian(fState[i], fResult.data + 4 * i);
        fFinal = true;
    }
    return fResult;
}

dng_md5_printer_stream::dng_md5_printer_stream() { SetLittleEndian(); }

const dng_fingerprint& dng_md5_printer_stream::Result() {
    Flush();
    return dng_md5_printer::Result();
}

void dng_md5_printer_stream::DoRead(void*, uint32_t, uint64_t) { ThrowProgramError(); }

void dng_md5_printer_stream::DoSetLength(uint64_t length) {
    if (length != fNextOffset) ThrowProgramError();
}

void dng_md5_printer_stream::DoWrite(const void* data, uint32_t count, uint64_t offset) {
    if (offset != fNextOffset) ThrowProgramError();
    Process(data, count);
    fNextOffset += count;
}
