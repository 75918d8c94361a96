#pragma once
// Hand-made headerless and camera-header files for identification tests.
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "raw/core/DecoderState.h"
#include "raw/identify/Identify.h"
#include "tests/support/MemoryFile.h"

namespace identifykit {

// A file image written at given offsets; it grows as needed and holds zeros elsewhere.
class Bytes {
  public:
    explicit Bytes(size_t size = 0) : data_(size) {}
    Bytes& text(size_t at, const std::string& s) {
        grow(at + s.size());
        std::memcpy(data_.data() + at, s.data(), s.size());
        return *this;
    }
    Bytes& u8(size_t at, uint8_t v) {
        grow(at + 1);
        data_[at] = v;
        return *this;
    }
    Bytes& le16(size_t at, uint16_t v) { return u8(at, uint8_t(v)).u8(at + 1, uint8_t(v >> 8)); }
    Bytes& le32(size_t at, uint32_t v) { return le16(at, uint16_t(v)).le16(at + 2, uint16_t(v >> 16)); }
    Bytes& be32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            u8(at + i, uint8_t(v >> (24 - 8 * i)));
        return *this;
    }
    Bytes& resize(size_t size) {
        data_.resize(size);
        return *this;
    }
    const std::vector<uint8_t>& data() const { return data_; }

  private:
    void grow(size_t size) {
        if (data_.size() < size) data_.resize(size);
    }
    std::vector<uint8_t> data_;
};

// A state as loadFile leaves it before identification.
inline std::unique_ptr<raw::DecoderState> freshState() {
    auto s = std::make_unique<raw::DecoderState>();
    s->use_as_shot_wb = 1;
    s->as_shot_white_xyz[0] = -1000;
    return s;
}

// Identifies an in-memory file into `s`; the file is closed again before returning, also
// when identification throws.
inline void identifyInto(raw::DecoderState& s, const std::vector<uint8_t>& bytes) {
    testsupport::MemoryFile file(bytes);
    s.input_file = file.get();
    struct Detach {
        raw::DecoderState& s;
        ~Detach() { s.input_file = nullptr; }
    } detach{s};
    raw::identify_camera(s);
}

inline std::unique_ptr<raw::DecoderState>
identify(const std::vector<uint8_t>& bytes, const std::function<void(raw::DecoderState&)>& setup = {}) {
    std::unique_ptr<raw::DecoderState> s = freshState();
    if (setup) setup(*s);
    identifyInto(*s, bytes);
    return s;
}

} // namespace identifykit
