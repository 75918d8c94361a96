#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "engine/core/BitmapImage.h"
#include "engine/core/ImageBufferF32.h"
#include "engine/core/ImageBufferU16.h"

namespace {

using platform::Rect;

// Pixel (r, c) of a test image holds (c, r, c + r, 7) in its first four samples.
void fillU16(ImageBufferU16& b) {
    for (size_t r = 0; r < b.imageHeight(); ++r)
        for (size_t c = 0; c < b.imageWidth(); ++c) {
            uint16_t* p = b.bufferU16ForRow(r, c);
            p[0] = uint16_t(c), p[1] = uint16_t(r), p[2] = uint16_t(c + r), p[3] = 7;
        }
}

void fillF32(ImageBufferF32& b) {
    for (size_t r = 0; r < b.imageHeight(); ++r)
        for (size_t c = 0; c < b.imageWidth(); ++c) {
            float* p = b.bufferFloatForRow(r, c);
            p[0] = float(c), p[1] = float(r), p[2] = float(c + r), p[3] = 7;
        }
}

class FixedProfile : public BufferProfile {
  public:
    std::shared_ptr<const platform::ColorSpace> cgColorSpace() override { return space; }
    std::shared_ptr<const platform::ColorSpace> space = platform::ColorSpace::fromICC({1, 2, 3}, "fixed");
};

TEST(ImageBuffer, SizesAndStorageOfEachType) {
    auto u16 = ImageBufferU16::create(100, 50);
    auto f32 = ImageBufferF32::create(100, 50);
    ASSERT_TRUE(u16 && f32);
    EXPECT_FALSE(u16->isFloat());
    EXPECT_TRUE(f32->isFloat());
    EXPECT_EQ(u16->rowStepInBytes(), 800u);
    EXPECT_EQ(u16->bitmapData()->length(), 40000u);
    EXPECT_EQ(f32->rowStepInBytes(), 1600u);
    EXPECT_EQ(f32->bitmapData()->length(), 80000u);
    EXPECT_EQ(u16->cropOffset(), 0u);
    EXPECT_EQ(u16->extent(), (Rect{0, 0, 100, 50}));
    // Each type answers only for its own samples.
    EXPECT_EQ(u16->bufferFloatForRow(0), nullptr);
    EXPECT_EQ(f32->bufferU16ForRow(0), nullptr);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(f32->bufferFloatForRow(2, 3)),
              f32->bitmapData()->bytes() + 2 * 1600 + 3 * 16);
}

TEST(ImageBuffer, GivenStorageIsViewedAndMustBeLargeEnough) {
    auto storage = FileBackedFactoryNSData::create(10 * 10 * 8, false);
    auto view = ImageBufferU16::create(10, 10, storage);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->bitmapData(), storage);
    EXPECT_FALSE(ImageBufferU16::create(11, 10, storage));
    EXPECT_FALSE(ImageBufferF32::create(10, 10, storage));
}

struct ConversionCase {
    uint16_t u16;
    float f32;
};

TEST(ImageBuffer, SixteenBitToFloatUsesWhiteAt65325) {
    const ConversionCase cases[] = {
        {0, 0.0f}, {65325, 1.0f}, {65535, 65535.0f / 65325.0f}, {32000, 32000.0f / 65325.0f}};
    auto src = ImageBufferU16::create(4, 1);
    for (size_t i = 0; i < 4; ++i)
        src->bufferU16ForRow(0, i)[0] = cases[i].u16;
    auto f = ImageBufferF32::createWithCopyFrom(*src);
    ASSERT_TRUE(f);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(f->bufferFloatForRow(0, i)[0], cases[i].f32, 1e-6) << i;
    EXPECT_NEAR(f->bufferFloatForRow(0, 2)[0], 1.00321f, 1e-5);
}

TEST(ImageBuffer, FloatToSixteenBitSaturates) {
    const ConversionCase cases[] = {{65325, 1.0f},
                                    {65535, 2.0f},
                                    {0, -0.5f},
                                    {16331, 0.25f},
                                    {0, std::numeric_limits<float>::quiet_NaN()},
                                    {65535, std::numeric_limits<float>::infinity()}};
    const size_t n = std::size(cases);
    auto src = ImageBufferF32::create(uint16_t(n), 1);
    for (size_t i = 0; i < n; ++i)
        src->bufferFloatForRow(0, i)[1] = cases[i].f32;
    auto u = ImageBufferU16::createWithCopyFrom(*src);
    ASSERT_TRUE(u);
    for (size_t i = 0; i < n; ++i)
        EXPECT_EQ(u->bufferU16ForRow(0, i)[1], cases[i].u16) << i;
}

TEST(ImageBuffer, CopyKeepsProfileAndPixelsButNotTheValidRegion) {
    auto profile = std::make_shared<FixedProfile>();
    auto src = ImageBufferU16::create(5, 4, nullptr, profile);
    fillU16(*src);
    src->setValidRegion({1, 1, 2, 2});
    auto copy = ImageBufferU16::createWithCopyFrom(*src);
    ASSERT_TRUE(copy);
    EXPECT_NE(copy->bitmapData(), src->bitmapData());
    EXPECT_EQ(copy->bufferProfile(), profile);
    EXPECT_EQ(copy->validRegion(), Rect{});
    EXPECT_EQ(std::memcmp(copy->bitmapData()->bytes(), src->bitmapData()->bytes(), 5 * 4 * 8), 0);
}

TEST(ImageBuffer, CopiesOfCropsReadTheCropsOwnRows) {
    auto src = ImageBufferF32::create(8, 6);
    fillF32(*src);
    for (size_t r = 0; r < 6; ++r)
        for (size_t c = 0; c < 8; ++c)
            src->bufferFloatForRow(r, c)[2] = float(c) / 8;
    auto crop = src->croppedImageFromBuffer({2, 1, 3, 4});
    ASSERT_TRUE(crop);
    auto sameType = ImageBufferF32::createWithCopyFrom(*crop);
    auto converted = ImageBufferU16::createWithCopyFrom(*crop);
    ASSERT_TRUE(sameType && converted);
    EXPECT_EQ(sameType->rowStepInBytes(), 3u * 16);
    for (size_t r = 0; r < 4; ++r)
        for (size_t c = 0; c < 3; ++c) {
            EXPECT_EQ(sameType->bufferFloatForRow(r, c)[0], float(c + 2));
            EXPECT_EQ(sameType->bufferFloatForRow(r, c)[1], float(r + 1));
            EXPECT_EQ(converted->bufferU16ForRow(r, c)[2], uint16_t(std::lround((c + 2) * 65325 / 8.0)));
        }
}

TEST(ImageBuffer, CropIsAViewOnTheSameStorage) {
    auto src = ImageBufferU16::create(100, 50);
    fillU16(*src);
    auto crop = src->croppedImageFromBuffer({10, 20, 30, 15});
    ASSERT_TRUE(crop);
    EXPECT_EQ(crop->bitmapData(), src->bitmapData());
    EXPECT_EQ(crop->cropOffset(), 20u * 800 + 10 * 8);
    EXPECT_EQ(crop->rowStepInBytes(), 800u);
    EXPECT_EQ(crop->imageWidth(), 30);
    EXPECT_EQ(crop->imageHeight(), 15);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(crop->bufferU16ForRow(0)), src->bitmapData()->bytes() + 16080);

    // Crops of crops add their offsets, and writes through a crop land in the source.
    auto inner = crop->croppedImageFromBuffer({1, 2, 5, 5});
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->cropOffset(), 16080u + 2 * 800 + 1 * 8);
    inner->bufferU16ForRow(0, 0)[0] = 999;
    EXPECT_EQ(src->bufferU16ForRow(22, 11)[0], 999);

    // The storage outlives the buffer that made it.
    auto storage = src->bitmapData().get();
    src.reset();
    EXPECT_EQ(crop->bitmapData().get(), storage);
    EXPECT_EQ(crop->bufferU16ForRow(0, 0)[1], 20);
}

struct CropCase {
    Rect rect;
    Rect u16; // the crop's (x, y, width, height); x, y read back from the offset
    Rect f32;
};

TEST(ImageBuffer, CropRectanglesAreClippedAndTruncated) {
    const CropCase cases[] = {
        // half a pixel wide at x = 50: 16-bit widens to a pixel one column left, float stays empty
        {{50, 10, 0.5, 5}, {49, 10, 1, 5}, {50, 10, 0, 5}},
        {{50, 10, 5, 0.5}, {50, 9, 5, 1}, {50, 10, 5, 0}},
        // near the left edge no widening happens
        {{0.5, 3, 0.5, 5}, {0, 3, 0, 5}, {0, 3, 0, 5}},
        {{-10, -10, 20, 15}, {0, 0, 10, 5}, {0, 0, 10, 5}},
        {{95.5, 45.7, 10, 10}, {95, 45, 4, 4}, {95, 45, 4, 4}},
        {Rect::infinite(), {0, 0, 100, 50}, {0, 0, 100, 50}},
    };
    auto u16 = ImageBufferU16::create(100, 50);
    auto f32 = ImageBufferF32::create(100, 50);
    for (const auto& k : cases) {
        auto cu = u16->croppedImageFromBuffer(k.rect);
        auto cf = f32->croppedImageFromBuffer(k.rect);
        ASSERT_TRUE(cu && cf);
        auto placed = [](const ImageBuffer& b) {
            uint64_t px = b.cropOffset() / b.bytesPerPixel();
            return Rect{double(px % 100), double(px / 100), double(b.imageWidth()), double(b.imageHeight())};
        };
        EXPECT_EQ(placed(*cu), k.u16) << k.rect.x << "," << k.rect.y;
        EXPECT_EQ(placed(*cf), k.f32) << k.rect.x << "," << k.rect.y;
    }
    EXPECT_FALSE(u16->croppedImageFromBuffer({200, 0, 10, 10}));
    EXPECT_FALSE(f32->croppedImageFromBuffer(Rect::null()));
    EXPECT_FALSE(u16->croppedImageFromBuffer({std::nan(""), 0, 10, 10}));
}

TEST(ImageBuffer, ValidRegionTravelsWithCropsAndResizesUnchanged) {
    auto profile = std::make_shared<FixedProfile>();
    auto src = ImageBufferU16::create(64, 32, nullptr, profile);
    src->setValidRegion({0, 0, 64, 16});
    auto crop = src->croppedImageFromBuffer({8, 8, 16, 16});
    auto half = src->resizedImageFromBuffer(32, 16);
    auto same = src->resizedImageFromBuffer(64, 32);
    ASSERT_TRUE(crop && half && same);
    for (const auto& b : {crop, half, same}) {
        EXPECT_EQ(b->validRegion(), (Rect{0, 0, 64, 16}));
        EXPECT_EQ(b->bufferProfile(), profile);
    }
    EXPECT_NE(same->bitmapData(), src->bitmapData());
    EXPECT_EQ(crop->bufferProfileAs<FixedProfile>(), profile);
}

TEST(ImageBuffer, ResizingKeepsFlatAreasFlatAndAverages) {
    auto u = ImageBufferU16::create(40, 30);
    auto f = ImageBufferF32::create(40, 30);
    for (size_t r = 0; r < 30; ++r)
        for (size_t c = 0; c < 40; ++c)
            for (int k = 0; k < 4; ++k) {
                u->bufferU16ForRow(r, c)[k] = 65535;
                f->bufferFloatForRow(r, c)[k] = c < 20 ? 0.0f : 1.0f;
            }
    for (auto [w, h] : {std::pair{20, 15}, std::pair{97, 61}, std::pair{1, 1}}) {
        auto small = u->resizedImageFromBuffer(uint16_t(w), uint16_t(h));
        ASSERT_TRUE(small);
        ASSERT_EQ(small->imageWidth(), w);
        for (size_t r = 0; r < size_t(h); ++r)
            for (size_t c = 0; c < size_t(w); ++c)
                ASSERT_EQ(small->bufferU16ForRow(r, c)[0], 65535) << w;
    }
    // A black-to-white step stays black far left, white far right, and balanced overall.
    auto step = f->resizedImageFromBuffer(10, 5);
    ASSERT_TRUE(step);
    EXPECT_NEAR(step->bufferFloatForRow(2, 0)[0], 0.0f, 1e-3);
    EXPECT_NEAR(step->bufferFloatForRow(2, 9)[0], 1.0f, 1e-3);
    double red, green, blue, alpha;
    ASSERT_TRUE(step->sampleValues(5, 2, 10, red, green, blue, alpha));
    EXPECT_NEAR(red, 0.5, 1e-3);
    EXPECT_FALSE(u->resizedImageFromBuffer(0, 10));
}

TEST(ImageBuffer, SampleValuesAverageTheClippedPatch) {
    auto u = ImageBufferU16::create(6, 5);
    auto f = ImageBufferF32::create(6, 5);
    fillU16(*u);
    fillF32(*f);
    double red, green, blue, alpha;
    // Patch 5 at (0, 0): columns and rows 0 to 2; mean column 1, mean row 1.
    ASSERT_TRUE(f->sampleValues(0, 0, 5, red, green, blue, alpha));
    EXPECT_DOUBLE_EQ(red, 1.0);
    EXPECT_DOUBLE_EQ(green, 1.0);
    EXPECT_DOUBLE_EQ(blue, 2.0);
    EXPECT_DOUBLE_EQ(alpha, 7.0);
    // 16-bit samples count as value / 65535; patch 3 at (5, 4): columns 4-5, rows 3-4.
    ASSERT_TRUE(u->sampleValues(5, 4, 3, red, green, blue, alpha));
    EXPECT_DOUBLE_EQ(red, 4.5 / 65535);
    EXPECT_DOUBLE_EQ(green, 3.5 / 65535);
    // A patch entirely outside leaves the outputs alone.
    red = -1;
    EXPECT_FALSE(u->sampleValues(100, 100, 3, red, green, blue, alpha));
    EXPECT_EQ(red, -1);
}

TEST(ImageBuffer, EngineListSharesInPlaceWithUpTo32Engines) {
    auto b = ImageBufferU16::create(4, 4);
    std::vector<int> engines(34);
    auto engine = [&](size_t i) { return reinterpret_cast<const TiledEngine*>(&engines[i]); };
    for (size_t i = 0; i < 32; ++i)
        EXPECT_FALSE(b->testReadOnlyAndAddtoEngineList(engine(i))) << i;
    EXPECT_TRUE(b->testReadOnlyAndAddtoEngineList(engine(32)));
    EXPECT_FALSE(b->testReadOnlyAndAddtoEngineList(engine(5)));
}

TEST(ImageBuffer, AnOwnerMakesTheBufferReadOnlyForNewEngines) {
    auto b = ImageBufferU16::create(4, 4);
    int a, owner, late;
    auto* listed = reinterpret_cast<const TiledEngine*>(&a);
    auto* ownerEngine = reinterpret_cast<const TiledEngine*>(&owner);
    EXPECT_FALSE(b->testReadOnlyAndAddtoEngineList(listed));
    b->setBufferOwner(ownerEngine);
    EXPECT_FALSE(b->testReadOnlyAndAddtoEngineList(ownerEngine));
    EXPECT_FALSE(b->testReadOnlyAndAddtoEngineList(listed));
    EXPECT_TRUE(b->testReadOnlyAndAddtoEngineList(reinterpret_cast<const TiledEngine*>(&late)));
}

TEST(ImageBuffer, BufferLockIsRecursiveAndExcludesOtherThreads) {
    auto b = ImageBufferU16::create(4, 4);
    b->lock(nullptr);
    EXPECT_TRUE(b->tryLock(nullptr));
    bool otherTry = true, otherTimed = true;
    std::thread([&] {
        otherTry = b->tryLock(nullptr);
        otherTimed = b->lockWithinSeconds(nullptr, 0.01);
    }).join();
    EXPECT_FALSE(otherTry);
    EXPECT_FALSE(otherTimed);
    b->unlock(nullptr);
    b->unlock(nullptr);
    std::thread([&] {
        otherTimed = b->lockWithinSeconds(nullptr, 1.0);
        if (otherTimed) b->unlock(nullptr);
    }).join();
    EXPECT_TRUE(otherTimed);
}

TEST(ImageBuffer, ImagesAreViewsThatKeepTheStorageAlive) {
    auto u = ImageBufferU16::create(6, 4);
    fillU16(*u);
    auto image = u->createCGImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bitmapInfo(), 4097u);
    EXPECT_EQ(image->bitsPerComponent(), 16u);
    EXPECT_EQ(image->bitsPerPixel(), 64u);
    EXPECT_EQ(image->bytesPerRow(), 48u);
    EXPECT_EQ(image->data(), u->bitmapData()->bytes());
    EXPECT_EQ(image->colorSpace(), platform::ColorSpace::genericLinearRGB());

    auto profile = std::make_shared<FixedProfile>();
    auto f = ImageBufferF32::create(3, 2, nullptr, profile);
    auto fimage = f->createCGImage();
    ASSERT_TRUE(fimage);
    EXPECT_EQ(fimage->bitmapInfo(), 8449u);
    EXPECT_EQ(fimage->bitsPerPixel(), 128u);
    EXPECT_EQ(fimage->colorSpace(), profile->space);

    // A crop's image starts at the crop and steps by the source's rows.
    auto crop = u->croppedImageFromBuffer({2, 1, 3, 2});
    auto cropImage = crop->createCGImage();
    auto filterImage = crop->getImage(nullptr);
    ASSERT_TRUE(cropImage && filterImage);
    EXPECT_EQ(cropImage->data(), reinterpret_cast<uint8_t*>(u->bufferU16ForRow(1, 2)));
    EXPECT_EQ(filterImage->data(), cropImage->data());
    EXPECT_EQ(filterImage->colorSpace(), platform::ColorSpace::sRGB());
    EXPECT_EQ(f->getImage(profile)->colorSpace(), profile->space);

    u.reset();
    crop.reset();
    const uint16_t* px = reinterpret_cast<const uint16_t*>(image->data());
    EXPECT_EQ(px[4 * 5 + 0], 5); // pixel (0, 5) read after the buffer is gone
    EXPECT_FALSE(ImageBufferU16::create(0, 5)->createCGImage());
}

// Where pixel (r, c) of a 3 x 2 (W x H) image lands for each orientation code.
struct OrientationCase {
    int code;
    size_t width, height;
    size_t (*row)(size_t r, size_t c);
    size_t (*col)(size_t r, size_t c);
};

TEST(ImageBuffer, OrientationCodesTurnAndMirror) {
    const size_t W = 3, H = 2;
    const OrientationCase cases[] = {
        {0, W, H, [](size_t r, size_t) { return r; }, [](size_t, size_t c) { return c; }},
        {1, W, H, [](size_t r, size_t) { return r; }, [](size_t, size_t c) { return c; }},
        {2, W, H, [](size_t r, size_t) { return r; }, [](size_t, size_t c) { return W - 1 - c; }},
        {3, W, H, [](size_t r, size_t) { return H - 1 - r; }, [](size_t, size_t c) { return W - 1 - c; }},
        {4, W, H, [](size_t r, size_t) { return H - 1 - r; }, [](size_t, size_t c) { return c; }},
        {5, H, W, [](size_t, size_t c) { return c; }, [](size_t r, size_t) { return r; }},
        {6, H, W, [](size_t, size_t c) { return c; }, [](size_t r, size_t) { return H - 1 - r; }},
        {7, H, W, [](size_t, size_t c) { return W - 1 - c; }, [](size_t r, size_t) { return H - 1 - r; }},
        {8, H, W, [](size_t, size_t c) { return W - 1 - c; }, [](size_t r, size_t) { return r; }},
        {9, W, H, [](size_t r, size_t) { return r; }, [](size_t, size_t c) { return c; }},
    };
    auto src = ImageBufferU16::create(W, H);
    fillU16(*src);
    for (const auto& k : cases) {
        auto bitmap = src->getCGImageBitMap(false, k.code);
        ASSERT_TRUE(bitmap) << k.code;
        const auto& image = *bitmap->getImageRef();
        ASSERT_EQ(image.width(), k.width) << k.code;
        ASSERT_EQ(image.height(), k.height) << k.code;
        for (size_t r = 0; r < H; ++r)
            for (size_t c = 0; c < W; ++c) {
                auto* px = reinterpret_cast<const uint16_t*>(
                    image.data() + k.row(r, c) * image.bytesPerRow() + k.col(r, c) * 8);
                EXPECT_EQ(px[0], c) << "code " << k.code << " pixel " << r << "," << c;
                EXPECT_EQ(px[1], r) << "code " << k.code << " pixel " << r << "," << c;
            }
    }
}

TEST(ImageBuffer, QuarterTurnsSwapTheSizesAndCodeOneIsTheBufferItself) {
    auto src = ImageBufferU16::create(300, 200);
    auto bitmap = src->getCGImageBitMap(false, 6);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->getWidth(), 200u);
    EXPECT_EQ(bitmap->getHeight(), 300u);
    EXPECT_EQ(src->getCGImageBitMap(false, 1)->getImageRef()->data(), src->bitmapData()->bytes());
}

} // namespace
