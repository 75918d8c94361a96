#pragma once
// Writes whole TIFF and DNG files to a stream: metadata preparation, the header, the chain of
// directories with their sub-IFDs and EXIF and GPS directories, and the image data of every
// directory, tiles encoded in parallel when the host offers threads but always written in
// index order, so the bytes do not depend on the thread count.
#include "dng/dng_rational.h"
#include "dng/dng_uncopyable.h"

#include <cstdint>

class dng_basic_tag_set;
class dng_color_space;
class dng_host;
class dng_ifd;
class dng_image;
class dng_jpeg_preview;
class dng_memory_block;
class dng_metadata;
class dng_negative;
class dng_pixel_buffer;
class dng_preview_list;
class dng_rect;
class dng_stream;

// 282, 283 and 296.
class dng_resolution {
  public:
    dng_urational fXResolution;
    dng_urational fYResolution;
    uint16_t fResolutionUnit = 0;
};

// Which metadata a file keeps: 3 everything, the others strip copyright-only, camera-raw or
// location information.
enum dng_metadata_subset : uint32_t {
    kMetadataSubset_CopyrightOnly = 0,
    kMetadataSubset_CopyrightAndContact = 1,
    kMetadataSubset_AllExceptCameraInfo = 2,
    kMetadataSubset_All = 3,
    kMetadataSubset_AllExceptLocationInfo = 4,
    kMetadataSubset_AllExceptCameraAndLocation = 5,
    kMetadataSubset_AllExceptCameraRawInfo = 6,
    kMetadataSubset_AllExceptCameraRawInfoAndLocation = 7
};

class dng_image_writer : private dng_uncopyable {
  public:
    dng_image_writer() = default;
    virtual ~dng_image_writer() = default;

    // This program has no JPEG encoder of its own for previews.
    virtual void EncodeJPEGPreview(dng_host& host, const dng_image& image, dng_jpeg_preview& preview,
                                   int32_t quality);

    // One image's tiles or strips; fills the set's offsets and byte counts.
    virtual void WriteImage(dng_host& host, const dng_ifd& ifd, dng_basic_tag_set& basic, dng_stream& stream,
                            const dng_image& image, uint32_t fakeChannels = 1);

    virtual void WriteTIFF(dng_host& host, dng_stream& stream, const dng_image& image, uint32_t photometric,
                           uint32_t compression, const dng_metadata* metadata, const void* profileData,
                           uint32_t profileSize, const dng_resolution* resolution,
                           const dng_jpeg_preview* thumbnail, const dng_memory_block* imageResources,
                           uint32_t metadataSubset, bool hasTransparency);

    // The raw-image digests are computed into the negative, as a save always does.
    virtual void WriteDNG(dng_host& host, dng_stream& stream, dng_negative& negative,
                          const dng_metadata& metadata, const dng_preview_list* previews,
                          uint32_t compatibilityVersion, bool uncompressed);

    virtual void PrepareMetadata(dng_host& host, dng_metadata& metadata, uint32_t metadataSubset,
                                 const char* mimeType, const char* software);
    virtual void SetExifColorSpace(dng_metadata& metadata, const void* profileData, uint32_t profileSize);

    virtual uint32_t ExtraBufferSize(const dng_ifd& ifd, uint32_t uncompressedSize) const;
    virtual void ApplyPredictor(dng_host& host, const dng_ifd& ifd, dng_pixel_buffer& buffer,
                                dng_memory_block& scratch);
    virtual void SwapToStreamOrder(dng_stream& stream, dng_pixel_buffer& buffer);
    virtual void CompressAndWrite(dng_host& host, const dng_ifd& ifd, dng_stream& stream,
                                  dng_pixel_buffer& buffer, dng_memory_block& compressed);
    // The four scratch blocks: uncompressed, sub-tile, compressed and widened.
    virtual void EncodeTile(dng_host& host, const dng_ifd& ifd, dng_stream& stream, const dng_image& image,
                            const dng_rect& tileArea, uint32_t fakeChannels,
                            dng_memory_block& uncompressedBuffer, dng_memory_block& subTileBuffer,
                            dng_memory_block& compressedBuffer, dng_memory_block& widenedBuffer);
    virtual void WriteTilesThreaded(dng_host& host, const dng_ifd& ifd, dng_basic_tag_set& basic,
                                    dng_stream& stream, const dng_image& image, uint32_t tilesDown,
                                    uint32_t tilesAcross, uint32_t uncompressedSize, uint32_t compressedSize,
                                    uint32_t fakeChannels);

    // The negative's own metadata.
    void WriteDNG(dng_host& host, dng_stream& stream, dng_negative& negative,
                  const dng_preview_list* previews, uint32_t compatibilityVersion, bool uncompressed);
    // The ICC profile comes from the colour space, when it has one.
    void WriteTIFF(dng_host& host, dng_stream& stream, const dng_image& image, uint32_t photometric,
                   uint32_t compression, const dng_negative* negative, const dng_color_space* space,
                   const dng_resolution* resolution = nullptr, const dng_jpeg_preview* thumbnail = nullptr,
                   const dng_memory_block* imageResources = nullptr,
                   uint32_t metadataSubset = kMetadataSubset_All, bool hasTransparency = false);

  protected:
    // Writes the tile (row, col) at the stream's position and records where it went.
    void WriteOneTile(dng_host& host, const dng_ifd& ifd, dng_basic_tag_set& basic, dng_stream& stream,
                      const dng_image& image, uint32_t tileIndex, const dng_rect& tileArea,
                      uint32_t rowsPerPiece, uint32_t fakeChannels, dng_memory_block* buffers[4]);
    // Records a tile's place; data beyond 4 GiB is the too-big code of the file being written.
    void RecordTilePlacement(dng_basic_tag_set& basic, uint32_t tileIndex, uint64_t start,
                             uint64_t end) const;

    // 100013 while a DNG is written, 100014 for a TIFF.
    int32_t fTooBigCode = 100013;
};
