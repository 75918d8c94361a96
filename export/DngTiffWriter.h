#pragma once
// Turns one rendered 16-bit image into a DNG or TIFF file: a negative describing the buffer as
// three-plane linear RGB or a one-plane Bayer mosaic, with a fixed profile and levels and the
// EXIF record the wrapper fills, then a small preview, an optional embedded source file and
// the writer. Every operation that can fail returns false with the DNG failure as an error
// (kDngErrorDomain, the DNG error code, its text); nothing throws.
#include "dng/dng_image_writer.h"
#include "dng/dng_matrix.h"
#include "dng/dng_threaded_host.h"
#include "export/MetadataKey.h"
#include "platform/Error.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class dng_negative;
class dng_memory_block;
class dng_string;

class DngTiffWriter {
  public:
    // Bayer phases of the one-plane mosaic; 0 is three-plane RGB.
    static constexpr uint32_t kCFA_GRBG = 0xE1E1E1E1;
    static constexpr uint32_t kCFA_RGGB = 0xB4B4B4B4;
    static constexpr uint32_t kCFA_GBRG = 0x1E1E1E1E;
    static constexpr uint32_t kCFA_BGGR = 0x4B4B4B4B;

    DngTiffWriter(int32_t width, int32_t height);
    virtual ~DngTiffWriter();
    DngTiffWriter(const DngTiffWriter&) = delete;
    DngTiffWriter& operator=(const DngTiffWriter&) = delete;

    // Before setImage.
    void setCFAPattern(uint32_t code) { cfaPattern_ = code; }
    // width x height x planes samples (3, or 1 for a mosaic), in host byte order.
    bool setImage(const uint16_t* samples, int orientation, platform::Error* error = nullptr);

    // Each does nothing before setImage has made a negative.
    void setMake(const char* text);
    void setModel(const char* text);
    void setSoftware(const char* text);
    void setImageDescription(const char* text);
    void setCopyright(const char* text);
    void setUserComment(const char* text);
    // The negative's original file name and the image description.
    void setDocumentName(const char* text);
    // Both DateTimeOriginal and DateTimeDigitized.
    void setDateTime(const char* text);
    // UniqueCameraModel and LocalizedCameraModel; without one, the EXIF make and model.
    void setCameraModelName(std::string text) { cameraModelName_ = std::move(text); }
    void setEXIFField(MetadataKey code, const char* text, int32_t iValue, double fValue);
    // The TIFF's resolution, 72 pixels per inch unless the image carries its own; values
    // that are not positive, or a unit other than 1 to 3, leave it unchanged.
    void setResolution(double x, double y, uint32_t unit);
    const dng_resolution& resolution() const { return resolution_; }

    // `type` names the file type ("dng" or "tif" in it); the destination is replaced only
    // once the whole file is written. A failing system call (a folder that takes no file, a
    // full disk) adds the system's reason to the code's text: "Error writing file. No space
    // left on device."
    bool writeFile(const char* outputPath, const char* embedPath, const char* type,
                   platform::Error* error = nullptr);

    const dng_negative* negative() const { return negative_.get(); }
    // ProPhoto RGB (D50) to XYZ: the colour of the buffer's samples.
    static const dng_matrix_3by3& ProPhotoToXYZ();

    // The embedded-file block of a source file's bytes: its length, chunk table and the
    // 64 KiB chunks each deflated alone. Throws dng_exception when zlib fails.
    static void BuildEmbeddedBlock(const uint8_t* data, uint64_t length, dng_host& host,
                                   std::unique_ptr<dng_memory_block>& block);

  private:
    bool hasNegative() const { return negative_ != nullptr; }
    // Notes which pixels of a three-plane image are grey, for the rendered TIFF and preview.
    void markGreys(const uint16_t* samples);
    static void setText(dng_string& field, const char* text);
    uint32_t planes() const { return cfaPattern_ ? 1 : 3; }

    int32_t width_;
    int32_t height_;
    std::unique_ptr<dng_negative> negative_;
    dng_threaded_host host_;
    dng_matrix_3by3 cameraMatrix_;
    uint32_t cfaPattern_ = 0;
    dng_resolution resolution_;
    std::vector<bool> greyPixels_; // per pixel, row by row; empty for a mosaic
    bool allGrey_ = false;
    std::string cameraModelName_;
};
