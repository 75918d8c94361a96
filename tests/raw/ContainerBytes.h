#pragma once
// Byte-level fixtures for the container parser tests: a little writer of numbers and texts
// in either byte order, and a decoder record reading from an in-memory file.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "raw/core/DecoderState.h"
#include "tests/raw/IdentifiedState.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/Samples.h"

namespace testsupport {

class Bytes {
  public:
    explicit Bytes(bool bigEndian = false) : big_(bigEndian) {}

    Bytes& u8(uint8_t v) {
        data.push_back(v);
        return *this;
    }
    Bytes& u16(uint16_t v) { return number(v, 2); }
    Bytes& u32(uint32_t v) { return number(v, 4); }
    Bytes& f32(float v) { return u32(std::bit_cast<uint32_t>(v)); }
    Bytes& text(std::string_view t) {
        data.insert(data.end(), t.begin(), t.end());
        return *this;
    }
    // `t` in a field of `width` bytes, zero-padded.
    Bytes& field(std::string_view t, size_t width) {
        text(t.substr(0, width));
        return zeros(width - std::min(width, t.size()));
    }
    Bytes& zeros(size_t n) {
        data.insert(data.end(), n, 0);
        return *this;
    }
    Bytes& append(const std::vector<uint8_t>& more) {
        data.insert(data.end(), more.begin(), more.end());
        return *this;
    }
    // Pads with zeros up to `offset`.
    Bytes& to(size_t offset) {
        if (data.size() < offset) zeros(offset - data.size());
        return *this;
    }
    void put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            data[at + i] = byte(v, 4, i);
    }
    size_t size() const { return data.size(); }

    std::vector<uint8_t> data;

  private:
    uint8_t byte(uint64_t v, int width, int i) const {
        const int shift = big_ ? 8 * (width - 1 - i) : 8 * i;
        return uint8_t(v >> shift);
    }
    Bytes& number(uint64_t v, int width) {
        for (int i = 0; i < width; ++i)
            data.push_back(byte(v, width, i));
        return *this;
    }
    bool big_;
};

// A decoder record as identification leaves it before a parser runs, over `bytes`.
struct ParsedFile {
    explicit ParsedFile(std::vector<uint8_t> bytes)
        : file(std::make_unique<MemoryFile>(std::move(bytes))), s(identified_state()) {
        s->input_file = file->get();
        s->orientation_code = -1;
        s->cfa_pattern = 0xFFFFFFFF;
        s->pixel_aspect_ratio = 1;
    }
    std::unique_ptr<MemoryFile> file;
    std::unique_ptr<raw::DecoderState> s;
};

// The bytes of a sample file (empty when it is absent).
inline std::vector<uint8_t> sampleBytes(const std::string& name) {
    std::ifstream in(samplePath(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline int64_t localSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return int64_t(std::mktime(&t));
}

} // namespace testsupport
