#pragma once
// Reading the image data one TIFF directory describes into a dng_image: strips or tiles,
// uncompressed samples of 8 to 32 bits, 16- and 24-bit floats, LZW, deflate, lossless and lossy
// JPEG, the horizontal and floating-point predictors and sub-tile blocks.
#include "dng/dng_fingerprint.h"
#include "dng/dng_image.h"
#include "dng/dng_rect.h"

#include <cstdint>
#include <vector>

class dng_host;
class dng_stream;

enum dng_compression : uint32_t {
    ccUncompressed = 1,
    ccLZW = 5,
    ccJPEG = 7,
    ccDeflate = 8,
    ccLossyJPEG = 34892,
    ccPackBits = 32773,
    ccOldDeflate = 32946,
};

enum dng_predictor : uint32_t {
    cpNullPredictor = 1,
    cpHorizontalDifference = 2,
    cpFloatingPoint = 3,
    cpHorizontalDifferenceX2 = 34892,
    cpHorizontalDifferenceX4 = 34893,
    cpFloatingPointX2 = 34894,
    cpFloatingPointX4 = 34895,
};

// What the reader needs of a directory: the sample layout and where the strips or tiles lie.
// Offsets and byte counts are held whole, as read from the file.
struct dng_read_layout {
    static constexpr uint32_t kRowInterleaved = 100000;

    uint32_t fImageWidth = 0;
    uint32_t fImageLength = 0;
    uint32_t fSamplesPerPixel = 1;
    uint32_t fBitsPerSample[4] = {};
    uint32_t fSampleFormat[4] = {1, 1, 1, 1};
    uint32_t fCompression = ccUncompressed;
    uint32_t fPredictor = cpNullPredictor;
    uint32_t fPlanarConfiguration = 1;
    bool fUsesStrips = false;
    bool fUsesTiles = false;
    uint32_t fTileWidth = 0;
    uint32_t fTileLength = 0;
    std::vector<uint64_t> fTileOffset;
    std::vector<uint64_t> fTileByteCount;
    uint32_t fRowInterleaveFactor = 1;
    uint32_t fSubTileBlockRows = 1;
    uint32_t fSubTileBlockCols = 1;
    uint32_t fSampleBitShift = 0;
    // JPEGTables of lossy JPEG tiles, when the directory has them.
    std::vector<uint8_t> fJPEGTables;

    uint32_t TilesAcross() const;
    uint32_t TilesDown() const;
    // Tiles of the whole image: across x down x (samples when planar).
    uint64_t TileCount() const;
    dng_rect TileArea(uint32_t rowIndex, uint32_t colIndex) const;
    uint32_t PlanesPerTile() const { return fPlanarConfiguration == 2 ? 1 : fSamplesPerPixel; }
    // Bytes of uncompressed data over `area` (rows start on a byte); 0 when the data is compressed.
    uint64_t TileByteCount(const dng_rect& area) const;
    // The pixel type of an image that holds the samples: 8, 16 or 32-bit unsigned, or float.
    uint32_t PixelType() const;
    bool IsLossyJPEG() const;
};

class dng_read_image {
  public:
    dng_read_image() = default;
    virtual ~dng_read_image() = default;
    dng_read_image(const dng_read_image&) = delete;
    dng_read_image& operator=(const dng_read_image&) = delete;

    virtual bool CanRead(const dng_read_layout& layout) const;
    // Reads every strip or tile into `image`, whose bounds are the directory's size. The digest,
    // when asked for, is the MD5 of the tiles' MD5s over their stored bytes.
    virtual void Read(dng_host& host, const dng_read_layout& layout, dng_stream& stream, dng_image& image,
                      dng_fingerprint* digest = nullptr);

    virtual bool CanReadTileFormat(const dng_read_layout& layout) const;
    // Fails with the bad-format code when the image's samples could not have come from the
    // stored bytes, so that no image is made for a size the file merely claims.
    void CheckPlausibleSize(const dng_read_layout& layout, uint64_t streamLength) const;
    virtual bool UsesCompressedBuffer(const dng_read_layout& layout) const;

  protected:
    // Uncompressed rows of `area` from the stream's position.
    virtual void ReadUncompressedArea(const dng_read_layout& layout, dng_stream& stream, dng_image& image,
                                      const dng_rect& area, uint32_t plane, uint32_t planes);
    // One whole compressed tile held in `data`.
    virtual void ReadCompressedTile(dng_host& host, const dng_read_layout& layout, const uint8_t* data,
                                    uint64_t size, dng_image& image, const dng_rect& area, uint32_t plane,
                                    uint32_t planes);
    virtual void DecodeLossyJPEG(const dng_read_layout& layout, const uint8_t* data, uint64_t size,
                                 dng_image& image, const dng_rect& area, uint32_t plane, uint32_t planes);

    // The byte order of the stream being read, for samples that come out of a decompressor.
    bool fBigEndianData = false;
    // Uncompressed rows as read, kept from one chunk to the next.
    std::vector<uint8_t> fChunk;
};

// A view whose stored rows are the wrapped image's rows in interleaved order: stored rows of
// group g are rows g, g + f, g + 2f, ... A view of a const image is only read.
class dng_row_interleaved_image : public dng_image {
  public:
    dng_row_interleaved_image(dng_image& image, int32_t factor);
    dng_row_interleaved_image(const dng_image& image, int32_t factor);

    void DoGet(dng_pixel_buffer& buffer) const override;
    void DoPut(const dng_pixel_buffer& buffer) override;

    // The wrapped image's row that stored row `row` lands on.
    int32_t MapRow(int32_t row) const;

  private:
    const dng_image& fImage;
    dng_image* fWritable;
    int32_t fFactor;
};
