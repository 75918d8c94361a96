// The reading side of a directory: the image reader decides and moves the samples.
#include "dng/dng_exceptions.h"
#include "dng/dng_ifd.h"
#include "dng/dng_read_image.h"
#include "dng/dng_stream.h"
#include "dng/dng_tag_types.h"

#include <algorithm>

namespace {

// Offsets and counts are held in the directory up to 32, beyond that in the stream.
uint64_t HeldOrStored(dng_stream* stream, const uint64_t* held, uint32_t count, uint32_t type,
                      uint64_t position, uint32_t index) {
    if (count <= dng_ifd::kMaxHeldTiles) return held[index];
    if (!stream) ThrowBadFormat();
    const uint32_t size = type == ttShort ? 2 : 4;
    stream->SetReadPosition(position + uint64_t(index) * size);
    return size == 2 ? stream->Get_uint16() : stream->Get_uint32();
}

dng_read_layout LayoutOf(const dng_ifd& ifd, dng_stream* stream) {
    dng_read_layout layout;
    layout.fImageWidth = ifd.fImageWidth;
    layout.fImageLength = ifd.fImageLength;
    layout.fSamplesPerPixel = ifd.fSamplesPerPixel;
    std::copy(std::begin(ifd.fBitsPerSample), std::end(ifd.fBitsPerSample), layout.fBitsPerSample);
    std::copy(std::begin(ifd.fSampleFormat), std::end(ifd.fSampleFormat), layout.fSampleFormat);
    layout.fCompression = ifd.fCompression;
    layout.fPredictor = ifd.fPredictor;
    layout.fPlanarConfiguration = ifd.fPlanarConfiguration;
    layout.fUsesStrips = ifd.fUsesStrips;
    layout.fUsesTiles = ifd.fUsesTiles;
    layout.fTileWidth = ifd.fTileWidth;
    layout.fTileLength = ifd.fTileLength;
    layout.fRowInterleaveFactor = ifd.fRowInterleaveFactor;
    layout.fSubTileBlockRows = ifd.fSubTileBlockRows;
    layout.fSubTileBlockCols = ifd.fSubTileBlockCols;
    layout.fSampleBitShift = ifd.fSampleBitShift;

    const uint32_t tiles = ifd.TilesPerImage();
    const uint32_t across = std::max(ifd.TilesAcross(), 1u);
    const uint32_t perPlane = across * std::max(ifd.TilesDown(), 1u);
    uint64_t heldCounts[dng_ifd::kMaxHeldTiles];
    std::copy(std::begin(ifd.fTileByteCount), std::end(ifd.fTileByteCount), heldCounts);
    for (uint32_t i = 0; i < tiles; ++i) {
        layout.fTileOffset.push_back(HeldOrStored(stream, ifd.fTileOffset,
                                                  std::max(ifd.fTileOffsetsCount, 1u), ifd.fTileOffsetsType,
                                                  ifd.fTileOffsetsOffset, i));
        // A directory filled by hand for uncompressed data may leave its counts to the layout.
        const uint32_t within = i % perPlane;
        const uint64_t count = ifd.fTileByteCountsCount == 0
                                   ? ifd.TileByteCount(ifd.TileArea(within / across, within % across))
                                   : HeldOrStored(stream, heldCounts, ifd.fTileByteCountsCount,
                                                  ifd.fTileByteCountsType, ifd.fTileByteCountsOffset, i);
        layout.fTileByteCount.push_back(count);
    }
    return layout;
}

} // namespace

bool dng_ifd::CanRead() const {
    dng_read_image reader;
    return reader.CanRead(LayoutOf(*this, nullptr));
}

void dng_ifd::ReadImage(dng_host& host, dng_stream& stream, dng_image& image, dng_jpeg_image*,
                        dng_fingerprint* jpegDigest) const {
    dng_read_image reader;
    reader.Read(host, LayoutOf(*this, &stream), stream, image, jpegDigest);
}
