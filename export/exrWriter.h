#pragma once
// Writes a rendered float RGBA image as an OpenEXR file: half or float channels R, G, B and
// optionally A, ZIP-compressed, with an 8-bit preview at 1/8 size and metadata attributes.
// Compression runs on the calling thread (the library's global thread count stays 0).
#include "export/ExportErrors.h"
#include "export/MetadataKey.h"
#include "platform/Error.h"

#include <ImfHeader.h>

#include <cstdint>
#include <string_view>

class exrWriter {
  public:
    exrWriter(int32_t width, int32_t height);
    virtual ~exrWriter();
    exrWriter(const exrWriter&) = delete;
    exrWriter& operator=(const exrWriter&) = delete;

    void setFloatPixels(bool on) { floatPixels_ = on; }
    void setWriteChromaticities(bool on) { writeChromaticities_ = on; }
    void setOmitAlpha(bool on) { omitAlpha_ = on; }

    // Sets the header attribute that the code maps to; codes without one set nothing.
    void setMetadata(MetadataKey code, std::string_view text, int32_t iValue, double fValue);

    // Writes width x height pixels of four floats (R, G, B, A; rows top to bottom, row step
    // width x 16 bytes) to path. The A values are read only when alpha is written. False on
    // failure, with the error (its text at most 767 characters); a failure leaves any file
    // already at path as it was.
    bool write(const float* rgba, const char* path, platform::Error* error = nullptr);

    const Imf::Header& header() const { return header_; }

  private:
    static bool fail(platform::Error* error, platform::Error failure);
    void setPreview(const float* rgba);
    void setChromaticities();
    void setChannels();
    void writePixels(const float* rgba, const char* path);

    int32_t width_;
    int32_t height_;
    bool floatPixels_ = false;
    bool writeChromaticities_ = false;
    bool omitAlpha_ = false;
    Imf::Header header_;
};
