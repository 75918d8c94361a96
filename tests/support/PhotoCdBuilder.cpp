#include "tests/support/PhotoCdBuilder.h"

#include <algorithm>
#include <stdexcept>

namespace testsupport {

namespace {

struct PlainLevel {
    int width, height, sector;
};
constexpr PlainLevel kPlain[3] = {{192, 128, 4}, {384, 256, 23}, {768, 512, 96}};

void putBE(std::vector<uint8_t>& out, uint64_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
}

} // namespace

std::vector<PcdCode> defaultPcdCodes() {
    return {{1, 0b0, 0}, {2, 0b10, 8}, {3, 0b110, -8}, {4, 0b1110, 1}, {5, 0b11110, -1}};
}

std::vector<uint8_t> pcdTableBlock(const std::vector<std::vector<PcdCode>>& tables) {
    std::vector<uint8_t> block;
    for (const auto& table : tables) {
        block.push_back(static_cast<uint8_t>(table.size() - 1));
        for (const PcdCode& c : table) {
            const uint16_t aligned =
                static_cast<uint16_t>(c.length >= 16 ? c.code : c.code << (16 - c.length));
            block.push_back(static_cast<uint8_t>(c.length - 1));
            block.push_back(static_cast<uint8_t>(aligned >> 8));
            block.push_back(static_cast<uint8_t>(aligned));
            block.push_back(static_cast<uint8_t>(c.value));
        }
    }
    return block;
}

PcdResidualWriter::PcdResidualWriter(std::vector<PcdCode> codes) : codes_(std::move(codes)) {}

void PcdResidualWriter::residuals(const std::vector<int8_t>& values) {
    for (int8_t v : values) {
        auto it = std::find_if(codes_.begin(), codes_.end(), [v](const PcdCode& c) { return c.value == v; });
        if (it == codes_.end()) throw std::invalid_argument("no code for residual");
        out_.put(it->code, it->length);
    }
}

PcdResidualWriter& PcdResidualWriter::row(int plane, int row, const std::vector<int8_t>& values) {
    out_.put(0xFFFFFE, 24);
    out_.put(static_cast<uint32_t>(plane & 3) << 14 | static_cast<uint32_t>(row & 0x1FFF) << 1, 16);
    residuals(values);
    return *this;
}

PcdResidualWriter& PcdResidualWriter::extensionRow(int plane, int row, int sequence,
                                                   const std::vector<int8_t>& values) {
    out_.put(0xFFFFFE, 24);
    out_.put(static_cast<uint32_t>(plane & 3) << 20 | static_cast<uint32_t>(row & 0x3FFF) << 6 |
                 static_cast<uint32_t>(sequence & 0xF) << 1,
             24);
    residuals(values);
    return *this;
}

PcdResidualWriter& PcdResidualWriter::bits(uint32_t value, int count) {
    out_.put(value, count);
    return *this;
}

std::vector<uint8_t> PcdResidualWriter::finish() { return out_.finish(0); }

PhotoCdBuilder::PhotoCdBuilder() : file_(3 * 2048, 0) {
    text(0, "PCD_OPA");
    text(2048, "PCD_IPI");
    byte(3593, 1);
}

void PhotoCdBuilder::reserve(uint64_t end) {
    if (file_.size() < end) file_.resize(end, 0);
}

PhotoCdBuilder& PhotoCdBuilder::attributes(int rotation, int resolutionField, int compressionClass) {
    return byte(3586, static_cast<uint8_t>((rotation & 3) | (resolutionField & 3) << 2 |
                                           (compressionClass & 3) << 5));
}

PhotoCdBuilder& PhotoCdBuilder::byte(uint64_t offset, uint8_t value) {
    reserve(offset + 1);
    file_[offset] = value;
    return *this;
}

PhotoCdBuilder& PhotoCdBuilder::text(uint64_t offset, const std::string& value) {
    return bytes(offset, std::vector<uint8_t>(value.begin(), value.end()));
}

PhotoCdBuilder& PhotoCdBuilder::be16(uint64_t offset, uint16_t value) {
    reserve(offset + 2);
    putBE(file_, offset, value, 2);
    return *this;
}

PhotoCdBuilder& PhotoCdBuilder::be32(uint64_t offset, uint32_t value) {
    reserve(offset + 4);
    putBE(file_, offset, value, 4);
    return *this;
}

PhotoCdBuilder& PhotoCdBuilder::bytes(uint64_t offset, const std::vector<uint8_t>& data) {
    reserve(offset + data.size());
    std::copy(data.begin(), data.end(), file_.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
}

PhotoCdBuilder& PhotoCdBuilder::plainLevel(int level, const PcdSampleFn& luma, const PcdSampleFn& chroma1,
                                           const PcdSampleFn& chroma2) {
    const PlainLevel& L = kPlain[level];
    uint64_t at = static_cast<uint64_t>(L.sector) * 2048;
    reserve(at + static_cast<uint64_t>(L.width) * L.height * 3 / 2);
    for (int cr = 0; cr < L.height / 2; ++cr) {
        for (int r = 2 * cr; r < 2 * cr + 2; ++r)
            for (int c = 0; c < L.width; ++c)
                file_[at++] = luma(r, c);
        for (const PcdSampleFn* chroma : {&chroma1, &chroma2})
            for (int c = 0; c < L.width / 2; ++c)
                file_[at++] = (*chroma)(cr, c);
    }
    return *this;
}

PhotoCdBuilder& PhotoCdBuilder::flatLevels(uint8_t luma, uint8_t chroma1, uint8_t chroma2) {
    for (int level = 0; level < 3; ++level)
        plainLevel(
            level, [=](int, int) { return luma; }, [=](int, int) { return chroma1; },
            [=](int, int) { return chroma2; });
    return *this;
}

PhotoCdBuilder& PhotoCdBuilder::truncate(uint64_t size) {
    file_.resize(size);
    return *this;
}

std::vector<uint8_t> pcdExtensionIndex(const std::vector<PcdExtensionLayer>& layers,
                                       const std::vector<std::string>& fileNames,
                                       const std::vector<std::vector<PcdCode>>& tables) {
    std::vector<uint8_t> out(64, 0);
    auto append16 = [&](uint16_t v) {
        out.push_back(uint8_t(v >> 8));
        out.push_back(uint8_t(v));
    };
    auto append32 = [&](uint32_t v) {
        append16(uint16_t(v >> 16));
        append16(uint16_t(v));
    };

    putBE(out, 48, static_cast<uint32_t>(out.size()), 4);
    append16(static_cast<uint16_t>(fileNames.size()));
    for (const std::string& name : fileNames) {
        std::string entry = name;
        entry.resize(16, '\0');
        out.insert(out.end(), entry.begin(), entry.end());
    }

    // Descriptors are 18 bytes: a length word (16 more bytes follow), the sizes, the stripe.
    putBE(out, 44, static_cast<uint32_t>(out.size()), 4);
    append16(static_cast<uint16_t>(layers.size()));
    std::vector<size_t> runTableFields;
    for (const PcdExtensionLayer& layer : layers) {
        append16(16);
        append16(0);
        append16(layer.rows);
        append16(layer.columns);
        append16(layer.columnOffset);
        append32(layer.stripeLength);
        runTableFields.push_back(out.size());
        append32(0);
    }
    putBE(out, 56, static_cast<uint32_t>(out.size()), 4);
    const std::vector<uint8_t> block = pcdTableBlock(tables);
    out.insert(out.end(), block.begin(), block.end());
    for (size_t i = 0; i < layers.size(); ++i) {
        putBE(out, runTableFields[i], static_cast<uint32_t>(out.size()), 4);
        for (const auto& [file, offset] : layers[i].runs) {
            append16(file);
            append32(offset);
        }
    }
    return out;
}

} // namespace testsupport
