#pragma once
// One 8-bit sample plane; residual planes hold signed bytes in the same storage.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace photocd {

struct PcdPlane {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> data;

    bool empty() const { return data.empty(); }
    // Zero-filled; throws std::bad_alloc when the memory cannot be had.
    void allocate(int w, int h) {
        data.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
        width = w;
        height = h;
    }
    void release() {
        std::vector<uint8_t>().swap(data);
        width = height = 0;
    }
    uint8_t* row(int r) { return data.data() + static_cast<size_t>(r) * static_cast<size_t>(width); }
    const uint8_t* row(int r) const {
        return data.data() + static_cast<size_t>(r) * static_cast<size_t>(width);
    }
    uint8_t at(int r, int c) const { return row(r)[c]; }
};

} // namespace photocd
