#include "dng/KernelSuite.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_tag_types.h"

#include "DngErrorMatchers.h"

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// A pixel buffer with its own storage, optionally viewed bottom-up or right-to-left.
struct OwnedBuffer {
    std::vector<uint8_t> storage;
    dng_pixel_buffer buffer;

    OwnedBuffer(const dng_rect& area, uint32_t planes, uint32_t type, uint32_t config, bool flipRows = false,
                bool flipCols = false)
        : storage(std::size_t(area.W() + 32) * (area.H() + 1) * planes * 8 + 64) {
        buffer = dng_pixel_buffer(area, 0, planes, type, config, storage.data());
        // Point at the last row (or column) and walk backwards.
        if (flipRows) {
            buffer.data = buffer.DirtyPixel(area.b - 1, area.l);
            buffer.rowStep = -buffer.rowStep;
        }
        if (flipCols) {
            buffer.data = buffer.DirtyPixel(area.t, area.r - 1);
            buffer.colStep = -buffer.colStep;
        }
    }

    // A snapshot whose view points into its own copy of the storage.
    OwnedBuffer(const OwnedBuffer& other) : storage(other.storage), buffer(other.buffer) {
        buffer.data = storage.data() + (static_cast<uint8_t*>(other.buffer.data) - other.storage.data());
    }
};

double Read(const dng_pixel_buffer& b, int32_t r, int32_t c, uint32_t p) {
    const void* at = b.ConstPixel(r, c, p);
    switch (b.pixelType) {
    case ttByte:
        return *static_cast<const uint8_t*>(at);
    case ttShort:
        return *static_cast<const uint16_t*>(at);
    case ttSShort:
        return *static_cast<const int16_t*>(at);
    case ttLong:
        return *static_cast<const uint32_t*>(at);
    default:
        return *static_cast<const float*>(at);
    }
}

void Fill(dng_pixel_buffer& b, std::mt19937& rng) {
    std::uniform_int_distribution<uint32_t> bits;
    std::uniform_real_distribution<float> unit(-0.2f, 1.2f);
    for (int32_t r = b.area.t; r < b.area.b; ++r)
        for (int32_t c = b.area.l; c < b.area.r; ++c)
            for (uint32_t p = 0; p < b.planes; ++p) {
                void* at = b.DirtyPixel(r, c, p);
                if (b.pixelType == ttFloat)
                    *static_cast<float*>(at) = unit(rng);
                else {
                    const uint32_t v = bits(rng);
                    std::memcpy(at, &v, b.pixelSize);
                }
            }
}

// What one sample becomes, written out plainly from the conversion rules.
double Expected(double x, uint32_t from, uint32_t to) {
    // Single-precision arithmetic, as the samples are floats.
    auto fromFloat = [](float v, float range) {
        if (!(v > 0.0f)) return 0.0;
        return double(uint32_t(std::min(v, 1.0f) * range + 0.5f));
    };
    const uint32_t raw = uint32_t(int64_t(x)); // the stored bits of an integer sample
    if (from == to) return x;
    switch (from * 100 + to) {
    case ttByte * 100 + ttShort:
    case ttByte * 100 + ttLong:
    case ttShort * 100 + ttLong:
        return x;
    case ttByte * 100 + ttSShort:
        return x - 32768;
    case ttByte * 100 + ttFloat:
        return float(x) * (1.0f / 255.0f);
    case ttShort * 100 + ttByte:
    case ttLong * 100 + ttByte:
    case ttSShort * 100 + ttByte:
        return raw & 0xFF;
    case ttShort * 100 + ttSShort:
        return int16_t(raw ^ 0x8000);
    case ttShort * 100 + ttFloat:
        return float(x) * (1.0f / 65535.0f);
    case ttLong * 100 + ttShort:
        return raw & 0xFFFF;
    case ttSShort * 100 + ttShort:
        return (raw & 0xFFFF) ^ 0x8000;
    case ttSShort * 100 + ttFloat:
        return float(x + 32768) * (1.0f / 65535.0f);
    case ttFloat * 100 + ttByte:
        return fromFloat(float(x), 255);
    case ttFloat * 100 + ttShort:
        return fromFloat(float(x), 65535);
    default:
        return int16_t(uint32_t(fromFloat(float(x), 65535)) ^ 0x8000);
    }
}

const uint32_t kConfigs[] = {dng_pixel_buffer::interleaved, dng_pixel_buffer::planar,
                             dng_pixel_buffer::rowInterleaved, dng_pixel_buffer::rowInterleavedPadded};
const uint32_t kPairs[][2] = {
    {ttByte, ttByte},    {ttShort, ttShort}, {ttFloat, ttFloat}, {ttByte, ttShort},   {ttByte, ttLong},
    {ttByte, ttSShort},  {ttByte, ttFloat},  {ttShort, ttByte},  {ttShort, ttLong},   {ttShort, ttSShort},
    {ttShort, ttFloat},  {ttLong, ttShort},  {ttLong, ttByte},   {ttSShort, ttShort}, {ttSShort, ttByte},
    {ttSShort, ttFloat}, {ttFloat, ttByte},  {ttFloat, ttShort}, {ttFloat, ttSShort}, {ttLong, ttLong},
};

} // namespace

TEST(DngPixelBuffer, CopyAreaMatchesPlainCopy) {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> pick(0, 1 << 20);
    for (int trial = 0; trial < 300; ++trial) {
        const auto& pair = kPairs[trial % std::size(kPairs)];
        const int32_t top = pick(rng) % 7 - 3, left = pick(rng) % 7 - 3;
        const dng_rect bounds(top, left, top + 1 + pick(rng) % 9, left + 1 + pick(rng) % 11);
        const uint32_t planes = 1 + pick(rng) % 4;
        OwnedBuffer src(bounds, planes, pair[0], kConfigs[pick(rng) % 4], pick(rng) % 2, pick(rng) % 2);
        OwnedBuffer dst(bounds, planes + 1, pair[1], kConfigs[pick(rng) % 4], pick(rng) % 2, pick(rng) % 2);
        Fill(src.buffer, rng);
        Fill(dst.buffer, rng);
        const OwnedBuffer before = dst;

        const int32_t h = int32_t(bounds.H()), w = int32_t(bounds.W());
        const int32_t t = bounds.t + pick(rng) % h, l = bounds.l + pick(rng) % w;
        const dng_rect area(t, l, t + 1 + pick(rng) % (bounds.b - t), l + 1 + pick(rng) % (bounds.r - l));
        const uint32_t copyPlanes = 1 + pick(rng) % planes;
        const uint32_t srcPlane = pick(rng) % (planes - copyPlanes + 1);
        const uint32_t dstPlane = pick(rng) % (planes + 1 - copyPlanes + 1);
        dst.buffer.CopyArea(src.buffer, area, srcPlane, dstPlane, copyPlanes);

        for (int32_t r = bounds.t; r < bounds.b; ++r)
            for (int32_t c = bounds.l; c < bounds.r; ++c)
                for (uint32_t p = 0; p < planes + 1; ++p) {
                    const bool inside = r >= area.t && r < area.b && c >= area.l && c < area.r &&
                                        p >= dstPlane && p < dstPlane + copyPlanes;
                    const double expected =
                        inside ? Expected(Read(src.buffer, r, c, p - dstPlane + srcPlane), pair[0], pair[1])
                               : Read(before.buffer, r, c, p);
                    ASSERT_EQ(Read(dst.buffer, r, c, p), expected)
                        << "trial " << trial << " types " << pair[0] << "->" << pair[1] << " at " << r << ","
                        << c << "," << p;
                }
    }
}

namespace {
uint32_t gCopyBytesCalls = 0;
uint32_t gCopyBytesCount = 0;
void SpyCopyBytes(const void* s, void* d, uint32_t count) {
    ++gCopyBytesCalls;
    gCopyBytesCount = count;
    std::memmove(d, s, count);
}
} // namespace

TEST(DngPixelBuffer, ContiguousCopyIsOneRun) {
    const uint32_t rows = 7;
    OwnedBuffer a(dng_rect(rows, 100u), 3, ttShort, dng_pixel_buffer::interleaved);
    OwnedBuffer b(dng_rect(rows, 100u), 3, ttShort, dng_pixel_buffer::interleaved);
    EXPECT_EQ(a.buffer.rowStep, 300);
    EXPECT_EQ(a.buffer.colStep, 3);
    EXPECT_EQ(a.buffer.planeStep, 1);

    const auto saved = gKernelSuite.SuiteCopyBytes;
    gKernelSuite.SuiteCopyBytes = SpyCopyBytes;
    gCopyBytesCalls = 0;
    b.buffer.CopyArea(a.buffer, a.buffer.area, 0, 0, 3);
    gKernelSuite.SuiteCopyBytes = saved;
    EXPECT_EQ(gCopyBytesCalls, 1u);
    EXPECT_EQ(gCopyBytesCount, 600u * rows);
}

TEST(DngPixelBuffer, LayoutsAndTheirErrors) {
    const dng_pixel_buffer padded(dng_rect(4u, 10u), 0, 3, ttShort, dng_pixel_buffer::rowInterleavedPadded,
                                  nullptr);
    EXPECT_EQ(padded.colStep, 1);
    EXPECT_EQ(padded.planeStep, 16);
    EXPECT_EQ(padded.rowStep, 48);
    const dng_pixel_buffer planar(dng_rect(4u, 10u), 0, 3, ttFloat, dng_pixel_buffer::planar, nullptr);
    EXPECT_EQ(planar.planeStep, 40);
    EXPECT_EQ(planar.pixelSize, 4u);

    EXPECT_DNG_ERROR(dng_pixel_buffer(dng_rect(4u, 10u), 0, 3, ttShort, 3, nullptr), dng_error_unknown);
    EXPECT_DNG_ERROR(
        dng_pixel_buffer(dng_rect(65536u, 65536u), 0, 1, ttShort, dng_pixel_buffer::planar, nullptr),
        dng_error_overflow);
    EXPECT_DNG_ERROR(dng_pixel_buffer(dng_rect(1u, 0x7FFFFFF0u), 0, 1, ttByte,
                                      dng_pixel_buffer::rowInterleavedPadded, nullptr),
                     dng_error_overflow);
    EXPECT_DNG_ERROR(
        dng_pixel_buffer(dng_rect(1u, 0x40000000u), 0, 2, ttByte, dng_pixel_buffer::interleaved, nullptr),
        dng_error_overflow);
}

TEST(DngPixelBuffer, ZeroAndConstantFill) {
    OwnedBuffer s16(dng_rect(3u, 4u), 2, ttSShort, dng_pixel_buffer::planar);
    s16.buffer.SetAreaZero(s16.buffer.area, 0, 2);
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t c = 0; c < 4; ++c)
            EXPECT_EQ(*s16.buffer.ConstPixelAs<uint16_t>(r, c, 1), 0x8000);

    OwnedBuffer f(dng_rect(2u, 2u), 1, ttFloat, dng_pixel_buffer::interleaved);
    std::mt19937 rng(5);
    Fill(f.buffer, rng);
    f.buffer.SetAreaZero(f.buffer.area, 0, 1);
    EXPECT_EQ(*f.buffer.ConstPixelAs<float>(1, 1), 0.0f);

    OwnedBuffer bytes(dng_rect(3u, 3u), 1, ttByte, dng_pixel_buffer::interleaved);
    bytes.buffer.SetAreaConstant(bytes.buffer.area, 0, 1, 0x1FF);
    bytes.buffer.SetAreaConstant(dng_rect(1, 1, 1, 3), 0, 1, 7); // empty area
    EXPECT_EQ(*bytes.buffer.ConstPixelAs<uint8_t>(1, 1), 0xFF) << "the value is cut to the sample size";

    OwnedBuffer doubles(dng_rect(2u, 2u), 1, ttDouble, dng_pixel_buffer::interleaved);
    EXPECT_DNG_ERROR(doubles.buffer.SetAreaZero(doubles.buffer.area, 0, 1), dng_error_not_yet_implemented);
    OwnedBuffer shorts(dng_rect(2u, 2u), 1, ttShort, dng_pixel_buffer::interleaved);
    EXPECT_DNG_ERROR(shorts.buffer.CopyArea(doubles.buffer, shorts.buffer.area, 0, 0, 1),
                     dng_error_not_yet_implemented);
}

TEST(DngPixelBuffer, NamedConversionCases) {
    OwnedBuffer floats(dng_rect(1u, 4u), 1, ttFloat, dng_pixel_buffer::interleaved);
    const float in[4] = {-0.5f, std::nanf(""), 1.7f, 0.5f};
    std::memcpy(floats.buffer.data, in, sizeof(in));
    OwnedBuffer bytes(dng_rect(1u, 4u), 1, ttByte, dng_pixel_buffer::interleaved);
    bytes.buffer.CopyArea(floats.buffer, floats.buffer.area, 0, 0, 1);
    const uint8_t* out = static_cast<const uint8_t*>(bytes.buffer.data);
    EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{0, 0, 255, 128}));

    OwnedBuffer shorts(dng_rect(1u, 1u), 1, ttShort, dng_pixel_buffer::interleaved);
    *static_cast<uint16_t*>(shorts.buffer.data) = 0x1234;
    bytes.buffer.CopyArea(shorts.buffer, shorts.buffer.area, 0, 0, 1);
    EXPECT_EQ(out[0], 0x34);

    EXPECT_FALSE(bytes.buffer.EqualArea(shorts.buffer, shorts.buffer.area, 0, 1)) << "types differ";
}

TEST(DngPixelBuffer, RepeatAreaAndPhase) {
    EXPECT_EQ(dng_pixel_buffer::RepeatPhase(dng_rect(10, 10, 14, 13), dng_rect(7, 20, 9, 30)),
              dng_point(1, 1));
    EXPECT_EQ(dng_pixel_buffer::RepeatPhase(dng_rect(10, 10, 10, 13), dng_rect(7, 20, 9, 30)),
              dng_point(0, 0));

    OwnedBuffer b(dng_rect(6u, 6u), 1, ttShort, dng_pixel_buffer::interleaved);
    for (int32_t r = 0; r < 6; ++r)
        for (int32_t c = 0; c < 6; ++c)
            *b.buffer.DirtyPixelAs<uint16_t>(r, c) = uint16_t(r * 10 + c);
    const OwnedBuffer before = b;
    b.buffer.RepeatArea(dng_rect(2, 2, 2, 4), b.buffer.area); // empty source: nothing happens
    EXPECT_TRUE(b.buffer.EqualArea(before.buffer, b.buffer.area, 0, 1));

    b.buffer.RepeatArea(dng_rect(2, 2, 4, 5), dng_rect(0, 0, 6, 6));
    for (int32_t r = 0; r < 6; ++r)
        for (int32_t c = 0; c < 6; ++c) {
            const int32_t sr = 2 + (r - 2 + 6) % 2, sc = 2 + (c - 2 + 9) % 3;
            EXPECT_EQ(*b.buffer.ConstPixelAs<uint16_t>(r, c), sr * 10 + sc) << r << "," << c;
        }
}

TEST(DngPixelBuffer, ShiftAndCompare) {
    OwnedBuffer a(dng_rect(2u, 3u), 2, ttShort, dng_pixel_buffer::rowInterleaved, true);
    a.buffer.SetAreaConstant(a.buffer.area, 0, 2, 0xF0F0);
    a.buffer.ShiftRight16(4);
    EXPECT_EQ(*a.buffer.ConstPixelAs<uint16_t>(1, 2, 1), 0x0F0F);

    OwnedBuffer b(dng_rect(2u, 3u), 2, ttShort, dng_pixel_buffer::planar);
    b.buffer.CopyArea(a.buffer, a.buffer.area, 0, 0, 2);
    EXPECT_TRUE(b.buffer.EqualArea(a.buffer, a.buffer.area, 0, 2));
    *b.buffer.DirtyPixelAs<uint16_t>(1, 1, 1) = 1;
    EXPECT_FALSE(b.buffer.EqualArea(a.buffer, a.buffer.area, 0, 2));
    EXPECT_TRUE(b.buffer.EqualArea(a.buffer, dng_rect(0, 0, 1, 3), 0, 2));

    OwnedBuffer f(dng_rect(1u, 1u), 1, ttFloat, dng_pixel_buffer::planar);
    EXPECT_DNG_ERROR(f.buffer.ShiftRight16(1), dng_error_not_yet_implemented);
}
