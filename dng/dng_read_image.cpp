#include "dng/dng_read_image.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_lossless_jpeg_decoder.h"
#include "dng/dng_lzw.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_safe_arithmetic.h"
#include "dng/dng_stream.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_tile_coding.h"
#include "platform/ConcurrentQueue.h"

#include <turbojpeg.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>

namespace {

constexpr uint32_t kMaxReadDimension = 130000;
constexpr uint64_t kChunkBytes = 131072;
// No coding this reader knows packs more than this many decoded bytes into one stored byte
// (deflate's limit is about 1032); a tile that claims more is not trusted with the memory.
constexpr uint64_t kMaxExpansion = 1100;
constexpr uint64_t kExpansionSlack = 65536;

[[noreturn]] void BadData(const char* message = nullptr) { ThrowBadFormat(message); }

uint64_t RowBytes(uint64_t samples, uint32_t bits) { return (samples * bits + 7) / 8; }

uint32_t BytesPerSample(uint32_t pixelType) { return pixelType == ttByte ? 1 : pixelType == ttShort ? 2 : 4; }

// A scratch block sized in 64 bits: a size the platform cannot hold is the overflow code.
std::vector<uint8_t> Scratch(uint64_t bytes) {
    if (bytes > uint64_t(std::numeric_limits<uint32_t>::max()))
        ThrowOverflow("Arithmetic overflow computing buffer size.");
    return dng_guard_allocation([&] { return std::vector<uint8_t>(size_t(bytes)); });
}

float HalfToFloat(uint32_t h) {
    const uint32_t sign = (h >> 15) & 1;
    int32_t exponent = int32_t((h >> 10) & 0x1F);
    uint32_t mantissa = h & 0x3FF;
    if (exponent == 31) {
        // Infinity becomes the largest finite half, NaN zero.
        if (mantissa != 0) return 0.0f;
        return sign ? -65504.0f : 65504.0f;
    }
    if (exponent == 0) {
        if (mantissa == 0) return sign ? -0.0f : 0.0f;
        while (!(mantissa & 0x400)) {
            mantissa <<= 1;
            --exponent;
        }
        ++exponent;
        mantissa &= 0x3FF;
    }
    const uint32_t bits = (sign << 31) | (uint32_t(exponent + 127 - 15) << 23) | (mantissa << 13);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

float Fp24ToFloat(uint32_t v) {
    const uint32_t sign = (v >> 23) & 1;
    int32_t exponent = int32_t((v >> 16) & 0x7F);
    uint32_t mantissa = v & 0xFFFF;
    if (exponent == 127) {
        if (mantissa != 0) return 0.0f;
        // The largest finite value of the format: exponent 126, all mantissa bits.
        const uint32_t bits = (sign << 31) | (uint32_t(126 - 63 + 127) << 23) | (0xFFFFu << 7);
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    if (exponent == 0) {
        if (mantissa == 0) return sign ? -0.0f : 0.0f;
        while (!(mantissa & 0x10000)) {
            mantissa <<= 1;
            --exponent;
        }
        ++exponent;
        mantissa &= 0xFFFF;
    }
    const uint32_t bits = (sign << 31) | (uint32_t(exponent + 127 - 63) << 23) | (mantissa << 7);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

uint32_t Load(const uint8_t* p, uint32_t bytes, bool bigEndian) {
    uint32_t v = 0;
    if (bigEndian)
        for (uint32_t i = 0; i < bytes; ++i)
            v = (v << 8) | p[i];
    else
        for (uint32_t i = bytes; i-- > 0;)
            v = (v << 8) | p[i];
    return v;
}

// Turns `rows` byte-aligned rows of `rowSamples` stored samples into samples of `pixelType`.
void Unpack(const uint8_t* src, uint64_t srcSize, uint32_t rows, uint32_t rowSamples, uint32_t bits,
            bool isFloat, bool bigEndian, uint32_t pixelType, void* dst) {
    const uint64_t rowBytes = RowBytes(rowSamples, bits);
    if (rowBytes * rows > srcSize) BadData("Image data shorter than its tile");
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t* s = src + r * rowBytes;
        const uint64_t base = uint64_t(r) * rowSamples;
        if (isFloat) {
            float* d = static_cast<float*>(dst) + base;
            const uint32_t bytes = bits / 8;
            for (uint32_t i = 0; i < rowSamples; ++i) {
                const uint32_t v = Load(s + i * bytes, bytes, bigEndian);
                if (bits == 16) {
                    d[i] = HalfToFloat(v);
                } else if (bits == 24) {
                    d[i] = Fp24ToFloat(v);
                } else {
                    std::memcpy(&d[i], &v, 4);
                }
            }
        } else if (bits == 8) {
            std::memcpy(static_cast<uint8_t*>(dst) + base, s, rowSamples);
        } else if (bits == 16 || bits == 32) {
            const uint32_t bytes = bits / 8;
            for (uint32_t i = 0; i < rowSamples; ++i) {
                const uint32_t v = Load(s + i * bytes, bytes, bigEndian);
                if (bits == 16)
                    static_cast<uint16_t*>(dst)[base + i] = uint16_t(v);
                else
                    static_cast<uint32_t*>(dst)[base + i] = v;
            }
        } else {
            // Packed most significant bit first.
            uint64_t acc = 0;
            uint32_t have = 0;
            const uint8_t* p = s;
            for (uint32_t i = 0; i < rowSamples; ++i) {
                while (have < bits) {
                    acc = (acc << 8) | *p++;
                    have += 8;
                }
                have -= bits;
                const uint32_t v = uint32_t(acc >> have) & uint32_t((uint64_t(1) << bits) - 1);
                if (pixelType == ttShort)
                    static_cast<uint16_t*>(dst)[base + i] = uint16_t(v);
                else
                    static_cast<uint32_t*>(dst)[base + i] = v;
            }
        }
    }
}

// Integer differences accumulate along each row, `step` samples apart.
template <typename T> void UndoDifference(T* data, uint32_t rows, uint32_t rowSamples, uint32_t step) {
    for (uint32_t r = 0; r < rows; ++r) {
        T* row = data + uint64_t(r) * rowSamples;
        for (uint32_t i = step; i < rowSamples; ++i)
            row[i] = T(row[i] + row[i - step]);
    }
}

void PackBitsDecode(const uint8_t* src, uint64_t srcSize, uint8_t* dst, uint64_t dstSize) {
    uint64_t in = 0, out = 0;
    while (out < dstSize) {
        if (in >= srcSize) BadData("PackBits data ends early");
        const int32_t n = int8_t(src[in++]);
        if (n >= 0) {
            const uint64_t count = uint64_t(n) + 1;
            if (in + count > srcSize || out + count > dstSize) BadData("PackBits run overflows its tile");
            std::memcpy(dst + out, src + in, size_t(count));
            in += count;
            out += count;
        } else if (n != -128) {
            const uint64_t count = uint64_t(1 - n);
            if (in >= srcSize || out + count > dstSize) BadData("PackBits run overflows its tile");
            std::memset(dst + out, src[in++], size_t(count));
            out += count;
        }
    }
}

// The first frame marker of a JPEG stream: 0xC3 for lossless, 0xC0 to 0xC2 for lossy.
uint32_t FrameMarker(const uint8_t* data, uint64_t size) {
    uint64_t pos = 2;
    while (pos + 4 <= size) {
        if (data[pos] != 0xFF) return 0;
        const uint32_t marker = data[pos + 1];
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return marker;
        if (marker == 0xDA || marker == 0xD9) return 0;
        pos += 2 + ((uint32_t(data[pos + 2]) << 8) | data[pos + 3]);
    }
    return 0;
}

// Stores decoded samples of `area` into the image: back from sub-tile block order first when
// the directory declares blocks, then the bit shift.
void PutSamples(const dng_read_layout& layout, dng_image& image, const dng_rect& area, uint32_t plane,
                uint32_t planes, uint32_t pixelType, void* data) {
    if (area.IsEmpty()) return;
    std::vector<uint8_t> rowOrder;
    const uint32_t blockRows = std::max(layout.fSubTileBlockRows, 1u);
    const uint32_t blockCols = std::max(layout.fSubTileBlockCols, 1u);
    if (blockRows > 1 || blockCols > 1) {
        if (area.H() % blockRows || area.W() % blockCols) BadData("Sub-tile blocks do not divide the tile");
        const uint32_t pixelBytes = planes * BytesPerSample(pixelType);
        rowOrder = Scratch(uint64_t(area.H()) * area.W() * pixelBytes);
        FromSubTileBlocks(static_cast<const uint8_t*>(data), rowOrder.data(), area.H(), area.W(), pixelBytes,
                          blockRows, blockCols);
        data = rowOrder.data();
    }
    dng_pixel_buffer buffer(area, plane, planes, pixelType, dng_pixel_buffer::interleaved, data);
    if (layout.fSampleBitShift && pixelType == ttShort) buffer.ShiftRight16(layout.fSampleBitShift);
    image.Put(buffer);
}

// The float predictor undone on every row; the samples come out most significant byte first.
void UndoFloatPredictor(uint8_t* data, uint32_t rows, uint32_t rowSamples, uint32_t bytes, uint32_t step) {
    const uint64_t rowBytes = uint64_t(rowSamples) * bytes;
    std::vector<uint8_t> temp = Scratch(rowBytes);
    for (uint32_t r = 0; r < rows; ++r)
        DecodeFloatPredictorRow(data + r * rowBytes, rowSamples, bytes, step, temp.data());
}

} // namespace

// ---- Layout.

uint32_t dng_read_layout::TilesAcross() const {
    if (fTileWidth == 0) return 0;
    return uint32_t((uint64_t(fImageWidth) + fTileWidth - 1) / fTileWidth);
}

uint32_t dng_read_layout::TilesDown() const {
    if (fTileLength == 0) return 0;
    return uint32_t((uint64_t(fImageLength) + fTileLength - 1) / fTileLength);
}

uint64_t dng_read_layout::TileCount() const {
    return uint64_t(TilesAcross()) * TilesDown() * (fPlanarConfiguration == 2 ? fSamplesPerPixel : 1);
}

dng_rect dng_read_layout::TileArea(uint32_t rowIndex, uint32_t colIndex) const {
    const int64_t top = int64_t(rowIndex) * fTileLength;
    const int64_t left = int64_t(colIndex) * fTileWidth;
    int64_t bottom = top + fTileLength;
    // A strip ends at the image's last row; a tile keeps its full size.
    if (!fUsesTiles) bottom = std::min<int64_t>(bottom, fImageLength);
    const int64_t right = left + fTileWidth;
    if (bottom > INT32_MAX || right > INT32_MAX) ThrowOverflow();
    return dng_rect(int32_t(top), int32_t(left), int32_t(bottom), int32_t(right));
}

uint64_t dng_read_layout::TileByteCount(const dng_rect& area) const {
    if (fCompression != ccUncompressed) return 0;
    const uint64_t rowSamples = uint64_t(area.W()) * PlanesPerTile();
    return RowBytes(rowSamples, fBitsPerSample[0]) * area.H();
}

uint32_t dng_read_layout::PixelType() const {
    if (fSampleFormat[0] == 3) return ttFloat;
    const uint32_t bits = fBitsPerSample[0];
    return bits <= 8 ? ttByte : bits <= 16 ? ttShort : ttLong;
}

bool dng_read_layout::IsLossyJPEG() const { return fCompression == ccLossyJPEG; }

// ---- Reader.

void dng_read_image::CheckPlausibleSize(const dng_read_layout& layout, uint64_t streamLength) const {
    const uint64_t bytesPerSample = (uint64_t(layout.fBitsPerSample[0]) + 7) / 8;
    const uint64_t imageBytes = uint64_t(layout.fImageWidth) * layout.fImageLength *
                                std::max(layout.fSamplesPerPixel, 1u) * bytesPerSample;
    uint64_t stored = 0;
    if (layout.TileByteCount(layout.TileArea(0, 0)) != 0) {
        // Uncompressed: the data itself must be in the file.
        if (imageBytes > streamLength * 2 + kExpansionSlack) BadData("Image larger than its file");
        return;
    }
    for (uint64_t count : layout.fTileByteCount)
        stored += std::min(count, streamLength);
    if (imageBytes > stored * kMaxExpansion + kExpansionSlack) BadData("Image larger than its data can hold");
}

bool dng_read_image::UsesCompressedBuffer(const dng_read_layout& layout) const {
    const uint32_t c = layout.fCompression;
    return c == ccLZW || c == ccDeflate || c == ccPackBits || c == ccOldDeflate;
}

bool dng_read_image::CanReadTileFormat(const dng_read_layout& layout) const {
    const uint32_t bits = layout.fBitsPerSample[0];
    const uint32_t format = layout.fSampleFormat[0];
    const uint32_t p = layout.fPredictor;
    const bool isFloat = format == 3;
    if (format != 1 && format != 3) return false;
    const bool floatBits = bits == 16 || bits == 24 || bits == 32;
    switch (layout.fCompression) {
    case ccUncompressed:
        return isFloat ? floatBits : bits >= 8 && bits <= 32;
    case ccLZW:
    case ccDeflate:
    case ccOldDeflate:
    case ccPackBits:
        if (isFloat) {
            if (layout.fCompression == ccPackBits) return false;
            return floatBits && (p == cpNullPredictor || p == cpFloatingPoint || p == cpFloatingPointX2 ||
                                 p == cpFloatingPointX4);
        }
        return (bits == 8 || bits == 16 || bits == 32) &&
               (p == cpNullPredictor || p == cpHorizontalDifference || p == cpHorizontalDifferenceX2 ||
                p == cpHorizontalDifferenceX4);
    case ccJPEG:
        return !isFloat && bits >= 8 && bits <= 16;
    case ccLossyJPEG:
        return !isFloat && bits == 8;
    default:
        return false;
    }
}

bool dng_read_image::CanRead(const dng_read_layout& layout) const {
    if (layout.fImageWidth == 0 || layout.fImageLength == 0) return false;
    const uint32_t samples = layout.fSamplesPerPixel;
    if (samples == 0 || layout.fBitsPerSample[0] == 0) return false;
    for (uint32_t j = 1; j < std::min<uint32_t>(samples, 4); ++j)
        if (layout.fBitsPerSample[j] != layout.fBitsPerSample[0] ||
            layout.fSampleFormat[j] != layout.fSampleFormat[0])
            return false;
    const uint32_t pc = layout.fPlanarConfiguration;
    if (pc != 1 && pc != 2 && pc != dng_read_layout::kRowInterleaved) return false;
    if (layout.fUsesStrips == layout.fUsesTiles) return false;
    const uint64_t tiles = layout.TileCount();
    if (tiles == 0 || layout.fTileOffset.size() != tiles) return false;
    const bool computable = layout.TileByteCount(layout.TileArea(0, 0)) != 0;
    if (!computable && layout.fTileByteCount.size() != tiles) return false;
    return CanReadTileFormat(layout);
}

void dng_read_image::Read(dng_host& host, const dng_read_layout& layout, dng_stream& stream, dng_image& image,
                          dng_fingerprint* digest) {
    if (layout.fImageWidth > kMaxReadDimension || layout.fImageLength > kMaxReadDimension)
        BadData("dng_read_image::Read image too large");
    if (!CanRead(layout)) BadData("Image data of this form cannot be read");
    // A block lies within one tile.
    if (layout.fSubTileBlockRows > layout.fTileLength || layout.fSubTileBlockCols > layout.fTileWidth)
        BadData("Sub-tile blocks larger than their tiles");

    if (layout.fRowInterleaveFactor > 1 && layout.fRowInterleaveFactor < layout.fImageLength) {
        dng_row_interleaved_image wrapped(image, int32_t(layout.fRowInterleaveFactor));
        dng_read_layout plain = layout;
        plain.fRowInterleaveFactor = 1;
        Read(host, plain, stream, wrapped, digest);
        return;
    }

    fBigEndianData = stream.BigEndian();
    const uint64_t length = stream.Length();
    const uint64_t tiles = layout.TileCount();
    const bool computed = layout.TileByteCount(layout.TileArea(0, 0)) != 0;
    if (computed && UsesCompressedBuffer(layout)) BadData();

    const uint32_t across = layout.TilesAcross();
    const uint32_t down = layout.TilesDown();
    const uint32_t planeCount = layout.fPlanarConfiguration == 2 ? layout.fSamplesPerPixel : 1;

    // Every tile lies inside the stream before any is read.
    std::vector<uint64_t> counts(static_cast<size_t>(tiles));
    for (uint64_t i = 0; i < tiles; ++i) {
        const uint64_t offset = layout.fTileOffset[size_t(i)];
        if (offset >= length) BadData("Tile offset beyond the end of the file");
        uint64_t count;
        if (computed) {
            const uint64_t within = i % (uint64_t(across) * down);
            count =
                layout.TileByteCount(layout.TileArea(uint32_t(within / across), uint32_t(within % across)));
        } else {
            count = layout.fTileByteCount[size_t(i)];
            if (count == 0) BadData("Tile of zero bytes");
        }
        if (count > length || offset > length - count) BadData("Tile beyond the end of the file");
        counts[size_t(i)] = count;
    }

    dng_md5_printer total;
    const uint32_t bits = layout.fBitsPerSample[0];
    const uint32_t planes = layout.PlanesPerTile();
    const uint32_t threads = uint32_t(std::min<uint64_t>(host.AreaTaskThreadCount(), tiles));
    if (!computed && threads > 1) {
        // Compressed tiles decode apart: workers take turns at the stream and decode in parallel.
        std::vector<dng_fingerprint> tileDigests(digest ? size_t(tiles) : 0);
        std::mutex streamLock;
        std::atomic<uint64_t> next{0};
        std::atomic<bool> failed{false};
        std::exception_ptr error;
        const uint64_t perPlane = uint64_t(across) * down;
        platform::ConcurrentQueue::shared().apply(threads, [&](size_t) {
            try {
                for (uint64_t i = next++; i < tiles && !failed; i = next++) {
                    const uint64_t within = i % perPlane;
                    const dng_rect area =
                        layout.TileArea(uint32_t(within / across), uint32_t(within % across));
                    const uint32_t firstPlane = planeCount > 1 ? uint32_t(i / perPlane) : 0;
                    const uint64_t count = counts[size_t(i)];
                    const uint64_t decoded = uint64_t(area.W()) * area.H() * planes * ((bits + 7) / 8);
                    if (decoded > count * kMaxExpansion + kExpansionSlack)
                        BadData("Tile claims more data than its bytes can hold");
                    std::vector<uint8_t> bytes = Scratch(count);
                    {
                        std::lock_guard<std::mutex> lock(streamLock);
                        stream.SetReadPosition(layout.fTileOffset[size_t(i)]);
                        stream.Get(bytes.data(), uint32_t(bytes.size()));
                    }
                    if (digest) {
                        dng_md5_printer tileDigest;
                        tileDigest.Process(bytes.data(), uint32_t(bytes.size()));
                        tileDigests[size_t(i)] = tileDigest.Result();
                    }
                    ReadCompressedTile(host, layout, bytes.data(), bytes.size(), image, area, firstPlane,
                                       planes);
                }
            } catch (...) {
                std::lock_guard<std::mutex> lock(streamLock);
                if (!error) error = std::current_exception();
                failed = true;
            }
        });
        if (error) std::rethrow_exception(error);
        for (const dng_fingerprint& d : tileDigests)
            total.Process(d.data, 16);
    } else {
        uint64_t index = 0;
        for (uint32_t plane = 0; plane < planeCount; ++plane) {
            for (uint32_t row = 0; row < down; ++row) {
                for (uint32_t col = 0; col < across; ++col, ++index) {
                    host.SniffForAbort();
                    const dng_rect area = layout.TileArea(row, col);
                    const uint64_t offset = layout.fTileOffset[size_t(index)];
                    const uint64_t count = counts[size_t(index)];
                    const uint32_t firstPlane = planeCount > 1 ? plane : 0;
                    dng_md5_printer tileDigest;
                    if (computed) {
                        stream.SetReadPosition(offset);
                        const uint64_t rowBytes = RowBytes(uint64_t(area.W()) * planes, bits);
                        uint32_t rowsPerChunk = uint32_t(
                            std::clamp<uint64_t>(kChunkBytes / std::max<uint64_t>(rowBytes, 1), 1, area.H()));
                        const uint32_t block = std::max<uint32_t>(layout.fSubTileBlockRows, 1);
                        rowsPerChunk = std::max(block, rowsPerChunk / block * block);
                        for (int32_t top = area.t; top < area.b; top += int32_t(rowsPerChunk)) {
                            const dng_rect chunk(
                                top, area.l, std::min<int32_t>(top + int32_t(rowsPerChunk), area.b), area.r);
                            if (digest) {
                                std::vector<uint8_t> bytes = Scratch(rowBytes * chunk.H());
                                stream.Get(bytes.data(), uint32_t(bytes.size()));
                                tileDigest.Process(bytes.data(), uint32_t(bytes.size()));
                                ReadCompressedTile(host, layout, bytes.data(), bytes.size(), image, chunk,
                                                   firstPlane, planes);
                            } else {
                                ReadUncompressedArea(layout, stream, image, chunk, firstPlane, planes);
                            }
                        }
                    } else {
                        const uint64_t decoded = uint64_t(area.W()) * area.H() * planes * ((bits + 7) / 8);
                        if (decoded > count * kMaxExpansion + kExpansionSlack)
                            BadData("Tile claims more data than its bytes can hold");
                        std::vector<uint8_t> bytes = Scratch(count);
                        stream.SetReadPosition(offset);
                        stream.Get(bytes.data(), uint32_t(bytes.size()));
                        if (digest) tileDigest.Process(bytes.data(), uint32_t(bytes.size()));
                        ReadCompressedTile(host, layout, bytes.data(), bytes.size(), image, area, firstPlane,
                                           planes);
                    }
                    if (digest) total.Process(tileDigest.Result().data, 16);
                }
            }
        }
    }
    if (digest) {
        if (!layout.fJPEGTables.empty()) {
            dng_md5_printer tables;
            tables.Process(layout.fJPEGTables.data(), uint32_t(layout.fJPEGTables.size()));
            total.Process(tables.Result().data, 16);
        }
        *digest = total.Result();
    }
}

void dng_read_image::ReadUncompressedArea(const dng_read_layout& layout, dng_stream& stream, dng_image& image,
                                          const dng_rect& area, uint32_t plane, uint32_t planes) {
    const uint32_t rowSamples = area.W() * planes;
    const uint32_t bits = layout.fBitsPerSample[0];
    const uint64_t bytes = RowBytes(rowSamples, bits) * area.H();
    const uint32_t pixelType = layout.PixelType();
    const bool isFloat = layout.fSampleFormat[0] == 3;
    // Whole samples in the machine's order are already what the image holds.
    const bool asStored =
        !stream.SwapBytes() && (isFloat ? bits == 32 : bits == 8 || bits == 16 || bits == 32);
    // One buffer serves every chunk of the read.
    if (fChunk.size() < bytes) fChunk = Scratch(bytes);
    stream.Get(fChunk.data(), uint32_t(bytes));
    if (asStored) {
        PutSamples(layout, image, area, plane, planes, pixelType, fChunk.data());
        return;
    }
    std::vector<uint8_t> samples = Scratch(uint64_t(rowSamples) * area.H() * BytesPerSample(pixelType));
    Unpack(fChunk.data(), bytes, area.H(), rowSamples, bits, isFloat, stream.BigEndian(), pixelType,
           samples.data());
    PutSamples(layout, image, area, plane, planes, pixelType, samples.data());
}

void dng_read_image::ReadCompressedTile(dng_host&, const dng_read_layout& layout, const uint8_t* data,
                                        uint64_t size, dng_image& image, const dng_rect& area, uint32_t plane,
                                        uint32_t planes) {
    const uint32_t bits = layout.fBitsPerSample[0];
    const bool isFloat = layout.fSampleFormat[0] == 3;
    const uint32_t pixelType = layout.PixelType();
    const uint32_t rowSamples = area.W() * planes;
    const uint64_t sampleCount = uint64_t(rowSamples) * area.H();
    const uint64_t rowBytes = RowBytes(rowSamples, bits);
    std::vector<uint8_t> samples = Scratch(sampleCount * BytesPerSample(pixelType));

    switch (layout.fCompression) {
    case ccUncompressed:
        // Bytes already read for the digest; the file's byte order is the big-endian flag's.
        Unpack(data, size, area.H(), rowSamples, bits, isFloat, fBigEndianData, pixelType, samples.data());
        break;
    case ccJPEG:
    case ccLossyJPEG: {
        if (layout.IsLossyJPEG() || (size >= 4 && FrameMarker(data, size) != 0xC3)) {
            DecodeLossyJPEG(layout, data, size, image, area, plane, planes);
            return;
        }
        const dng_lossless_jpeg_frame frame = DecodeLosslessJPEG(data, size, sampleCount * 2 + 4096);
        // The frame's samples run on across the tile's rows whatever the frame's own shape.
        const uint32_t rows =
            uint32_t(std::min<uint64_t>(area.H(), frame.samples.size() / std::max(rowSamples, 1u)));
        if (rows == 0) BadData("Lossless JPEG frame smaller than its tile");
        // Samples of 8 bits or fewer still decode as 16-bit values: the image buffer is narrower.
        std::vector<uint16_t> wide(frame.samples.begin(),
                                   frame.samples.begin() + long(uint64_t(rows) * rowSamples));
        uint16_t* out = wide.data();
        if (bits <= 8) {
            std::vector<uint8_t> narrow = Scratch(uint64_t(rows) * rowSamples);
            for (size_t i = 0; i < narrow.size(); ++i)
                narrow[i] = uint8_t(out[i]);
            PutSamples(layout, image, dng_rect(area.t, area.l, area.t + int32_t(rows), area.r), plane, planes,
                       ttByte, narrow.data());
            return;
        }
        PutSamples(layout, image, dng_rect(area.t, area.l, area.t + int32_t(rows), area.r), plane, planes,
                   ttShort, out);
        return;
    }
    case ccLZW:
    case ccDeflate:
    case ccOldDeflate:
    case ccPackBits: {
        std::vector<uint8_t> raw = Scratch(rowBytes * area.H());
        if (layout.fCompression == ccPackBits) {
            PackBitsDecode(data, size, raw.data(), raw.size());
        } else if (layout.fCompression == ccLZW) {
            if (DecodeLZW(data, size, raw.data(), raw.size()) != raw.size())
                BadData("LZW data does not fill its tile");
        } else {
            uLongf destLen = uLongf(raw.size());
            const int rc = uncompress(raw.data(), &destLen, data, uLong(size));
            if (!(rc == Z_OK || rc == Z_BUF_ERROR) || destLen != raw.size())
                BadData("Deflate data does not fill its tile");
        }
        const uint32_t p = layout.fPredictor;
        const uint32_t step = (p == cpHorizontalDifferenceX2 || p == cpFloatingPointX2)   ? 2
                              : (p == cpHorizontalDifferenceX4 || p == cpFloatingPointX4) ? 4
                                                                                          : 1;
        if (isFloat && p != cpNullPredictor) {
            UndoFloatPredictor(raw.data(), area.H(), rowSamples, bits / 8, step * planes);
            Unpack(raw.data(), raw.size(), area.H(), rowSamples, bits, true, true, pixelType, samples.data());
        } else {
            Unpack(raw.data(), raw.size(), area.H(), rowSamples, bits, isFloat, fBigEndianData, pixelType,
                   samples.data());
            if (p != cpNullPredictor) {
                if (pixelType == ttByte)
                    UndoDifference(samples.data(), area.H(), rowSamples, step * planes);
                else if (pixelType == ttShort)
                    UndoDifference(reinterpret_cast<uint16_t*>(samples.data()), area.H(), rowSamples,
                                   step * planes);
                else
                    UndoDifference(reinterpret_cast<uint32_t*>(samples.data()), area.H(), rowSamples,
                                   step * planes);
            }
        }
        break;
    }
    default:
        BadData("Unsupported compression");
    }
    PutSamples(layout, image, area, plane, planes, pixelType, samples.data());
}

void dng_read_image::DecodeLossyJPEG(const dng_read_layout& layout, const uint8_t* data, uint64_t size,
                                     dng_image& image, const dng_rect& area, uint32_t plane,
                                     uint32_t planes) {
    if (planes != 1 && planes != 3) BadData("Lossy JPEG of this sample count");
    std::vector<uint8_t> merged;
    const uint8_t* stream = data;
    uint64_t streamSize = size;
    // Shared tables come first: their stream without its end marker, then the tile's without its start.
    const std::vector<uint8_t>& tables = layout.fJPEGTables;
    if (tables.size() > 4 && size > 2) {
        merged.assign(tables.begin(), tables.end() - 2);
        merged.insert(merged.end(), data + 2, data + size);
        stream = merged.data();
        streamSize = merged.size();
    }
    if (streamSize > std::numeric_limits<unsigned long>::max()) BadData();
    tjhandle handle = tjInitDecompress();
    if (!handle) ThrowMemoryFull();
    struct Closer {
        tjhandle h;
        ~Closer() { tjDestroy(h); }
    } closer{handle};
    int width = 0, height = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(handle, stream, static_cast<unsigned long>(streamSize), &width, &height, &subsamp,
                            &colorspace) != 0)
        BadData("Bad lossy JPEG tile");
    if (width <= 0 || height <= 0 || uint64_t(width) > area.W() * 2ull + 16 ||
        uint64_t(height) > area.H() * 2ull + 16)
        BadData("Lossy JPEG tile larger than its tile");
    const int format = planes == 1 ? TJPF_GRAY : TJPF_RGB;
    std::vector<uint8_t> pixels = Scratch(uint64_t(width) * height * planes);
    if (tjDecompress2(handle, stream, static_cast<unsigned long>(streamSize), pixels.data(), width, 0, height,
                      format, 0) != 0)
        BadData("Bad lossy JPEG tile");
    const dng_rect decoded(area.t, area.l, area.t + std::min<int32_t>(height, int32_t(area.H())),
                           area.l + std::min<int32_t>(width, int32_t(area.W())));
    dng_pixel_buffer buffer(dng_rect(area.t, area.l, area.t + height, area.l + width), plane, planes, ttByte,
                            dng_pixel_buffer::interleaved, pixels.data());
    buffer.area = decoded;
    image.Put(buffer);
}

// ---- Row-interleaved view.

dng_row_interleaved_image::dng_row_interleaved_image(dng_image& image, int32_t factor)
    : dng_image(image.Bounds(), image.Planes(), image.PixelType()), fImage(image), fWritable(&image),
      fFactor(factor) {}

dng_row_interleaved_image::dng_row_interleaved_image(const dng_image& image, int32_t factor)
    : dng_image(image.Bounds(), image.Planes(), image.PixelType()), fImage(image), fWritable(nullptr),
      fFactor(factor) {}

int32_t dng_row_interleaved_image::MapRow(int32_t row) const {
    const int32_t top = fBounds.t;
    const int32_t height = int32_t(fBounds.H());
    int32_t s = row - top;
    for (int32_t g = 0; g < fFactor; ++g) {
        const int32_t rows = (height - g + fFactor - 1) / fFactor;
        if (s < rows) return top + g + s * fFactor;
        s -= rows;
    }
    return top + height - 1;
}

void dng_row_interleaved_image::DoGet(dng_pixel_buffer& buffer) const {
    for (int32_t row = buffer.area.t; row < buffer.area.b; ++row) {
        dng_pixel_buffer one(buffer);
        one.area.t = MapRow(row);
        one.area.b = one.area.t + 1;
        one.data = buffer.DirtyPixel(row, buffer.area.l, buffer.plane);
        fImage.Get(one);
    }
}

void dng_row_interleaved_image::DoPut(const dng_pixel_buffer& buffer) {
    if (!fWritable) ThrowProgramError("A read-only row-interleaved view");
    for (int32_t row = buffer.area.t; row < buffer.area.b; ++row) {
        dng_pixel_buffer one(buffer);
        one.area.t = MapRow(row);
        one.area.b = one.area.t + 1;
        one.data = const_cast<void*>(buffer.ConstPixel(row, buffer.area.l, buffer.plane));
        fWritable->Put(one);
    }
}
