// Digest values below were computed outside this program (Python's hashlib) from the same
// pixel formulas, so they check the byte order and the tile order, not just consistency.
#include "dng/dng_negative.h"

#include "dng/dng_exif.h"
#include "dng/dng_host.h"
#include "dng/dng_linearization_info.h"
#include "dng/dng_memory.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_types.h"

#include "DngErrorMatchers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

std::string Hex(const dng_fingerprint& f) {
    char text[33];
    f.ToHexString(text);
    return text;
}

dng_fingerprint FromHex(const char* hex) {
    dng_fingerprint f;
    f.FromHexString(hex);
    return f;
}

template <typename T, typename F>
std::unique_ptr<dng_simple_image> Image(uint32_t rows, uint32_t cols, uint32_t planes, uint32_t type,
                                        F value) {
    auto image =
        std::make_unique<dng_simple_image>(dng_rect(rows, cols), planes, type, gDefaultDNGMemoryAllocator);
    dng_pixel_buffer buffer = image->Buffer();
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < cols; ++c)
            for (uint32_t p = 0; p < planes; ++p)
                *buffer.DirtyPixelAs<T>(int32_t(r), int32_t(c), p) = T(value(r, c, p));
    return image;
}

// 260 x 300: tiles of 256 x 256 make a 2 x 2 grid with short right and bottom tiles.
std::unique_ptr<dng_simple_image> TiledImage() {
    return Image<uint16_t>(260, 300, 1, ttShort,
                           [](uint32_t r, uint32_t c, uint32_t) { return (r * 7 + c * 13) & 0xFFFF; });
}

const char* const kTiledNewDigest = "4FC50DC88DEDA41A065F211B1D00DC98";
const char* const kTiledClassicDigest = "381717CF1C9AA67DAE278D84864F5018";
const char* const kTileDigests[4] = {"A2C72533E22A912F834EFA2C17376A87", "209C7CB4DBDF4919E8CC22C8E39256EC",
                                     "AD1831E82E84450D4611B0B0117ADD53", "0A6EE62601712FFE6909BDE7CA5742E8"};

struct DigestTest : ::testing::Test {
    dng_host host;
    std::unique_ptr<dng_negative> negative{host.MakeNegative()};

    void UseTiledImage() {
        negative->SetStage1Image(TiledImage());
        negative->SetModelName("Maker Model");
        negative->SetDefaultCropSize(300, 260);
    }
};

} // namespace

TEST_F(DigestTest, NewDigestIsTheDigestOfTileDigestsInRowOrder) {
    UseTiledImage();
    dng_md5_printer printer;
    for (const char* tile : kTileDigests)
        printer.Process(FromHex(tile).data, 16);
    EXPECT_EQ(Hex(printer.Result()), kTiledNewDigest);

    negative->FindNewRawImageDigest(host);
    EXPECT_EQ(Hex(negative->NewRawImageDigest()), kTiledNewDigest);
}

TEST_F(DigestTest, ClassicDigestStreamsTheSamplesInOrder) {
    UseTiledImage();
    negative->FindRawImageDigest(host);
    EXPECT_EQ(Hex(negative->RawImageDigest()), kTiledClassicDigest);

    // 8-bit samples are digested widened to 16-bit little-endian values.
    dng_host host8;
    std::unique_ptr<dng_negative> bytes(host8.MakeNegative());
    bytes->SetStage1Image(Image<uint8_t>(5, 3, 2, ttByte, [](uint32_t r, uint32_t c, uint32_t p) {
        return (r * 31 + c * 7 + p * 100) & 0xFF;
    }));
    bytes->FindRawImageDigest(host8);
    EXPECT_EQ(Hex(bytes->RawImageDigest()), "0DA2553C119751DE48B9D79089FAA2DE");
}

TEST_F(DigestTest, SmallImagesAreOneTile) {
    negative->SetStage1Image(Image<uint16_t>(
        3, 2, 3, ttShort, [](uint32_t r, uint32_t c, uint32_t p) { return r * 100 + c * 10 + p; }));
    uint16_t samples[18];
    for (uint32_t r = 0, i = 0; r < 3; ++r)
        for (uint32_t c = 0; c < 2; ++c)
            for (uint32_t p = 0; p < 3; ++p)
                samples[i++] = uint16_t(r * 100 + c * 10 + p);
    dng_md5_printer tile;
    tile.Process(samples, sizeof(samples));
    dng_md5_printer image;
    image.Process(tile.Result().data, 16);
    negative->FindNewRawImageDigest(host);
    EXPECT_EQ(negative->NewRawImageDigest(), image.Result());
}

TEST_F(DigestTest, PixelsChangeTheDigestsMetadataDoesNot) {
    UseTiledImage();
    negative->FindRawImageDigest(host);
    negative->FindNewRawImageDigest(host);
    negative->FindRawDataUniqueID(host);
    const dng_fingerprint classic = negative->RawImageDigest();
    const dng_fingerprint tiled = negative->NewRawImageDigest();
    EXPECT_EQ(Hex(negative->RawDataUniqueID()), "41D9CB47829884CBF44564A10397667D");

    // Metadata only: the image digests stay; the unique ID follows the model name.
    dng_host other;
    std::unique_ptr<dng_negative> same(other.MakeNegative());
    same->SetStage1Image(TiledImage());
    same->GetExif()->fMake.Set("Someone else");
    same->Metadata().SetBaseOrientation(dng_orientation(dng_orientation::kRotate90CW));
    same->SetDefaultCropSize(300, 260);
    same->SetModelName("Other Model");
    same->FindRawImageDigest(other);
    same->FindNewRawImageDigest(other);
    same->FindRawDataUniqueID(other);
    EXPECT_EQ(same->RawImageDigest(), classic);
    EXPECT_EQ(same->NewRawImageDigest(), tiled);
    EXPECT_NE(same->RawDataUniqueID(), negative->RawDataUniqueID());

    // One pixel in the last tile.
    auto changed = TiledImage();
    dng_pixel_buffer buffer = changed->Buffer();
    *buffer.DirtyPixelAs<uint16_t>(259, 299) ^= 1;
    dng_host third;
    std::unique_ptr<dng_negative> edited(third.MakeNegative());
    edited->SetStage1Image(std::move(changed));
    edited->FindRawImageDigest(third);
    edited->FindNewRawImageDigest(third);
    EXPECT_NE(edited->RawImageDigest(), classic);
    EXPECT_NE(edited->NewRawImageDigest(), tiled);
}

TEST_F(DigestTest, UniqueIdMixesInEnhanceParamsWithoutStoringThem) {
    UseTiledImage();
    negative->SetEnhanceParams("enhance");
    negative->FindRawDataUniqueID(host);
    EXPECT_EQ(Hex(negative->RawDataUniqueID()), "50ADCBA41BA980B3F92A356C521E25DA");
    negative->SetEnhanceParams("");
    EXPECT_EQ(Hex(negative->RawDataUniqueID()), "41D9CB47829884CBF44564A10397667D");

    // A stored ID is kept until it is recomputed.
    negative->SetModelName("Renamed");
    negative->FindRawDataUniqueID(host);
    EXPECT_EQ(Hex(negative->RawDataUniqueID()), "41D9CB47829884CBF44564A10397667D");
    negative->RecomputeRawDataUniqueID(host);
    EXPECT_NE(Hex(negative->RawDataUniqueID()), "41D9CB47829884CBF44564A10397667D");
}

TEST_F(DigestTest, FloatsAndMasksUseTheTiledDigest) {
    negative->SetStage1Image(
        Image<float>(4, 4, 1, ttFloat, [](uint32_t r, uint32_t c, uint32_t) { return r * 0.25f + c; }));
    negative->FindRawImageDigest(host);
    EXPECT_FALSE(negative->RawImageDigest().IsNull());
    EXPECT_EQ(negative->RawImageDigest(), negative->NewRawImageDigest());

    // With a mask: MD5 of the image digest and the mask digest.
    dng_host maskHost;
    std::unique_ptr<dng_negative> masked(maskHost.MakeNegative());
    masked->SetStage1Image(TiledImage());
    masked->SetTransparencyMask(
        Image<uint8_t>(260, 300, 1, ttByte, [](uint32_t r, uint32_t, uint32_t) { return r; }));
    masked->FindRawImageDigest(maskHost);
    dng_host maskOnly;
    std::unique_ptr<dng_negative> mask(maskOnly.MakeNegative());
    mask->SetStage1Image(
        Image<uint8_t>(260, 300, 1, ttByte, [](uint32_t r, uint32_t, uint32_t) { return r; }));
    mask->FindNewRawImageDigest(maskOnly);
    dng_md5_printer both;
    both.Process(FromHex(kTiledNewDigest).data, 16);
    both.Process(mask->NewRawImageDigest().data, 16);
    EXPECT_EQ(masked->NewRawImageDigest(), both.Result());
    EXPECT_EQ(masked->RawImageDigest(), masked->NewRawImageDigest());
}

TEST_F(DigestTest, ShortLinearizationTablesDigestEightBitIndices) {
    negative->SetStage1Image(Image<uint16_t>(
        2, 3, 1, ttShort, [](uint32_t r, uint32_t c, uint32_t) { return 0x1200 + r * 3 + c; }));
    negative->SetActiveArea(dng_rect(2, 3));
    negative->GetLinearizationInfo()->fLinearizationTable.reset(gDefaultDNGMemoryAllocator.Allocate(512));
    negative->FindNewRawImageDigest(host);
    dng_host byteHost;
    std::unique_ptr<dng_negative> bytes(byteHost.MakeNegative());
    bytes->SetStage1Image(
        Image<uint8_t>(2, 3, 1, ttByte, [](uint32_t r, uint32_t c, uint32_t) { return r * 3 + c; }));
    bytes->FindNewRawImageDigest(byteHost);
    EXPECT_EQ(negative->NewRawImageDigest(), bytes->NewRawImageDigest()) << "the low bytes are digested";
}

TEST_F(DigestTest, ValidationMarksOnlyRealMismatches) {
    // Nothing stored: nothing checked.
    UseTiledImage();
    negative->ValidateRawImageDigest(host);
    EXPECT_TRUE(negative->RawImageDigest().IsNull());
    EXPECT_FALSE(negative->IsDamaged());

    struct Case {
        bool newKind;
        const char* stored;
        bool damaged;
    };
    const Case cases[] = {
        {true, kTiledNewDigest, false},
        {false, kTiledClassicDigest, false},
        {false, "0000000000000000000000000000FFFF", true},
        {true, "0000000000000000000000000000FFFF", true},
        // Old writers: only bytes 4 to 15 count, or a first word of 8 marks an unchecked digest.
        {false, "FFFFFFFF1C9AA67DAE278D84864F5018", false},
        {false, "0800000000000000000000000000FFFF", false},
    };
    for (const Case& c : cases) {
        dng_host h;
        std::unique_ptr<dng_negative> n(h.MakeNegative());
        n->SetStage1Image(TiledImage());
        if (c.newKind)
            n->SetNewRawImageDigest(FromHex(c.stored));
        else
            n->SetRawImageDigest(FromHex(c.stored));
        n->ValidateRawImageDigest(h);
        EXPECT_EQ(n->IsDamaged(), c.damaged) << c.stored;
        EXPECT_EQ(Hex(c.newKind ? n->NewRawImageDigest() : n->RawImageDigest()),
                  c.newKind ? kTiledNewDigest : kTiledClassicDigest);
    }

    // A preview is not checked.
    dng_host h;
    std::unique_ptr<dng_negative> preview(h.MakeNegative());
    preview->SetStage1Image(TiledImage());
    preview->SetIsPreview(true);
    preview->SetRawImageDigest(FromHex("0000000000000000000000000000FFFF"));
    preview->ValidateRawImageDigest(h);
    EXPECT_FALSE(preview->IsDamaged());
}

TEST_F(DigestTest, OriginalFileDigestAndMissingJpeg) {
    std::unique_ptr<dng_memory_block> data(gDefaultDNGMemoryAllocator.Allocate(3));
    std::memcpy(data->Buffer(), "abc", 3);
    negative->SetOriginalRawFileData(std::move(data));
    negative->FindOriginalRawFileDigest();
    EXPECT_EQ(Hex(negative->OriginalRawFileDigest()), "900150983CD24FB0D6963F7D28E17F72");
    negative->ValidateOriginalRawFileDigest();
    EXPECT_FALSE(negative->IsDamaged());

    const dng_fingerprint wrong = FromHex("00000000000000000000000000000001");
    negative->SetOriginalRawFileDigest(wrong);
    negative->ValidateOriginalRawFileDigest();
    EXPECT_TRUE(negative->IsDamaged());
    EXPECT_EQ(negative->OriginalRawFileDigest(), wrong) << "the stored digest is put back";

    EXPECT_DNG_ERROR(negative->FindRawJPEGImageDigest(host), dng_error_unknown);
}
