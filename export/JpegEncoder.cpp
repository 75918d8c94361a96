#include "export/JpegEncoder.h"

#include <cmath>
#include <cstring>

#include <turbojpeg.h>

#include "engine/core/BitmapImage.h"

namespace bi = platform::bitmap_info;

namespace {

// Where a pixel's samples are, as the bitmap's layout word puts them.
struct SampleLayout {
    size_t step = 0;  // samples a pixel
    size_t red = 0;   // index of R; G and B follow
    size_t alpha = 0; // index of alpha when premultiplied
    bool premultiplied = false;
    bool swap = false; // 16-bit samples stored big-endian
};

std::optional<SampleLayout> sampleLayout(const platform::Bitmap& image) {
    const size_t bits = image.bitsPerComponent();
    const uint32_t info = image.bitmapInfo();
    const uint32_t alpha = info & bi::kAlphaInfoMask;
    if ((bits != 8 && bits != 16) || (info & bi::kFloatComponents) || alpha > bi::kAlphaNoneSkipFirst)
        return std::nullopt;
    const bool first =
        alpha == bi::kAlphaPremultipliedFirst || alpha == bi::kAlphaFirst || alpha == bi::kAlphaNoneSkipFirst;
    SampleLayout l;
    l.step = image.bitsPerPixel() / bits;
    l.red = first ? 1 : 0;
    l.alpha = first ? 0 : 3;
    l.premultiplied = alpha == bi::kAlphaPremultipliedLast || alpha == bi::kAlphaPremultipliedFirst;
    // The platform's default order for 16-bit samples is big-endian.
    const uint32_t order = info & bi::kByteOrderMask;
    l.swap = bits == 16 && (order == bi::kByteOrderDefault || order == bi::kByteOrder16Big);
    if (l.red + 3 > l.step || (l.premultiplied && l.alpha >= l.step)) return std::nullopt;
    return l;
}

template <typename T> unsigned load(const uint8_t* p, size_t index, bool swap) {
    T v;
    std::memcpy(&v, p + index * sizeof(T), sizeof(T));
    if constexpr (sizeof(T) == 2)
        if (swap) v = T((v >> 8) | (v << 8));
    return v;
}

// round(v x 255 / 65535), exactly, without a division.
inline uint8_t to8(unsigned v) {
    const unsigned t = v * 255u + 32768u;
    return uint8_t((t + (t >> 16)) >> 16);
}

template <typename T> uint8_t to8Bits(unsigned v) {
    if constexpr (sizeof(T) == 1) {
        return uint8_t(v);
    } else {
        return to8(v);
    }
}

template <typename T> void convertRow(const uint8_t* in, size_t width, const SampleLayout& l, uint8_t* out) {
    constexpr unsigned kMax = sizeof(T) == 1 ? 255u : 65535u;
    for (size_t x = 0; x < width; ++x, in += l.step * sizeof(T), out += 3) {
        unsigned a = l.premultiplied ? load<T>(in, l.alpha, l.swap) : kMax;
        for (size_t c = 0; c < 3; ++c) {
            unsigned v = load<T>(in, l.red + c, l.swap);
            if (a != kMax) v = a ? std::min<unsigned>(kMax, unsigned((uint64_t(v) * kMax + a / 2) / a)) : 0;
            out[c] = to8Bits<T>(v);
        }
    }
}

// The output stage's own layout, host-order 16-bit R G B first and no premultiplied alpha,
// with the pixel step known to the compiler, so the loop vectorises.
template <size_t Step> void convertHostRow(const uint8_t* in, size_t width, uint8_t* out) {
    for (size_t x = 0; x < width; ++x, in += Step * 2, out += 3)
        for (size_t c = 0; c < 3; ++c)
            out[c] = to8(load<uint16_t>(in, c, false));
}

void convertImage(const platform::Bitmap& image, const uint8_t* data, size_t rowBytes, const SampleLayout& l,
                  uint8_t* out) {
    const size_t width = image.width();
    const bool host16 = image.bitsPerComponent() == 16 && !l.swap && !l.premultiplied && l.red == 0;
    for (size_t y = 0; y < image.height(); ++y, data += rowBytes, out += width * 3) {
        if (host16 && l.step == 4) {
            convertHostRow<4>(data, width, out);
        } else if (host16 && l.step == 3) {
            convertHostRow<3>(data, width, out);
        } else if (image.bitsPerComponent() == 8) {
            convertRow<uint8_t>(data, width, l, out);
        } else {
            convertRow<uint16_t>(data, width, l, out);
        }
    }
}

} // namespace

int jpegQuality(double q) {
    if (!std::isfinite(q)) return 100;
    double percent = std::round(100 * q);
    return percent < 1 ? 1 : percent > 100 ? 100 : int(percent);
}

std::unique_ptr<uint8_t[]> rgb8Pixels(const std::shared_ptr<platform::Bitmap>& image) {
    if (!image || !image->data()) return nullptr;
    size_t pixels = 0, bytes = 0;
    if (__builtin_mul_overflow(image->width(), image->height(), &pixels) ||
        __builtin_mul_overflow(pixels, size_t(3), &bytes) || bytes > SIZE_MAX / 2)
        return nullptr;
    auto out = std::make_unique_for_overwrite<uint8_t[]>(std::max<size_t>(bytes, 1));
    if (auto layout = sampleLayout(*image)) {
        convertImage(*image, image->data(), image->bytesPerRow(), *layout, out.get());
        return out;
    }
    // Float and 32-bit samples: the bitmap reader scales them to 16 bits first.
    auto bitmap = BitmapImage::create(image);
    std::vector<uint16_t> rgb16(bytes);
    if (!bitmap->getLinearBuffer(rgb16)) return nullptr;
    SampleLayout packed{3, 0, 0, false, false};
    convertImage(*image, reinterpret_cast<const uint8_t*>(rgb16.data()), image->width() * 6, packed,
                 out.get());
    return out;
}

void TurboJpegFree::operator()(unsigned char* p) const { tjFree(p); }

std::optional<EncodedJpeg> encodeJpeg(const uint8_t* rgb, size_t width, size_t height, int quality,
                                      std::string* failure) {
    auto fail = [&](const char* why) {
        if (failure) *failure = why;
        return std::nullopt;
    };
    if (width == 0 || height == 0 || width > 65535 || height > 65535)
        return fail("A JPEG image is 1 to 65,535 pixels wide and high");
    tjhandle handle = tjInitCompress();
    if (!handle) return fail(tjGetErrorStr2(nullptr));
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    int result = tjCompress2(handle, rgb, int(width), int(width * 3), int(height), TJPF_RGB, &buffer, &size,
                             TJSAMP_444, quality, 0);
    EncodedJpeg jpeg{std::unique_ptr<unsigned char, TurboJpegFree>(buffer), size_t(size)};
    if (result != 0) {
        if (failure) *failure = tjGetErrorStr2(handle);
        tjDestroy(handle);
        return std::nullopt;
    }
    tjDestroy(handle);
    return jpeg;
}
