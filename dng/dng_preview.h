#pragma once
// Reduced renderings the writer stores in IFDs of their own: uncompressed image previews and
// already-compressed JPEG previews, and the list that hands them to the writer.
#include "dng/dng_ifd.h"
#include "dng/dng_point.h"
#include "dng/dng_tag_sets.h"

#include <memory>
#include <vector>

class dng_host;
class dng_image;
class dng_image_writer;
class dng_memory_block;
class dng_stream;

class dng_preview : private dng_uncopyable {
  public:
    virtual ~dng_preview() = default;

    // The caller keeps the set until the directory is written.
    virtual std::unique_ptr<dng_basic_tag_set> AddTagSet(dng_tiff_directory& directory) const = 0;
    // Writes the data at the stream's position and fills the set's strip offset and count.
    virtual void WriteData(dng_host& host, dng_image_writer& writer, dng_basic_tag_set& basic,
                           dng_stream& stream) const = 0;
    // Pixels of the preview, for choosing the smallest one.
    virtual uint64_t PixelCount() const = 0;

    dng_preview_info fInfo;
};

class dng_image_preview : public dng_preview {
  public:
    std::unique_ptr<dng_image> fImage;

    dng_image_preview();
    ~dng_image_preview() override;

    std::unique_ptr<dng_basic_tag_set> AddTagSet(dng_tiff_directory& directory) const override;
    void WriteData(dng_host& host, dng_image_writer& writer, dng_basic_tag_set& basic,
                   dng_stream& stream) const override;
    uint64_t PixelCount() const override;

  private:
    mutable dng_ifd fIFD;
};

class dng_jpeg_preview : public dng_preview {
  public:
    // Rows (v) and columns (h).
    dng_point fPreviewSize;
    uint16_t fPhotometricInterpretation = 6;
    dng_point fYCbCrSubSampling{1, 1};
    uint16_t fYCbCrPositioning = 2;
    std::unique_ptr<dng_memory_block> fCompressedData;

    dng_jpeg_preview();
    ~dng_jpeg_preview() override;

    std::unique_ptr<dng_basic_tag_set> AddTagSet(dng_tiff_directory& directory) const override;
    void WriteData(dng_host& host, dng_image_writer& writer, dng_basic_tag_set& basic,
                   dng_stream& stream) const override;
    uint64_t PixelCount() const override { return uint64_t(fPreviewSize.v) * uint64_t(fPreviewSize.h); }

    // The Photoshop-style thumbnail resource (id 1036) of a TIFF file's image resources.
    void SpoolAdobeThumbnail(dng_stream& stream) const;
};

// The preview's own tags over the basic ones.
class dng_preview_tag_set : public dng_basic_tag_set {
  public:
    dng_preview_tag_set(dng_tiff_directory& directory, const dng_preview_info& info, const dng_ifd& ifd);
};

class dng_jpeg_preview_tag_set : public dng_preview_tag_set {
  public:
    dng_jpeg_preview_tag_set(dng_tiff_directory& directory, const dng_jpeg_preview& preview,
                             const dng_ifd& ifd);

  private:
    dng_urational fCoefficients[3];
    uint16_t fSubSampling[2] = {};
    dng_urational fReferenceBlackWhite[6];
};

class dng_preview_list : private dng_uncopyable {
  public:
    static constexpr uint32_t kMaxPreviews = 20;

    dng_preview_list() = default;
    ~dng_preview_list();

    uint32_t Count() const { return uint32_t(fPreview.size()); }
    const dng_preview& Preview(uint32_t index) const { return *fPreview[index]; }
    // Takes the preview unless the list is full; a preview not taken stays with the caller.
    void Append(std::unique_ptr<dng_preview>& preview);

  private:
    std::vector<std::unique_ptr<dng_preview>> fPreview;
};
