#pragma once
// What a file must hold for images of every sample format, and the readers that check it: our
// own DNG reader and libtiff (tiffcp decoding a file to plain strips).
#include "dng/dng_host.h"
#include "dng/dng_ifd.h"
#include "dng/dng_image_writer.h"
#include "dng/dng_info.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_sets.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_threaded_host.h"
#include "tests/dng/DngStreams.h"
#include "tests/dng/writer/WriterFixtures.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace writertest {

// The value a stored float of `bits` bits holds, rounded as IEEE rounds (nearest even). Half
// floats come from the compiler's own conversion; the 24-bit format (16 mantissa bits) is
// rounded here in double precision, for values in its normal range.
inline uint32_t StoredFloatBits(float value, uint32_t bits) {
    if (bits == 32) {
        uint32_t b;
        std::memcpy(&b, &value, 4);
        return b;
    }
    if (bits == 16) {
        const _Float16 half = static_cast<_Float16>(value);
        uint16_t b;
        std::memcpy(&b, &half, 2);
        return b;
    }
    if (value == 0.0f) return std::signbit(value) ? 0x800000u : 0;
    int exponent = 0;
    const double m = std::frexp(std::fabs(double(value)), &exponent);
    double r = std::nearbyint(m * 131072.0);
    if (r == 131072.0) {
        r = 65536.0;
        ++exponent;
    }
    return (std::signbit(value) ? 0x800000u : 0) | uint32_t(exponent - 1 + 63) << 16 | (uint32_t(r) - 65536);
}

// What our reader gives back for a stored float: infinity as the largest finite value.
inline float ReadBackFloat(float value, uint32_t bits) {
    if (bits == 32) return value;
    if (bits == 16) {
        const float f = float(static_cast<_Float16>(value));
        return std::isinf(f) ? std::copysign(65504.0f, f) : f;
    }
    const uint32_t b = StoredFloatBits(value, 24);
    const double m = 1.0 + double(b & 0xFFFF) / 65536.0;
    const double v = std::ldexp(m, int((b >> 16) & 0x7F) - 63);
    return float(b & 0x800000 ? -v : v);
}

// Each sample as a 32-bit pattern: the integer, or the float's bits.
inline std::vector<uint32_t> SampleBits(const dng_image& image) {
    std::vector<uint32_t> out;
    const dng_rect& b = image.Bounds();
    dng_pixel_buffer buffer(b, 0, image.Planes(), image.PixelType(), dng_pixel_buffer::interleaved, nullptr);
    std::vector<uint8_t> bytes(size_t(b.W()) * b.H() * image.Planes() * image.PixelSize());
    buffer.data = bytes.data();
    image.Get(buffer);
    for (size_t i = 0; i < bytes.size(); i += image.PixelSize()) {
        uint32_t v = 0;
        if (image.PixelSize() == 1) v = bytes[i];
        if (image.PixelSize() == 2) v = uint32_t(bytes[i] | bytes[i + 1] << 8);
        if (image.PixelSize() == 4) std::memcpy(&v, &bytes[i], 4);
        out.push_back(v);
    }
    return out;
}

// What our reader should give back for the written image, and the file's samples once a
// reader has decoded them (little-endian bytes, as tiffcp -L writes them).
inline std::vector<uint32_t> ExpectedReadBack(const dng_image& image, const SampleFormat& format) {
    std::vector<uint32_t> v = SampleBits(image);
    if (format.isFloat)
        for (uint32_t& x : v) {
            float f;
            std::memcpy(&f, &x, 4);
            f = ReadBackFloat(f, format.bits);
            std::memcpy(&x, &f, 4);
        }
    return v;
}

inline std::vector<uint8_t> ExpectedStoredBytes(const dng_image& image, const SampleFormat& format) {
    std::vector<uint8_t> out;
    for (uint32_t x : SampleBits(image)) {
        if (format.isFloat) {
            float f;
            std::memcpy(&f, &x, 4);
            x = StoredFloatBits(f, format.bits);
        }
        for (uint32_t k = 0; k < format.bits / 8; ++k)
            out.push_back(uint8_t(x >> (8 * k)));
    }
    return out;
}

// The main raw image of a DNG, through our own reader.
inline std::unique_ptr<dng_image> ReadMainImage(const std::vector<uint8_t>& file) {
    dng_host host;
    auto stream = dngtest::StreamOver(file);
    dng_info info;
    info.Parse(host, *stream);
    return info.ReadStage1Image(host, *stream);
}

// libtiff's decoding of IFD 0's samples: tiffcp rewrites the file as one uncompressed
// little-endian strip, whose bytes are returned; `failure` holds what went wrong.
inline std::vector<uint8_t> LibtiffSamples(const std::string& path, uint32_t rows, std::string& failure) {
    const std::string plain = path + ".plain.tif";
    const auto [out, status] =
        RunCommand("tiffcp -L -c none -s -r " + std::to_string(rows) + " " + path + " " + plain);
    if (status != 0) {
        failure = "tiffcp: " + out;
        return {};
    }
    const std::vector<uint8_t> bytes = ReadFile(plain);
    const auto ifd = ReadIFD(bytes, Get32(bytes, 4));
    if (!ifd.count(273) || ifd.at(273).count != 1) {
        failure = "tiffcp wrote no single strip";
        return {};
    }
    const uint32_t offset = ifd.at(273).value, count = ifd.at(279).value;
    if (uint64_t(offset) + count > bytes.size()) {
        failure = "strip beyond the file";
        return {};
    }
    return std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + count);
}

} // namespace writertest
