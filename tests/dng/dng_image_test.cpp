#include "dng/dng_exceptions.h"
#include "dng/dng_memory.h"
#include "dng/dng_orientation.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_tile_buffer.h"

#include "DngErrorMatchers.h"

#include <vector>

namespace {

constexpr uint16_t kUntouched = 0xBEEF;

uint16_t Sample(int32_t row, int32_t col, uint32_t plane) {
    return uint16_t(1000 * plane + 100 * (row + 10) + (col + 10));
}

// A 16-bit image whose samples encode their own position.
std::unique_ptr<dng_simple_image> MakeImage(const dng_rect& bounds, uint32_t planes) {
    auto image = std::make_unique<dng_simple_image>(bounds, planes, ttShort, gDefaultDNGMemoryAllocator);
    dng_dirty_tile_buffer tile(*image, bounds);
    for (int32_t r = bounds.t; r < bounds.b; ++r)
        for (int32_t c = bounds.l; c < bounds.r; ++c)
            for (uint32_t p = 0; p < planes; ++p)
                *tile.DirtyPixelAs<uint16_t>(r, c, p) = Sample(r, c, p);
    return image;
}

// A caller's buffer with its own storage, prefilled with a marker.
struct CallerBuffer {
    std::vector<uint16_t> storage;
    dng_pixel_buffer buffer;
    CallerBuffer(const dng_rect& area, uint32_t planes, uint32_t plane = 0)
        : storage(std::size_t(area.W()) * area.H() * planes, kUntouched) {
        buffer =
            dng_pixel_buffer(area, plane, planes, ttShort, dng_pixel_buffer::interleaved, storage.data());
    }
    uint16_t At(int32_t r, int32_t c, uint32_t p) const { return *buffer.ConstPixelAs<uint16_t>(r, c, p); }
};

TEST(DngImage, ConstructorChecks) {
    EXPECT_DNG_ERROR(dng_simple_image(dng_rect(0, 0, 0, 5), 1, ttShort, gDefaultDNGMemoryAllocator),
                     dng_error_bad_format);
    EXPECT_DNG_ERROR(dng_simple_image(dng_rect(2, 2), 0, ttShort, gDefaultDNGMemoryAllocator),
                     dng_error_bad_format);
    EXPECT_DNG_ERROR(dng_simple_image(dng_rect(2, 2), 1, 99, gDefaultDNGMemoryAllocator),
                     dng_error_bad_format);
    EXPECT_DNG_ERROR(dng_image(dng_rect(130001, 1), 1, ttByte), dng_error_bad_format);
    EXPECT_DNG_ERROR(dng_image(dng_rect(1, 130001), 1, ttByte), dng_error_bad_format);
    EXPECT_NO_THROW(dng_image(dng_rect(130000, 130000), 1, ttByte));
}

TEST(DngImage, PixelRangeByType) {
    const struct {
        uint32_t type;
        uint32_t range;
    } cases[] = {{ttByte, 255}, {ttSByte, 255}, {ttShort, 65535}, {ttSShort, 65535},
                 {ttLong, ~0u}, {ttSLong, ~0u}, {ttFloat, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(dng_image(dng_rect(1, 1), 1, c.type).PixelRange(), c.range) << c.type;
}

TEST(DngImage, BaseRejectsWhatItCannotDo) {
    dng_image image(dng_rect(2, 3), 1, ttShort);
    EXPECT_DNG_ERROR(delete image.Clone(), dng_error_unknown);
    EXPECT_DNG_ERROR(image.SetPixelType(ttLong), dng_error_unknown);
    EXPECT_NO_THROW(image.SetPixelType(ttSShort));
    EXPECT_EQ(image.PixelType(), uint32_t(ttSShort));
    EXPECT_NO_THROW(image.Trim(dng_rect(2, 3)));
    EXPECT_DNG_ERROR(image.Trim(dng_rect(1, 3)), dng_error_unknown);
    EXPECT_DNG_ERROR(image.Rotate(dng_orientation(dng_orientation::kRotate180)), dng_error_unknown);
    EXPECT_DNG_ERROR(dng_const_tile_buffer(image, dng_rect(1, 1)), dng_error_unknown);
}

TEST(DngImage, GetInsideAndEdgeNoneLeavesOutsideUntouched) {
    auto image = MakeImage(dng_rect(3, 4, 8, 9), 2);
    CallerBuffer out(dng_rect(2, 3, 9, 10), 2);
    image->Get(out.buffer);
    for (int32_t r = 2; r < 9; ++r)
        for (int32_t c = 3; c < 10; ++c)
            for (uint32_t p = 0; p < 2; ++p) {
                const bool inside = r >= 3 && r < 8 && c >= 4 && c < 9;
                EXPECT_EQ(out.At(r, c, p), inside ? Sample(r, c, p) : kUntouched) << r << "," << c;
            }
}

TEST(DngImage, EdgeRepeatReplicatesBordersAndCorners) {
    const dng_rect bounds(0, 0, 3, 5);
    auto image = MakeImage(bounds, 1);
    CallerBuffer out(dng_rect(-1, -1, 4, 6), 1);
    image->Get(out.buffer, dng_image::edge_repeat);
    for (int32_t r = -1; r < 4; ++r)
        for (int32_t c = -1; c < 6; ++c)
            EXPECT_EQ(out.At(r, c, 0), Sample(std::clamp(r, 0, 2), std::clamp(c, 0, 4), 0)) << r << "," << c;
}

TEST(DngImage, EdgeRepeatWithWiderStripRepeatsPeriodically) {
    // Two rows repeat below the image with period two, far from the buffer's own rows.
    auto image = MakeImage(dng_rect(0, 0, 4, 2), 1);
    CallerBuffer out(dng_rect(6, 0, 11, 2), 1);
    image->Get(out.buffer, dng_image::edge_repeat, 2, 1);
    for (int32_t r = 6; r < 11; ++r)
        for (int32_t c = 0; c < 2; ++c)
            EXPECT_EQ(out.At(r, c, 0), Sample(2 + (r % 2), c, 0)) << r;
}

TEST(DngImage, OversizedRepeatStripStaysInsideTheImage) {
    auto image = MakeImage(dng_rect(2, 2), 1);
    CallerBuffer out(dng_rect(0, 0, 2, 6), 1);
    image->Get(out.buffer, dng_image::edge_repeat, 50, 50);
    for (int32_t c = 2; c < 6; ++c)
        EXPECT_EQ(out.At(1, c, 0), Sample(1, c % 2, 0)) << c;
}

TEST(DngImage, EdgeZeroAndRepeatZeroLast) {
    auto image = MakeImage(dng_rect(2, 2), 4);
    CallerBuffer zero(dng_rect(0, 0, 2, 3), 4);
    image->Get(zero.buffer, dng_image::edge_zero);
    for (uint32_t p = 0; p < 4; ++p)
        EXPECT_EQ(zero.At(0, 2, p), 0);

    CallerBuffer last(dng_rect(0, 0, 2, 3), 4);
    image->Get(last.buffer, dng_image::edge_repeat_zero_last);
    for (uint32_t p = 0; p < 3; ++p)
        EXPECT_EQ(last.At(1, 2, p), Sample(1, 1, p));
    EXPECT_EQ(last.At(1, 2, 3), 0);

    auto single = MakeImage(dng_rect(2, 2), 1);
    CallerBuffer one(dng_rect(0, 0, 2, 3), 1);
    single->Get(one.buffer, dng_image::edge_repeat_zero_last);
    EXPECT_EQ(one.At(0, 2, 0), 0);
    EXPECT_EQ(one.At(0, 1, 0), Sample(0, 1, 0));
}

TEST(DngImage, UnknownEdgeOptionFails) {
    auto image = MakeImage(dng_rect(2, 2), 1);
    CallerBuffer out(dng_rect(0, 0, 2, 3), 1);
    EXPECT_DNG_ERROR(image->Get(out.buffer, dng_image::edge_option(7)), dng_error_unknown);
}

TEST(DngImage, PutClipsToBoundsAndPlanes) {
    struct Case {
        uint32_t plane;
        uint32_t planes;
        std::vector<bool> written;
    } cases[] = {{3, 1, {false, false, false}}, {1, 3, {false, true, true}}, {0, 3, {true, true, true}}};
    for (const auto& k : cases) {
        auto image =
            std::make_unique<dng_simple_image>(dng_rect(2, 2), 3, ttShort, gDefaultDNGMemoryAllocator);
        image->SetConstant(7, image->Bounds());
        CallerBuffer in(dng_rect(-1, -1, 3, 3), k.planes, k.plane);
        std::fill(in.storage.begin(), in.storage.end(), uint16_t(42));
        image->Put(in.buffer);
        CallerBuffer out(image->Bounds(), 3);
        image->Get(out.buffer);
        for (uint32_t p = 0; p < 3; ++p)
            EXPECT_EQ(out.At(1, 1, p), k.written[p] ? 42 : 7) << k.plane << " " << p;
    }
}

TEST(DngImage, CopyAreaConvertsAndEqualAreaCompares) {
    auto a = MakeImage(dng_rect(3, 3), 2);
    auto b = std::make_unique<dng_simple_image>(dng_rect(3, 3), 2, ttShort, gDefaultDNGMemoryAllocator);
    b->SetConstant(0, b->Bounds());
    EXPECT_FALSE(a->EqualArea(*b, a->Bounds(), 0, 2));
    b->CopyArea(*a, dng_rect(-5, -5, 10, 10), 0, 0, 2);
    EXPECT_TRUE(a->EqualArea(*b, a->Bounds(), 0, 2));
    b->CopyArea(*b, b->Bounds(), 0, 1, 1);
    EXPECT_TRUE(b->EqualArea(*b, b->Bounds(), 0, 2));

    auto f = std::make_unique<dng_simple_image>(dng_rect(1, 1), 1, ttFloat, gDefaultDNGMemoryAllocator);
    auto s = std::make_unique<dng_simple_image>(dng_rect(1, 1), 1, ttShort, gDefaultDNGMemoryAllocator);
    s->SetConstant(65535, s->Bounds());
    f->CopyArea(*s, f->Bounds(), 0, 0, 1);
    EXPECT_FLOAT_EQ(*dng_const_tile_buffer(*f, f->Bounds()).ConstPixelAs<float>(0, 0), 1.0f);
}

TEST(DngImage, CloneCopiesContent) {
    auto a = MakeImage(dng_rect(1, 2, 4, 7), 3);
    std::unique_ptr<dng_image> copy(a->Clone());
    EXPECT_EQ(copy->Bounds(), a->Bounds());
    EXPECT_TRUE(copy->EqualArea(*a, a->Bounds(), 0, 3));
    copy->SetConstant(1, copy->Bounds());
    EXPECT_FALSE(copy->EqualArea(*a, a->Bounds(), 0, 3));
}

TEST(DngSimpleImage, TrimMovesOriginToZero) {
    auto image = MakeImage(dng_rect(0, 0, 30, 30), 1);
    image->Trim(dng_rect(5, 7, 25, 27));
    EXPECT_EQ(image->Bounds(), dng_rect(0, 0, 20, 20));
    CallerBuffer out(image->Bounds(), 1);
    image->Get(out.buffer);
    EXPECT_EQ(out.At(0, 0, 0), Sample(5, 7, 0));
    EXPECT_EQ(out.At(19, 19, 0), Sample(24, 26, 0));
    EXPECT_DNG_ERROR(image->Trim(dng_rect(10, 10, 30, 30)), dng_error_unknown);
}

TEST(DngSimpleImage, RotateReadsBackReoriented) {
    // Source (row, col) of each output pixel of a 2 by 3 image, per orientation.
    const int32_t H = 2, W = 3;
    struct Case {
        uint32_t code;
        bool transposed;
    } cases[] = {{dng_orientation::kNormal, false},    {dng_orientation::kRotate90CW, true},
                 {dng_orientation::kRotate180, false}, {dng_orientation::kRotate90CCW, true},
                 {dng_orientation::kMirror, false},    {dng_orientation::kMirror90CW, true},
                 {dng_orientation::kMirror180, false}, {dng_orientation::kMirror90CCW, true}};
    for (const auto& k : cases) {
        auto image = MakeImage(dng_rect(H, W), 1);
        const void* before = dng_const_tile_buffer(*image, image->Bounds()).ConstPixel(0, 0);
        const dng_orientation o(k.code);
        image->Rotate(o);
        EXPECT_EQ(image->Bounds(), k.transposed ? dng_rect(W, H) : dng_rect(H, W)) << k.code;
        CallerBuffer out(image->Bounds(), 1);
        image->Get(out.buffer);
        for (int32_t r = 0; r < int32_t(image->Height()); ++r)
            for (int32_t c = 0; c < int32_t(image->Width()); ++c) {
                // Undo the diagonal flip, then the vertical and horizontal ones.
                int32_t sr = k.transposed ? c : r;
                int32_t sc = k.transposed ? r : c;
                if (o.FlipsVertically()) sr = H - 1 - sr;
                if (o.FlipsHorizontally()) sc = W - 1 - sc;
                EXPECT_EQ(out.At(r, c, 0), Sample(sr, sc, 0)) << k.code << " " << r << "," << c;
            }
        if (!o.FlipsHorizontally() && !o.FlipsVertically()) {
            EXPECT_EQ(dng_const_tile_buffer(*image, image->Bounds()).ConstPixel(0, 0), before);
        }
        if (k.code == dng_orientation::kRotate90CW) {
            // A quarter turn clockwise: the first output row is the first column read bottom-up.
            EXPECT_EQ(out.At(0, 0, 0), Sample(1, 0, 0));
            EXPECT_EQ(out.At(0, 1, 0), Sample(0, 0, 0));
            EXPECT_EQ(out.At(2, 0, 0), Sample(1, 2, 0));
        }
    }
}

TEST(DngSimpleImage, TileBufferCoversRequestedAreaInOnePiece) {
    auto image = MakeImage(dng_rect(-3, -2, 7, 9), 2);
    EXPECT_EQ(image->RepeatingTile(), image->Bounds());
    dng_const_tile_buffer tile(*image, dng_rect(0, 1, 5, 8));
    EXPECT_FALSE(tile.dirty);
    EXPECT_EQ(&tile.Image(), image.get());
    EXPECT_EQ(*tile.ConstPixelAs<uint16_t>(0, 1, 1), Sample(0, 1, 1));
    EXPECT_EQ(*tile.ConstPixelAs<uint16_t>(4, 7, 0), Sample(4, 7, 0));
    EXPECT_TRUE(dng_dirty_tile_buffer(*image, dng_rect(1, 1)).dirty);
}

} // namespace
