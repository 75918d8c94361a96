#include "photocd/PcdExtensionReader.h"

#include <cctype>
#include <cstdint>
#include <vector>

#include "photocd/PcdBitReader.h"
#include "photocd/PcdFailure.h"
#include "photocd/PcdFile.h"
#include "photocd/PcdHuffmanTable.h"
#include "photocd/PcdLevels.h"
#include "photocd/PcdResidualDecoder.h"

namespace photocd {

namespace {

constexpr int64_t kMaxIndexSize = 64ll << 20; // an index file is a few sectors

// Big-endian reads that refuse to leave the index file.
class IndexFile {
  public:
    explicit IndexFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    uint32_t u16(uint64_t at) const {
        need(at, 2);
        return static_cast<uint32_t>(bytes_[at] << 8 | bytes_[at + 1]);
    }
    uint32_t u32(uint64_t at) const {
        need(at, 4);
        return u16(at) << 16 | u16(at + 2);
    }
    const uint8_t* bytes(uint64_t at, uint64_t count) const {
        need(at, count);
        return bytes_.data() + at;
    }
    uint64_t size() const { return bytes_.size(); }

  private:
    void need(uint64_t at, uint64_t count) const {
        if (at > bytes_.size() || count > bytes_.size() - at) throw PcdFailure{"IC File too small"};
    }
    std::vector<uint8_t> bytes_;
};

struct Layer {
    uint32_t columnOffset = 0;
    uint32_t stripeLength = 0;
    uint32_t records = 0;
    uint32_t runTable = 0;
};

IndexFile loadIndex(const std::string& path) {
    if (path.size() < 10) throw PcdFailure{"IPE filename too short to be valid"};
    PcdFile file;
    if (!file.open(path)) throw PcdFailure{"Could not open 64Base IPE file"};
    const int64_t size = file.size();
    if (size < 0 || size > kMaxIndexSize) throw PcdFailure{"Could not read 64Base IPE file"};
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        throw PcdFailure{"Memory allocation error"};
    }
    if (file.readAt(0, bytes.data(), bytes.size()) < bytes.size()) throw PcdFailure{"IC File too small"};
    return IndexFile(std::move(bytes));
}

std::vector<std::string> fileNames(const IndexFile& index, const std::string& path, int layers) {
    const uint32_t list = index.u32(48);
    const uint32_t count = index.u16(list);
    if (count < 1 || count > 10 || count < static_cast<uint32_t>(layers))
        throw PcdFailure{"Invalid number of IPE files"};
    const bool lowerCase = path[path.size() - 9] == 'e';
    std::vector<std::string> names;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = index.bytes(list + 2ull + 16ull * i, 16);
        std::string name;
        for (int c = 0; c < 12 && entry[c] != 0; ++c)
            name.push_back(static_cast<char>(lowerCase ? std::tolower(entry[c]) : entry[c]));
        names.push_back(name);
    }
    return names;
}

std::vector<Layer> layers(const IndexFile& index, int count) {
    std::vector<Layer> result;
    uint64_t at = index.u32(44) + 2ull;
    for (int i = 0; i < count; ++i) {
        if (i > 0) at += index.u16(at) + 2ull;
        Layer layer;
        const uint64_t samples = static_cast<uint64_t>(index.u16(at + 4)) * index.u16(at + 6);
        layer.columnOffset = index.u16(at + 8);
        layer.stripeLength = index.u32(at + 10);
        layer.runTable = index.u32(at + 14);
        // A stripe wider than the image cannot be placed.
        if (layer.stripeLength > static_cast<uint32_t>(kLevels[k64BaseLevel].lumaWidth))
            throw PcdFailure{"Corrupt Image"};
        if (layer.stripeLength > 0) layer.records = static_cast<uint32_t>(samples / layer.stripeLength);
        result.push_back(layer);
    }
    return result;
}

void allocatePlanes(PcdPlane planes[3], int layerCount) {
    try {
        planes[0].allocate(kLevels[k64BaseLevel].lumaWidth, kLevels[k64BaseLevel].lumaHeight);
        for (int p = 1; p < 3 && layerCount == 3; ++p)
            planes[p].allocate(kLevels[k64BaseLevel].lumaWidth / 2, kLevels[k64BaseLevel].lumaHeight / 2);
    } catch (const std::bad_alloc&) {
        throw PcdFailure{"Could not allocate memory for deltas"};
    }
}

void decodeRun(const std::string& path, uint64_t offset, int64_t entries, PcdResidualTarget target) {
    PcdFile file;
    if (!file.open(path)) throw PcdFailure{"Could not open 64Base extension image"};
    PcdBitReader reader;
    if (!reader.start(file, offset))
        throw PcdFailure{"Unexpected end of file while initializing read buffer"};
    decodeResidualRows(reader, target, entries);
}

void decodeLayer(const IndexFile& index, const Layer& layer, const std::vector<std::string>& names,
                 const std::string& directory, PcdResidualTarget target) {
    target.stripeLength = static_cast<int>(layer.stripeLength);
    target.columnOffset = static_cast<int>(layer.columnOffset);
    uint32_t entry = 0;
    while (entry < layer.records) {
        const uint32_t fileIndex = index.u16(layer.runTable + 6ull * entry);
        const uint32_t offset = index.u32(layer.runTable + 6ull * entry + 2);
        uint32_t end = entry + 1;
        while (end < layer.records && index.u16(layer.runTable + 6ull * end) == fileIndex)
            ++end;
        if (fileIndex >= names.size()) throw PcdFailure{"Corrupt Image"};
        decodeRun(directory + names[fileIndex], offset, end - entry, target);
        entry = end;
    }
}

} // namespace

void readExtensionResiduals(const std::string& indexPath, bool monochrome, PcdPlane planes[3]) {
    const IndexFile index = loadIndex(indexPath);
    const uint32_t stored = index.u16(index.u32(44));
    if (stored != 1 && stored != 3) throw PcdFailure{"Invalid number of layers"};
    const int layerCount = monochrome ? 1 : static_cast<int>(stored);
    const std::vector<std::string> names = fileNames(index, indexPath, layerCount);

    const uint32_t tableAt = index.u32(56);
    std::vector<PcdHuffmanTable> tables;
    try {
        tables = PcdHuffmanTable::parseBlock(index.bytes(tableAt, 0), index.size() - tableAt, layerCount);
    } catch (const std::bad_alloc&) {
        throw PcdFailure{"Could not allocate huffman tables"};
    }
    allocatePlanes(planes, layerCount);

    PcdResidualTarget target;
    target.lumaHeight = kLevels[k64BaseLevel].lumaHeight;
    target.extensionLayout = true;
    target.waitForAllPlanes = false;
    for (int p = 0; p < layerCount; ++p) {
        target.planes[p] = &planes[p];
        target.tables[p] = &tables[static_cast<size_t>(p)];
    }
    const std::string directory = indexPath.substr(0, indexPath.size() - 7);
    for (const Layer& layer : layers(index, layerCount))
        if (layer.records >= 1) decodeLayer(index, layer, names, directory, target);
}

} // namespace photocd
