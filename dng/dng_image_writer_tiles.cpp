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
#include "dng/dng_lzw.h"
#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_mutex.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_read_image.h"
#include "dng/dng_safe_arithmetic.h"
#include "dng/dng_stream.h"
#include "dng/dng_tag_sets.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_tile_coding.h"

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
                                      dng_memory_block& scratch) {
    if (ifd.fPredictor == 1) return;
    if (buffer.rowStep < 0) ThrowProgramError("Row step may not be negative");
    uint32_t columns;
    bool isFloat = false;
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
    case 3:
        columns = 1;
        isFloat = true;
        break;
    case 34894:
        columns = 2;
        isFloat = true;
        break;
    case 34895:
        columns = 4;
        isFloat = true;
        break;
    default:
        ThrowProgramError();
    }
    const uint32_t rows = buffer.area.H();
    const uint32_t rowSamples = buffer.area.W() * buffer.planes;
    const uint32_t step = columns * buffer.planes;
    if (isFloat) {
        // The samples' own width: 24-bit floats lie in a byte buffer, three bytes each.
        const uint32_t bytes = (ifd.fBitsPerSample[0] + 7) / 8;
        if (bytes == 0 || (rowSamples * buffer.pixelSize) % bytes) ThrowProgramError();
        const uint32_t samples = rowSamples * buffer.pixelSize / bytes;
        // The step counts the row's pixels' samples, not the bytes a 24-bit sample was split into.
        const uint32_t byteStep = columns * (samples / buffer.area.W());
        if (scratch.LogicalSize() < uint64_t(samples) * bytes) ThrowProgramError();
        for (uint32_t row = 0; row < rows; ++row)
            EncodeFloatPredictorRow(static_cast<uint8_t*>(buffer.DirtyPixel(buffer.area.t + int32_t(row),
                                                                            buffer.area.l, buffer.plane)),
                                    samples, bytes, byteStep, buffer.pixelSize == 1, scratch.Buffer_uint8());
        // What goes on is bytes, already in their final order.
        buffer.planes *= buffer.pixelSize;
        buffer.colStep *= int32_t(buffer.pixelSize);
        buffer.rowStep *= int32_t(buffer.pixelSize);
        buffer.pixelType = ttByte;
        buffer.pixelSize = 1;
        return;
    }
    void* data = buffer.DirtyPixel(buffer.area.t, buffer.area.l, buffer.plane);
    if (uint32_t(buffer.rowStep) != rowSamples) ThrowProgramError();
    switch (buffer.pixelSize) {
    case 1:
        DifferenceRows8(static_cast<uint8_t*>(data), rows, rowSamples, step);
        break;
    case 2:
        DifferenceRows16(static_cast<uint16_t*>(data), rows, rowSamples, step);
        break;
    case 4:
        DifferenceRows32(static_cast<uint32_t*>(data), rows, rowSamples, step);
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
    const uint32_t compression = ifd.fCompression;
    if (compression == 7) {
        if (buffer.pixelSize != 2) ThrowProgramError("Lossless JPEG needs 16-bit samples");
        EncodeLosslessJpeg(buffer.ConstPixelAs<uint16_t>(buffer.area.t, buffer.area.l, buffer.plane), rows,
                           cols, buffer.planes, ifd.fBitsPerSample[0], buffer.rowStep, buffer.colStep,
                           stream);
        return;
    }
    if (compression != 1 && compression != 5 && compression != 8) ThrowProgramError();

    // The bytes as they go into the file: 8-bit output of 16-bit samples keeps the low byte,
    // wider samples take the stream's byte order.
    if (ifd.fBitsPerSample[0] == 8 && buffer.pixelSize == 2) {
        for (uint32_t row = 0; row < rows; ++row) {
            const int32_t r = buffer.area.t + int32_t(row);
            const uint16_t* from = buffer.ConstPixelAs<uint16_t>(r, buffer.area.l, buffer.plane);
            uint8_t* to =
                static_cast<uint8_t*>(buffer.DirtyPixel(buffer.area.t, buffer.area.l, buffer.plane)) +
                uint64_t(row) * rowSamples;
            for (uint32_t i = 0; i < rowSamples; ++i)
                to[i] = uint8_t(from[i]);
        }
        buffer.pixelType = ttByte;
        buffer.pixelSize = 1;
        buffer.rowStep = int32_t(rowSamples);
    } else {
        SwapToStreamOrder(stream, buffer);
    }
    const uint8_t* bytes =
        static_cast<const uint8_t*>(buffer.ConstPixel(buffer.area.t, buffer.area.l, buffer.plane));
    const uint32_t rowBytes = rowSamples * buffer.pixelSize;
    if (uint32_t(buffer.rowStep) * buffer.pixelSize != rowBytes) ThrowProgramError();
    const uint32_t size = SafeUint32Mult(rowBytes, rows);

    switch (compression) {
    case 1:
        stream.Put(bytes, size);
        return;
    case 5: {
        const uint32_t written = EncodeLZW(bytes, size, compressed.Buffer_uint8(), compressed.LogicalSize());
        stream.Put(compressed.Buffer(), written);
        return;
    }
    default: {
        const int level = ifd.fCompressionQuality >= 1 && ifd.fCompressionQuality <= 9
                              ? ifd.fCompressionQuality
                              : Z_DEFAULT_COMPRESSION;
        uLongf destBytes = compressed.LogicalSize();
        const int status = compress2(compressed.Buffer_uint8(), &destBytes, bytes, size, level);
        if (status == Z_BUF_ERROR) Throw_dng_error(dng_error_overflow, "Compression output buffer overflow");
        if (status != Z_OK) ThrowMemoryFull();
        stream.Put(compressed.Buffer(), uint32_t(destBytes));
        return;
    }
    }
}

void dng_image_writer::EncodeTile(dng_host& host, const dng_ifd& ifd, dng_stream& stream,
                                  const dng_image& image, const dng_rect& tileArea, uint32_t fakeChannels,
                                  dng_memory_block& uncompressed, dng_memory_block& subTile,
                                  dng_memory_block& compressed, dng_memory_block& widened) {
    dng_pixel_buffer buffer(tileArea, 0, image.Planes(), image.PixelType(), dng_pixel_buffer::interleaved,
                            uncompressed.Buffer());
    image.Get(buffer, dng_image::edge_repeat, 1, 1);
    dng_memory_block* spare = &subTile;

    const uint32_t blockRows = std::max(ifd.fSubTileBlockRows, 1u);
    const uint32_t blockCols = std::max(ifd.fSubTileBlockCols, 1u);
    if (blockRows > 1 || blockCols > 1) {
        // Same area and steps, the pixels permuted: the predictor and the coder see rows of
        // the tile's width, which is how a reader undoes them.
        if (tileArea.H() % blockRows || tileArea.W() % blockCols)
            ThrowProgramError("Sub-tile blocks do not divide the tile");
        ToSubTileBlocks(uncompressed.Buffer_uint8(), subTile.Buffer_uint8(), tileArea.H(), tileArea.W(),
                        image.Planes() * image.PixelSize(), blockRows, blockCols);
        buffer.data = subTile.Buffer();
        spare = &uncompressed;
    }

    const uint32_t count = tileArea.H() * tileArea.W() * image.Planes();
    if (image.PixelType() == ttFloat && ifd.fBitsPerSample[0] == 16) {
        // In place: each half lands no later than the float it came from.
        const float* from = static_cast<const float*>(buffer.data);
        uint16_t* to = static_cast<uint16_t*>(buffer.data);
        for (uint32_t i = 0; i < count; ++i)
            to[i] = FloatToHalf(from[i]);
        buffer.pixelType = ttShort;
        buffer.pixelSize = 2;
    } else if (image.PixelType() == ttFloat && ifd.fBitsPerSample[0] == 24) {
        // Sign and exponent first where the file's order or the float predictor wants it.
        const bool msbFirst =
            stream.BigEndian() || ifd.fPredictor == 3 || ifd.fPredictor == 34894 || ifd.fPredictor == 34895;
        const float* from = static_cast<const float*>(buffer.data);
        uint8_t* to = static_cast<uint8_t*>(buffer.data);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t v = FloatToFP24(from[i]);
            const uint8_t b[3] = {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
            to[3 * i] = msbFirst ? b[0] : b[2];
            to[3 * i + 1] = b[1];
            to[3 * i + 2] = msbFirst ? b[2] : b[0];
        }
        buffer.pixelType = ttByte;
        buffer.pixelSize = 1;
        buffer.planes *= 3;
        buffer.colStep *= 3;
        buffer.rowStep *= 3;
    } else if (image.PixelType() == ttFloat && ifd.fBitsPerSample[0] != 32) {
        ThrowProgramError("Float samples of this width");
    }

    ApplyPredictor(host, ifd, buffer, *spare);

    if (ifd.fCompression == 7 && buffer.pixelSize == 1) {
        // Lossless JPEG codes 16-bit samples: widen 8-bit data first.
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
    if (ifd.fRowInterleaveFactor > 1 && ifd.fRowInterleaveFactor < image.Height()) {
        // The stored rows come group by group; the tags keep the caller's factor.
        const dng_row_interleaved_image interleaved(image, int32_t(ifd.fRowInterleaveFactor));
        dng_ifd plain(ifd);
        plain.fRowInterleaveFactor = 1;
        WriteImage(host, plain, basic, stream, interleaved, fakeChannels);
        return;
    }
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
