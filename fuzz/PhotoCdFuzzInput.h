#pragma once
// The Photo CD target's input: a pack and its 64Base extension files, each given as chunks
// laid into a file of zeros. A pack is mostly plane samples that no parser looks at; chunks
// keep the fuzzer's mutations on the header, the tables and the residual records, while
// still letting it place anything anywhere and end a file anywhere.
//
// Input: chunks back to back, each
//   u8 file (mod 5: the pack, "INFO.IC", "IPE0001.ICD" .. "IPE0003.ICD"),
//   u32 big-endian offset (mod 2 MB, which holds a pack's 16Base records; longer files of
//   zeros only make the record search slower), u16 big-endian length, then that many bytes
//   (fewer when the input ends).
// A file is as long as its farthest chunk; a file without chunks is not written at all.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzing {

inline constexpr int kPcdFileCount = 5;
inline constexpr uint64_t kPcdMaxOffset = 2ull << 20;

struct PcdChunk {
    int file = 0;
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
};

// Relative to the scratch folder, laid out as a disc: the extension index must be found at
// IPE/<image>/64BASE/INFO.IC, its files beside it.
inline const char* pcdFileName(int file) {
    static const char* const names[kPcdFileCount] = {
        "IMAGES/IMG0001.PCD", "IPE/IMG0001/64BASE/INFO.IC", "IPE/IMG0001/64BASE/IPE0001.ICD",
        "IPE/IMG0001/64BASE/IPE0002.ICD", "IPE/IMG0001/64BASE/IPE0003.ICD"};
    return names[file];
}

inline std::vector<PcdChunk> parsePcdChunks(const uint8_t* data, size_t size) {
    std::vector<PcdChunk> chunks;
    size_t at = 0;
    while (size - at >= 7) {
        PcdChunk c;
        c.file = data[at] % kPcdFileCount;
        c.offset = (uint64_t(data[at + 1]) << 24 | uint64_t(data[at + 2]) << 16 |
                    uint64_t(data[at + 3]) << 8 | data[at + 4]) %
                   kPcdMaxOffset;
        const size_t length = size_t(data[at + 5]) << 8 | data[at + 6];
        at += 7;
        const size_t take = length < size - at ? length : size - at;
        c.bytes.assign(data + at, data + at + take);
        at += take;
        chunks.push_back(std::move(c));
    }
    return chunks;
}

// The chunks of a whole file: its runs of non-zero bytes (zero runs shorter than 64 bytes
// kept inside a chunk), with an empty chunk at the end when the file ends in zeros.
inline void appendPcdChunks(std::vector<uint8_t>& input, int file, const std::vector<uint8_t>& bytes) {
    const auto put = [&](uint64_t offset, const uint8_t* data, size_t length) {
        input.push_back(uint8_t(file));
        for (int shift = 24; shift >= 0; shift -= 8)
            input.push_back(uint8_t(offset >> shift));
        input.push_back(uint8_t(length >> 8));
        input.push_back(uint8_t(length));
        input.insert(input.end(), data, data + length);
    };
    size_t at = 0;
    while (at < bytes.size()) {
        while (at < bytes.size() && bytes[at] == 0)
            ++at;
        if (at == bytes.size()) break;
        size_t end = at, zeros = 0;
        while (end < bytes.size() && end - at < 0xFFFF && zeros < 64) {
            zeros = bytes[end] == 0 ? zeros + 1 : 0;
            ++end;
        }
        end -= zeros;
        put(at, bytes.data() + at, end - at);
        at = end;
    }
    if (bytes.empty() || bytes.back() == 0) put(bytes.size(), nullptr, 0);
}

} // namespace fuzzing
