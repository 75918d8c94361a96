#pragma once
// The writer of JPEG exports, in place of the platform's image destination: one image with
// its metadata (an EXIF block in APP1) and its colour profile (APP2 "ICC_PROFILE" chunks).
// The file goes to a temporary file beside the destination and replaces it only when
// finalize() succeeds, so a failure leaves whatever was there before.
//
//   auto destination = JpegDestination::create(path, &error);    // null: the folder takes no file
//   destination->addImage(bitmap, properties, 0.7, renderingSpace);
//   if (!destination->finalize(&error)) ...                      // a property it cannot write, ...
#include <filesystem>
#include <memory>
#include <string_view>

#include "platform/AtomicFile.h"
#include "platform/Bitmap.h"
#include "platform/ColorSpace.h"
#include "platform/Error.h"
#include "platform/Value.h"

inline constexpr std::string_view kJpegDestinationErrorDomain = "JpegDestinationErrorDomain";

class JpegDestination {
  public:
    // Texts in kJpegDestinationErrors.
    enum ErrorCode { kNoImage = 1, kUnreadablePixels, kMetadata, kProfile, kEncoder, kFinalised };

    // A destination for one file at `path`; null, with the reason, when its folder is
    // missing or takes no new file.
    static std::unique_ptr<JpegDestination> create(const std::filesystem::path& path,
                                                   platform::Error* error = nullptr);
    ~JpegDestination();
    JpegDestination(const JpegDestination&) = delete;
    JpegDestination& operator=(const JpegDestination&) = delete;

    // The image to write: 8- or 16-bit (or float) RGB pixels of any layout the bitmap
    // describes, alpha dropped; the properties, of which {TIFF}, {Exif}, {ExifAux} and {GPS}
    // go into the EXIF block; the lossy compression quality 0 to 1; and the profile to
    // embed (null: none). A later call replaces the image.
    void addImage(std::shared_ptr<platform::Bitmap> image, platform::Dictionary properties, double quality,
                  std::shared_ptr<const platform::ColorSpace> profile);

    // Codes the image and puts the file in place. False, with the reason, when there is no
    // image, its pixels cannot be read, a property cannot be encoded or the EXIF block is
    // larger than an APP1 segment, the profile is too large, or the file cannot be written.
    // A destination finalises once, whatever the outcome.
    bool finalize(platform::Error* error = nullptr);

  private:
    explicit JpegDestination(std::unique_ptr<platform::AtomicFile> file) : file_(std::move(file)) {}

    std::unique_ptr<platform::AtomicFile> file_;
    std::shared_ptr<platform::Bitmap> image_;
    platform::Dictionary properties_;
    double quality_ = 1.0;
    std::shared_ptr<const platform::ColorSpace> profile_;
};

// The EXIF block's and the encoder's own reasons replace the texts of kMetadata and kEncoder.
inline constexpr auto kJpegDestinationErrors = platform::errorTable<JpegDestination::ErrorCode>(
    kJpegDestinationErrorDomain,
    {
        {JpegDestination::kNoImage, "No image was added to the destination"},
        {JpegDestination::kUnreadablePixels, "The image's pixels cannot be read"},
        {JpegDestination::kMetadata, "A property cannot be written in the EXIF block"},
        {JpegDestination::kProfile, "The colour profile is too large to embed in a JPEG file"},
        {JpegDestination::kEncoder, "The JPEG encoder failed"},
        {JpegDestination::kFinalised, "The destination was finalised already"},
    });
