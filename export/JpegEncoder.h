#pragma once
// Baseline JPEG coding through libjpeg-turbo's TurboJPEG API: 8-bit RGB in, Y Cb Cr at full
// resolution (no chroma subsampling) out. Also the 8-bit pixels a bitmap of any sample layout
// gives. Both spread large images over the workers of a concurrent queue.
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
// coder's reason in *failure, when it fails (sizes over 65,535 among others). An image of a
// megapixel or more is coded in bands on the workers of the calling task's queue (else the
// shared one).
std::optional<EncodedJpeg> encodeJpeg(const uint8_t* rgb, size_t width, size_t height, int quality,
                                      std::string* failure = nullptr);

// The same image coded in bands of `bandRows` rows at once, joined into one baseline stream
// with a restart interval of one band, which decodes to the pixels of one call's stream.
// Bands are whole MCU rows (8) of at most 65,535 MCUs; one band, or a coder whose streams do
// not join, gives one call's stream.
std::optional<EncodedJpeg> encodeJpegInBands(const uint8_t* rgb, size_t width, size_t height, int quality,
                                             size_t bandRows, std::string* failure = nullptr);

// Where a stream goes piece by piece, in order, as it is coded.
class JpegSink {
  public:
    virtual ~JpegSink() = default;
    // The next piece of the stream; false stops the coding (the sink keeps its reason).
    virtual bool write(std::string_view piece) = 0;
    // The pieces written so far are void: the stream starts again from its first byte.
    virtual bool restart() = 0;
};

// The streams of encodeJpeg() and encodeJpegInBands() handed to `sink` as they are coded:
// the top bands go out while later ones are still being coded (writing a large file takes
// as long as coding it). The sink is called on the workers, one call at a time. False when
// the coder failed (its reason in *failure) or the sink stopped it.
bool encodeJpegTo(const uint8_t* rgb, size_t width, size_t height, int quality, JpegSink& sink,
                  std::string* failure = nullptr);
bool encodeJpegInBandsTo(const uint8_t* rgb, size_t width, size_t height, int quality, size_t bandRows,
                         JpegSink& sink, std::string* failure = nullptr);
