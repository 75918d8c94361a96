#include "photocd/pcdDecode.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "photocd/PcdBands.h"
#include "photocd/PcdBitReader.h"
#include "photocd/PcdColorConverter.h"
#include "photocd/PcdExtensionReader.h"
#include "photocd/PcdFailure.h"
#include "photocd/PcdFile.h"
#include "photocd/PcdFilmTerms.h"
#include "photocd/PcdHeaderInfo.h"
#include "photocd/PcdHuffmanTable.h"
#include "photocd/PcdLevels.h"
#include "photocd/PcdResidualDecoder.h"
#include "photocd/PcdUpsampler.h"

using namespace photocd;

namespace {

constexpr size_t kErrorCapacity = 359;
constexpr int kAttributes = 3586;
constexpr int k16BaseSector = 3587;
constexpr int kInterleave = 3593;

} // namespace

pcdDecode::pcdDecode() = default;
pcdDecode::~pcdDecode() = default;

void pcdDecode::reset() {
    for (auto& level : residual_)
        for (PcdPlane& plane : level)
            plane.release();
    luma_.release();
    chroma1_.release();
    chroma2_.release();
    header_.clear();
    errorText_.clear();
    levelRead_ = -1;
    level_ = -1;
    rotation_ = 0;
}

void pcdDecode::setError(const std::string& text) {
    if (errorText_.empty()) errorText_ = text.substr(0, kErrorCapacity);
}

bool pcdDecode::fail(const std::string& text) {
    setError(text);
    return false;
}

bool pcdDecode::readHeader(PcdFile& file) {
    header_.resize(kHeaderSize);
    const char* error = nullptr;
    if (file.readAt(0, header_.data(), header_.size()) < header_.size())
        error = "PCD file is too small to be valid";
    else if (std::memcmp(header_.data(), "PCD_OPA", 7) != 0 &&
             std::memcmp(header_.data() + kSectorSize, "PCD_IPI", 7) != 0)
        error = "That is not a valid PCD file";
    else if (header_[kInterleave] != 1)
        error = "The file contains interleaved audio";
    if (!error) return true;
    header_.clear();
    return fail(error);
}

bool pcdDecode::parseFile(const std::string& path, const std::string& ipePath, int maximumLevel) {
    reset();
    PcdFile file;
    if (!file.open(path)) return fail("Could not open PCD file - may be a file permissions problem");
    if (!readHeader(file)) return false;
    setMonochrome(isBlackAndWhiteMedium());
    const int attributes = header_[kAttributes];
    rotation_ = attributes & 3;
    const int resolution = (attributes >> 2) & 3;
    highestLevel_ = resolution + 2;
    compressionClass_ = (attributes >> 5) & 3;

    maximumLevel = std::clamp(maximumLevel, 0, k64BaseLevel);
    const int chosen = highestLevel_ >= maximumLevel || resolution >= 2 ? maximumLevel : highestLevel_;
    if (!readPlainLevels(file, chosen)) return fail("No image could be read from the PCD file");
    level_ = chosen;
    if (levelRead_ < kBaseLevel) {
        level_ = levelRead_;
        return true;
    }
    // Each residual level builds on the one below, so a failed level ends the climb.
    for (int next = k4BaseLevel; next <= std::min(chosen, k16BaseLevel); ++next)
        if (!readResidualLevel(file, next)) {
            level_ = next - 1;
            return true;
        }
    if (chosen == k64BaseLevel && !read64Base(ipePath)) {
        level_ = k16BaseLevel;
        setError("Error while processing 64Base image");
    }
    return true;
}

void pcdDecode::readPlainLevel(PcdFile& file, int level) {
    const PcdLevel& L = kLevels[level];
    const int cw = L.lumaWidth / 2, ch = L.lumaHeight / 2;
    luma_.allocate(L.lumaWidth, L.lumaHeight);
    chroma1_.allocate(cw, ch);
    chroma2_.allocate(cw, ch);
    if (!file.seek(static_cast<uint64_t>(L.plainSector) * kSectorSize))
        throw PcdFailure{"File ended unexpectedly"};
    const size_t lw = static_cast<size_t>(L.lumaWidth);
    for (int row = 0; row < ch; ++row) {
        if (file.read(luma_.row(2 * row), lw) < lw || file.read(luma_.row(2 * row + 1), lw) < lw ||
            file.read(chroma1_.row(row), static_cast<size_t>(cw)) < static_cast<size_t>(cw) ||
            file.read(chroma2_.row(row), static_cast<size_t>(cw)) < static_cast<size_t>(cw))
            throw PcdFailure{"File ended unexpectedly"};
    }
}

bool pcdDecode::readPlainLevels(PcdFile& file, int chosen) {
    for (int level = std::min(chosen, kBaseLevel); level >= 0; --level) {
        try {
            readPlainLevel(file, level);
            levelRead_ = level;
            return true;
        } catch (const PcdFailure& f) {
            setError(f.text);
        } catch (const std::bad_alloc&) {
            setError("Memory allocation error");
        }
        luma_.release();
        chroma1_.release();
        chroma2_.release();
    }
    return false;
}

void pcdDecode::decodeResiduals(PcdFile& file, int level, uint64_t tableOffset, int tableCount,
                                uint64_t dataOffset) {
    std::vector<PcdHuffmanTable> tables;
    std::vector<uint8_t> block(tableCount == 1 ? kSectorSize : 2 * kSectorSize);
    if (file.readAt(tableOffset, block.data(), block.size()) < block.size()) throw PcdFailure{};
    try {
        tables = PcdHuffmanTable::parseBlock(block.data(), block.size(), tableCount);
    } catch (const std::bad_alloc&) {
        setError("Could not allocate huffman tables");
        throw PcdFailure{};
    }
    const PcdLevel& L = kLevels[level];
    PcdPlane* planes = residuals(level);
    PcdResidualTarget target;
    target.lumaHeight = L.lumaHeight;
    planes[0].allocate(L.lumaWidth, L.lumaHeight);
    target.planes[kLuma] = &planes[0];
    // 4Base carries no chroma residuals; a monochrome 16Base carries none either.
    const bool chroma = level == k16BaseLevel && !monochrome_;
    for (int p = 1; p < 3 && chroma; ++p) {
        planes[p].allocate(L.lumaWidth / 2, L.lumaHeight / 2);
        target.planes[p] = &planes[p];
    }
    for (int p = 0; p < 3; ++p)
        target.tables[p] = &tables[static_cast<size_t>(std::min(p, tableCount - 1))];

    PcdBitReader reader;
    if (!reader.start(file, dataOffset))
        throw PcdFailure{"Unexpected end of file while initializing read buffer"};
    decodeResidualRows(reader, target, 2 * static_cast<int64_t>(L.lumaHeight));
}

bool pcdDecode::readResidualLevel(PcdFile& file, int level) {
    const bool is4Base = level == k4BaseLevel;
    try {
        if (is4Base) {
            decodeResiduals(file, level, k4BaseTableOffset, 1, k4BaseDataOffset);
        } else {
            const uint64_t s =
                static_cast<uint64_t>(header_[k16BaseSector] << 8 | header_[k16BaseSector + 1]);
            decodeResiduals(file, level, (s + 12) * kSectorSize, monochrome_ ? 1 : 3, (s + 14) * kSectorSize);
        }
        return true;
    } catch (const PcdFailure& f) {
        if (!f.text.empty())
            setError(f.text + (is4Base ? " while processing 4Base image" : " while processing 16Base image"));
    } catch (const std::bad_alloc&) {
    }
    setError(is4Base ? "Could not find a valid 4Base image; falling back to Base"
                     : "Could not find a valid 16Base image; falling back to 4Base");
    for (PcdPlane& plane : residual_[level - 3])
        plane.release();
    return false;
}

bool pcdDecode::read64Base(const std::string& ipePath) {
    PcdPlane planes[3];
    try {
        readExtensionResiduals(ipePath, monochrome_, planes);
    } catch (const PcdFailure& f) {
        return fail(f.text.empty() ? "Error while processing 64Base image" : f.text);
    } catch (const std::bad_alloc&) {
        return fail("Error while processing 64Base image");
    }
    for (int p = 0; p < 3; ++p)
        residual_[2][p] = std::move(planes[p]);
    return true;
}

void pcdDecode::upsample(const PcdPlane& src, PcdPlane& dst, bool addResidual) const {
    if (interpolation_ <= 0)
        upsampleReplicate(src, dst, addResidual);
    else
        upsampleBilinear(src, dst, addResidual);
}

void pcdDecode::buildLevel(int level) {
    PcdPlane* planes = residuals(level);
    upsample(luma_, planes[0], true);
    luma_ = std::move(planes[0]);
    PcdPlane* chroma[2] = {&chroma1_, &chroma2_};
    for (int c = 0; c < 2; ++c) {
        PcdPlane& target = planes[c + 1];
        const bool hasResidual = !target.empty();
        if (!hasResidual) target.allocate(chroma[c]->width * 2, chroma[c]->height * 2);
        upsample(*chroma[c], target, hasResidual);
        *chroma[c] = std::move(target);
    }
    for (int p = 0; p < 3; ++p)
        planes[p].release();
}

bool pcdDecode::buildHigherLevels() {
    if (luma_.empty()) return false;
    try {
        for (int level = k4BaseLevel; level <= k64BaseLevel; ++level) {
            const PcdPlane& res = residuals(level)[0];
            if (res.empty()) continue;
            if (res.width != 2 * luma_.width || res.height != 2 * luma_.height) break;
            buildLevel(level);
        }
        return true;
    } catch (const std::bad_alloc&) {
        reset();
        return fail("Memory allocation error");
    }
}

int pcdDecode::width() const {
    if (level_ < 0) return 0;
    const PcdLevel& L = kLevels[level_];
    return rotation_ & 1 ? L.lumaHeight : L.lumaWidth;
}

int pcdDecode::height() const {
    if (level_ < 0) return 0;
    const PcdLevel& L = kLevels[level_];
    return rotation_ & 1 ? L.lumaWidth : L.lumaHeight;
}

int64_t pcdDecode::scanningTime() const { return header_.empty() ? 0 : headerScanningTime(header_.data()); }

bool pcdDecode::isBlackAndWhiteMedium() const {
    if (header_.empty()) return false;
    const int medium = headerImageMedium(header_.data());
    return medium >= 4 && medium <= 6;
}

int pcdDecode::filmTermInfo(int& filmTerm, int& code2, int& code3) const {
    filmTerm = code2 = code3 = 0;
    if (header_.empty() || !headerHasSceneBalance(header_.data())) return 0;
    if (const PcdFilmTerm* term = findFilmTerm(headerFilmTermCode(header_.data()))) {
        filmTerm = term->code;
        code2 = term->code2;
        code3 = term->code3;
    }
    return code3;
}

void pcdDecode::metadataByIndex(int index, std::string& name, std::string& value) const {
    headerMetadataItem(header_.empty() ? nullptr : header_.data(), index, name, value);
}

bool pcdDecode::readFloatImage(float* r, float* g, float* b, float* a, int step) {
    return convertYCCToRGB(r, g, b, a, step, kOutputFloat);
}

bool pcdDecode::read16BitImage(uint16_t* r, uint16_t* g, uint16_t* b, uint16_t* a, int step) {
    return convertYCCToRGB(r, g, b, a, step, kOutput16Bit);
}

bool pcdDecode::read8BitImage(uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a, int step) {
    return convertYCCToRGB(r, g, b, a, step, kOutput8Bit);
}

bool pcdDecode::prepareChroma(PcdPlane& full1, PcdPlane& full2) {
    try {
        full1.allocate(luma_.width, luma_.height);
        full2.allocate(luma_.width, luma_.height);
    } catch (const std::bad_alloc&) {
        return fail("Memory Error!");
    }
    if (interpolation_ >= 2) {
        upsampleEdgeDirected(chroma1_, luma_, full1);
        upsampleEdgeDirected(chroma2_, luma_, full2);
    } else {
        upsampleBilinear(chroma1_, full1, false);
        upsampleBilinear(chroma2_, full2, false);
    }
    return true;
}

namespace {

template <typename T> T outputSample(int code);
template <> uint8_t outputSample<uint8_t>(int code) { return codeTo8(code); }
template <> uint16_t outputSample<uint16_t>(int code) { return codeTo16(code); }
template <> float outputSample<float>(int code) { return codeToFloat(code); }

size_t placement(int rotation, size_t i, size_t h, size_t W, size_t H) {
    switch (rotation) {
    case 1:
        return (W - 1 - h) * H + i;
    case 2:
        return (H - 1 - i) * W + (W - 1 - h);
    case 3:
        return h * H + (H - 1 - i);
    default:
        return i * W + h;
    }
}

} // namespace

template <typename T> void pcdDecode::writePixels(T* r, T* g, T* b, T* a, int step, const PcdPlane* full) {
    const PcdColorConverter converter(colorMode_, applyMatrix_);
    const size_t W = static_cast<size_t>(luma_.width), H = static_cast<size_t>(luma_.height);
    const T opaque = outputSample<T>(kCodeMax);
    runInBands(luma_.height, [&](int first, int end) {
        for (int i = first; i < end; ++i) {
            for (int h = 0; h < luma_.width; ++h) {
                int c1 = kNeutralChroma1, c2 = kNeutralChroma2;
                if (!monochrome_) {
                    c1 = full ? full[0].at(i, h) : chroma1_.at(i / 2, h / 2);
                    c2 = full ? full[1].at(i, h) : chroma2_.at(i / 2, h / 2);
                }
                const PcdRgb v = converter.convert(luma_.at(i, h), c1, c2);
                const size_t at = placement(rotation_, static_cast<size_t>(i), static_cast<size_t>(h), W, H) *
                                  static_cast<size_t>(step);
                r[at] = outputSample<T>(v.r);
                g[at] = outputSample<T>(v.g);
                b[at] = outputSample<T>(v.b);
                if (a) a[at] = opaque;
            }
        }
    });
}

bool pcdDecode::convertYCCToRGB(void* r, void* g, void* b, void* a, int step, int kind) {
    if (!r || !g || !b || step < 1 || kind < kOutput8Bit || kind > kOutputFloat) return false;
    if (level_ < 0 || luma_.empty()) return fail("No image has been decoded");
    const PcdLevel& L = kLevels[level_];
    if (luma_.width != L.lumaWidth) buildHigherLevels();
    if (luma_.width != L.lumaWidth || luma_.height != L.lumaHeight) return fail("No image has been decoded");
    PcdPlane full[2];
    const bool useFull = interpolation_ > 0 && !monochrome_;
    if (useFull && !prepareChroma(full[0], full[1])) return false;
    const PcdPlane* chroma = useFull ? full : nullptr;
    switch (kind) {
    case kOutput8Bit:
        writePixels(static_cast<uint8_t*>(r), static_cast<uint8_t*>(g), static_cast<uint8_t*>(b),
                    static_cast<uint8_t*>(a), step, chroma);
        break;
    case kOutput16Bit:
        writePixels(static_cast<uint16_t*>(r), static_cast<uint16_t*>(g), static_cast<uint16_t*>(b),
                    static_cast<uint16_t*>(a), step, chroma);
        break;
    default:
        writePixels(static_cast<float*>(r), static_cast<float*>(g), static_cast<float*>(b),
                    static_cast<float*>(a), step, chroma);
    }
    return true;
}
