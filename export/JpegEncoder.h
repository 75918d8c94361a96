#pragma once
// Baseline JPEG coding through libjpeg-turbo's TurboJPEG API, on the calling thread: 8-bit
// RGB in, Y Cb Cr at full resolution (no chroma subsampling) out. Also the 8-bit pixels a
// bitmap of any sample layout gives.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Bitmap.h"

// libjpeg's quality for a lossy compression quality q of 0 to 1: round(100 q), kept in
// 1..100 (an unusable q gives 100).
int jpegQuality(double q);

// Packed R G B rows of 8-bit samples, rounded from 16-bit ones; alpha is dropped (premultiplied
// colour is divided by it first). Null when the image's layout cannot be read or the
// buffer's size overflows.
std::unique_ptr<uint8_t[]> rgb8Pixels(const std::shared_ptr<platform::Bitmap>& image);

struct TurboJpegFree {
    void operator()(unsigned char* p) const;
};

struct EncodedJpeg {
    std::unique_ptr<unsigned char, TurboJpegFree> data;
    size_t size = 0;
    std::string_view bytes() const { return {reinterpret_cast<const char*>(data.get()), size}; }
};

// The JPEG stream (SOI to EOI) of width x height packed RGB pixels; nullopt, with the
// coder's reason in *failure, when it fails (sizes over 65,535 among others).
std::optional<EncodedJpeg> encodeJpeg(const uint8_t* rgb, size_t width, size_t height, int quality,
                                      std::string* failure = nullptr);
