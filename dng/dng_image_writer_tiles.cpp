// The image data of a directory: tiles and strips read from the image, predicted, compressed
// and written strictly in tile-index order, by one thread or by several.
#include "dng/dng_image_writer.h"

#include "dng/dng_abort_sniffer.h"
#include "dng/dng_area_task.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_ifd.h"
#include "dng/dng_image.h"
#include "dng/dng_lossless_jpeg.h"
#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_mutex.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_safe_arithmetic.h"
#include "dng/dng_stream.h"
#include "dng/dng_tag_sets.h"
#include "dng/dng_tag_types.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>
#include <zlib.h>

namespace {

constexpr uint32_t kUncompressedPieceBytes = 131072;

struct TileBuffers {
    std::unique_ptr<dng_memory_block> block[4];
    dng_memory_block* raw[4] = {};

    TileBuffers(dng_host& host, uint32_t uncompressedSize, uint32_t compressedSize, uint32_t widenedSize) {
        const uint32_t sizes[4] = {uncompressedSize, uncompressedSize, std::max(compressedSize, 1u),
                                   std::max(widenedSize, 1u)};
        for (int i = 0; i < 4; ++i) {
            block[i].reset(host.Allocate(std::max(sizes[i], 1u)));
            if (!block[i]) ThrowMemoryFull();
            raw[i] = block[i].get();
        }
    }
};

uint32_t RowBytes(const dng_ifd& ifd, const dng_image& image) {
    return SafeUint32Mult3(ifd.fTileWidth, image.Planes(), image.PixelSize());
}

uint32_t RowsPerPiece(const dng_ifd& ifd, const dng_image& image) {
    uint32_t rows = ifd.fTileLength;
    if (ifd.fCompression == 1) {
        const uint32_t rowBytes = std::max(RowBytes(ifd, image), 1u);
        rows = std::min(std::max(kUncompressedPieceBytes / rowBytes, 1u), ifd.fTileLength);
        const uint32_t block = std::max(ifd.fSubTileBlockRows, 1u);
        rows = std::max(rows, block);
        rows -= rows % block;
    }
    return rows;
}

uint32_t WidenedSize(const dng_ifd& ifd, uint32_t uncompressedSize) {
    return ifd.fCompression == 7 ? SafeUint32Mult(uncompressedSize, 2) : 0;
}

template <typename T> void DifferenceRows(dng_pixel_buffer& buffer, uint32_t step) {
    const uint32_t n = buffer.area.W() * buffer.planes;
    for (int32_t row = buffer.area.t; row < buffer.area.b; ++row) {
        T* p = buffer.DirtyPixelAs<T>(row, buffer.area.l, buffer.plane);
        for (uint32_t i = n; i-- > step;)
            p[i] = T(p[i] - p[i - step]);
    }
}

// The task that encodes tiles on several threads and writes them in index order.
class dng_write_tiles_task : public dng_area_task {
  public:
    dng_write_tiles_task(dng_image_writer& writer, dng_host& host, const dng_ifd& ifd,
                         dng_basic_tag_set& /* the tile offsets are recorded through `record` */,
                         dng_stream& stream, const dng_image& image, uint32_t fakeChannels,
                         uint32_t tilesDown, uint32_t tilesAcross, uint32_t uncompressedSize,
                         uint32_t compressedSize, std::function<void(uint32_t, uint64_t, uint64_t)> record)
        : dng_area_task("dng_write_tiles_task"), fWriter(writer), fHost(host), fIFD(ifd), fStream(stream),
          fImage(image), fFakeChannels(fakeChannels), fTilesDown(tilesDown), fTilesAcross(tilesAcross),
          fUncompressedSize(uncompressedSize), fCompressedSize(compressedSize), fRecord(std::move(record)),
          fMutex("dng_write_tiles_task", 0x70000000) {
        fMinTaskArea = 256;
        fFinished.resize(size_t(tilesDown) * tilesAcross);
        fUnitCell = dng_point(16, 16);
        fMaxTileSize = dng_point(16, 16);
    }

    void ProcessArea(uint32_t, const dng_rect&, dng_abort_sniffer* sniffer) override {
        try {
            Work(sniffer);
        } catch (...) {
            dng_scoped_mutex_lock lock(fMutex);
            fAbort = true;
            throw;
        }
    }

  private:
    void Work(dng_abort_sniffer* sniffer) {
        dng_host privateHost(&fHost.Allocator(), sniffer);
        TileBuffers buffers(privateHost, fUncompressedSize, fCompressedSize,
                            WidenedSize(fIFD, fUncompressedSize));
        const uint32_t total = fTilesDown * fTilesAcross;
        for (;;) {
            const uint32_t index = fNextTile.fetch_add(1);
            if (index >= total) return;
            const dng_rect area = fIFD.TileArea(index / fTilesAcross, index % fTilesAcross);
            auto tileStream = std::make_unique<dng_memory_stream>(privateHost.Allocator(), sniffer, 65536);
            tileStream->SetBigEndian(fStream.BigEndian());
            fWriter.EncodeTile(privateHost, fIFD, *tileStream, fImage, area, fFakeChannels, *buffers.raw[0],
                               *buffers.raw[1], *buffers.raw[2], *buffers.raw[3]);
            // A finished tile waits for those before it; whoever finishes the next one in
            // index order writes every tile that is ready, so no thread idles in a queue.
            dng_scoped_mutex_lock lock(fMutex);
            if (fAbort) return;
            fFinished[index] = std::move(tileStream);
            while (fNextToWrite < total && fFinished[fNextToWrite]) {
                WriteFinished(*fFinished[fNextToWrite], fNextToWrite);
                fFinished[fNextToWrite].reset();
                ++fNextToWrite;
            }
        }
    }

    void WriteFinished(dng_memory_stream& tileStream, uint32_t index) {
        const uint64_t length = tileStream.Length();
        const uint64_t start = fStream.Position();
        tileStream.SetReadPosition(0);
        tileStream.CopyToStream(fStream, length);
        fRecord(index, start, fStream.Position());
        if (length & 1) fStream.Put_uint8(0);
    }

    dng_image_writer& fWriter;
    dng_host& fHost;
    const dng_ifd& fIFD;
    dng_stream& fStream;
    const dng_image& fImage;
    uint32_t fFakeChannels;
    uint32_t fTilesDown;
    uint32_t fTilesAcross;
    uint32_t fUncompressedSize;
    uint32_t fCompressedSize;
    std::function<void(uint32_t, uint64_t, uint64_t)> fRecord;
    std::atomic<uint32_t> fNextTile{0};
    dng_mutex fMutex;
    bool fAbort = false;
    uint32_t fNextToWrite = 0;
    std::vector<std::unique_ptr<dng_memory_stream>> fFinished;
};

} // namespace

void dng_image_writer::RecordTilePlacement(dng_basic_tag_set& basic, uint32_t tileIndex, uint64_t start,
                                           uint64_t end) const {
    // Offsets and counts are 32-bit in the file: nothing may lie at or beyond 4 GiB.
    if (end >= (uint64_t(1) << 32) || end < start) Throw_dng_error(fTooBigCode);
    basic.SetTileOffset(tileIndex, uint32_t(start));
    basic.SetTileByteCount(tileIndex, uint32_t(end - start));
}

uint32_t dng_image_writer::ExtraBufferSize(const dng_ifd& ifd, uint32_t n) const {
    switch (ifd.fCompression) {
    case 8:
        return SafeUint32Add(SafeUint32Add(n, n / 256), 64);
    case 7:
        return ifd.fBitsPerSample[0] <= 8 ? SafeUint32Mult(n, 2) : 0;
    case 5:
        return SafeUint32Add(SafeUint32Mult(n, 2), 1024);
    default:
        return 0;
    }
}

void dng_image_writer::ApplyPredictor(dng_host&, const dng_ifd& ifd, dng_pixel_buffer& buffer,
                                      dng_memory_block&) {
    if (ifd.fPredictor == 1) return;
    if (buffer.rowStep < 0) ThrowProgramError("Row step may not be negative");
    uint32_t columns;
    switch (ifd.fPredictor) {
    case 2:
        columns = 1;
        break;
    case 34892:
        columns = 2;
        break;
    case 34893:
        columns = 4;
        break;
    default:
        ThrowProgramError();
    }
    const uint32_t step = columns * buffer.planes;
    switch (buffer.pixelSize) {
    case 1:
        DifferenceRows<uint8_t>(buffer, step);
        break;
    case 2:
        DifferenceRows<uint16_t>(buffer, step);
        break;
    case 4:
        DifferenceRows<uint32_t>(buffer, step);
        break;
    default:
        ThrowProgramError();
    }
}

void dng_image_writer::SwapToStreamOrder(dng_stream& stream, dng_pixel_buffer& buffer) {
    if (!stream.SwapBytes() || buffer.pixelSize == 1) return;
    const uint32_t n = buffer.area.W() * buffer.planes;
    for (int32_t row = buffer.area.t; row < buffer.area.b; ++row) {
        if (buffer.pixelSize == 2) {
            uint16_t* p = buffer.DirtyPixelAs<uint16_t>(row, buffer.area.l, buffer.plane);
            for (uint32_t i = 0; i < n; ++i)
                p[i] = uint16_t((p[i] >> 8) | (p[i] << 8));
        } else if (buffer.pixelSize == 4) {
            uint32_t* p = buffer.DirtyPixelAs<uint32_t>(row, buffer.area.l, buffer.plane);
            for (uint32_t i = 0; i < n; ++i)
                p[i] = __builtin_bswap32(p[i]);
        }
    }
}

void dng_image_writer::CompressAndWrite(dng_host&, const dng_ifd& ifd, dng_stream& stream,
                                        dng_pixel_buffer& buffer, dng_memory_block& compressed) {
    const uint32_t rows = buffer.area.H();
    const uint32_t cols = buffer.area.W();
    const uint32_t rowSamples = cols * buffer.planes;
    switch (ifd.fCompression) {
    case 1: {
        if (ifd.fBitsPerSample[0] == 8 && buffer.pixelSize == 2) {
            for (int32_t row = buffer.area.t; row < buffer.area.b; ++row) {
                const uint16_t* p = buffer.ConstPixelAs<uint16_t>(row, buffer.area.l, buffer.plane);
                for (uint32_t i = 0; i < rowSamples; ++i)
                    stream.Put_uint8(uint8_t(p[i]));
            }
            return;
        }
        SwapToStreamOrder(stream, buffer);
        const uint32_t rowBytes = rowSamples * buffer.pixelSize;
        for (int32_t row = buffer.area.t; row < buffer.area.b; ++row)
            stream.Put(buffer.ConstPixel(row, buffer.area.l, buffer.plane), rowBytes);
        return;
    }
    case 8: {
        SwapToStreamOrder(stream, buffer);
        const uLong sourceBytes = uLong(rows) * rowSamples * buffer.pixelSize;
        uLongf destBytes = compressed.LogicalSize();
        const int status = compress2(
            compressed.Buffer_uint8(), &destBytes,
            static_cast<const Bytef*>(buffer.ConstPixel(buffer.area.t, buffer.area.l, buffer.plane)),
            sourceBytes, Z_DEFAULT_COMPRESSION);
        if (status == Z_BUF_ERROR) Throw_dng_error(dng_error_overflow, "Compression output buffer overflow");
        if (status != Z_OK) ThrowMemoryFull();
        stream.Put(compressed.Buffer(), uint32_t(destBytes));
        return;
    }
    case 7:
        if (buffer.pixelSize != 2) ThrowProgramError("Lossless JPEG needs 16-bit samples");
        EncodeLosslessJpeg(buffer.ConstPixelAs<uint16_t>(buffer.area.t, buffer.area.l, buffer.plane), rows,
                           cols, buffer.planes, ifd.fBitsPerSample[0], buffer.rowStep, buffer.colStep,
                           stream);
        return;
    default:
        ThrowProgramError();
    }
}

void dng_image_writer::EncodeTile(dng_host& host, const dng_ifd& ifd, dng_stream& stream,
                                  const dng_image& image, const dng_rect& tileArea, uint32_t fakeChannels,
                                  dng_memory_block& uncompressed, dng_memory_block& subTile,
                                  dng_memory_block& compressed, dng_memory_block& widened) {
    if (ifd.fSubTileBlockRows > 1 || ifd.fSubTileBlockCols > 1) ThrowNotYetImplemented("Sub-tile blocks");
    if (image.PixelType() == ttFloat && ifd.fBitsPerSample[0] != 32)
        ThrowNotYetImplemented("Half and 24-bit floats");

    dng_pixel_buffer buffer(tileArea, 0, image.Planes(), image.PixelType(), dng_pixel_buffer::interleaved,
                            uncompressed.Buffer());
    image.Get(buffer, dng_image::edge_repeat, 1, 1);
    ApplyPredictor(host, ifd, buffer, subTile);

    if (ifd.fCompression == 7 && buffer.pixelSize == 1) {
        // Lossless JPEG codes 16-bit samples: widen 8-bit data first.
        const uint32_t count = tileArea.H() * tileArea.W() * image.Planes();
        const uint8_t* source = static_cast<const uint8_t*>(buffer.data);
        uint16_t* target = widened.Buffer_uint16();
        for (uint32_t i = 0; i < count; ++i)
            target[i] = source[i];
        buffer.data = target;
        buffer.pixelType = ttShort;
        buffer.pixelSize = 2;
    }
    if (fakeChannels > 1) {
        // A mosaic row is coded as pixels of several interleaved channels.
        if (tileArea.W() % fakeChannels) ThrowProgramError("Tile width not a multiple of the fake channels");
        buffer.area.r = buffer.area.l + int32_t(tileArea.W() / fakeChannels);
        buffer.planes *= fakeChannels;
        buffer.colStep *= int32_t(fakeChannels);
    }
    CompressAndWrite(host, ifd, stream, buffer, compressed);
}

void dng_image_writer::WriteOneTile(dng_host& host, const dng_ifd& ifd, dng_basic_tag_set& basic,
                                    dng_stream& stream, const dng_image& image, uint32_t tileIndex,
                                    const dng_rect& tileArea, uint32_t rowsPerPiece, uint32_t fakeChannels,
                                    dng_memory_block* buffers[4]) {
    const uint64_t start = stream.Position();
    for (int32_t top = tileArea.t; top < tileArea.b; top += int32_t(rowsPerPiece)) {
        dng_rect piece = tileArea;
        piece.t = top;
        piece.b = std::min(tileArea.b, top + int32_t(rowsPerPiece));
        host.SniffForAbort();
        EncodeTile(host, ifd, stream, image, piece, fakeChannels, *buffers[0], *buffers[1], *buffers[2],
                   *buffers[3]);
    }
    const uint64_t end = stream.Position();
    RecordTilePlacement(basic, tileIndex, start, end);
    if ((end - start) & 1) stream.Put_uint8(0);
}

void dng_image_writer::WriteImage(dng_host& host, const dng_ifd& ifd, dng_basic_tag_set& basic,
                                  dng_stream& stream, const dng_image& image, uint32_t fakeChannels) {
    if (ifd.fRowInterleaveFactor > 1 && ifd.fRowInterleaveFactor < image.Height())
        ThrowNotYetImplemented("Row-interleaved images");
    const uint32_t rowsPerPiece = RowsPerPiece(ifd, image);
    const uint32_t uncompressedSize = SafeUint32Mult(RowBytes(ifd, image), rowsPerPiece);
    const uint32_t compressedSize = SafeUint32Add(uncompressedSize, ExtraBufferSize(ifd, uncompressedSize));
    const uint32_t tilesDown = ifd.TilesDown();
    const uint32_t tilesAcross = ifd.TilesAcross();
    const uint32_t tiles = tilesDown * tilesAcross;

    if (tiles > 1 && host.AreaTaskThreadCount() > 1 && rowsPerPiece == ifd.fTileLength &&
        ifd.fCompression != 1) {
        WriteTilesThreaded(host, ifd, basic, stream, image, tilesDown, tilesAcross, uncompressedSize,
                           compressedSize, fakeChannels);
        return;
    }
    TileBuffers buffers(host, uncompressedSize, compressedSize, WidenedSize(ifd, uncompressedSize));
    for (uint32_t row = 0; row < tilesDown; ++row)
        for (uint32_t col = 0; col < tilesAcross; ++col)
            WriteOneTile(host, ifd, basic, stream, image, row * tilesAcross + col, ifd.TileArea(row, col),
                         rowsPerPiece, fakeChannels, buffers.raw);
}

void dng_image_writer::WriteTilesThreaded(dng_host& host, const dng_ifd& ifd, dng_basic_tag_set& basic,
                                          dng_stream& stream, const dng_image& image, uint32_t tilesDown,
                                          uint32_t tilesAcross, uint32_t uncompressedSize,
                                          uint32_t compressedSize, uint32_t fakeChannels) {
    const uint32_t threads = std::min(tilesDown * tilesAcross, host.AreaTaskThreadCount());
    dng_write_tiles_task task(
        *this, host, ifd, basic, stream, image, fakeChannels, tilesDown, tilesAcross, uncompressedSize,
        compressedSize,
        [&](uint32_t index, uint64_t start, uint64_t end) { RecordTilePlacement(basic, index, start, end); });
    host.PerformAreaTask(task, dng_rect(16, 16 * threads));
}
