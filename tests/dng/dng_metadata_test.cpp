#include "dng/dng_metadata.h"

#include "dng/dng_exif.h"
#include "dng/dng_host.h"
#include "dng/dng_iptc.h"
#include "dng/dng_memory.h"
#include "dng/dng_xmp.h"
#include "platform/Clock.h"

#include "DngErrorMatchers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<dng_memory_block> Block(const std::vector<uint8_t>& bytes) {
    std::unique_ptr<dng_memory_block> block(gDefaultDNGMemoryAllocator.Allocate(uint32_t(bytes.size())));
    if (!bytes.empty()) std::memcpy(block->Buffer(), bytes.data(), bytes.size());
    return block;
}

dng_fingerprint MD5(const std::vector<uint8_t>& bytes, size_t count) {
    dng_md5_printer printer;
    printer.Process(bytes.data(), uint32_t(count));
    return printer.Result();
}

class ThrowingXmpHost : public dng_host {
  public:
    dng_xmp* CreateXmp() override { Throw_dng_error(dng_error_memory); }
};

} // namespace

TEST(DngMetadata, IptcDigestLeavesOutAtMostThreePaddingZeros) {
    dng_host host;
    dng_metadata metadata(host);
    EXPECT_TRUE(metadata.IPTCDigest().IsNull());

    const std::vector<uint8_t> seven = {1, 2, 3, 0, 0, 0, 0};
    metadata.SetIPTC(Block(seven));
    EXPECT_EQ(metadata.IPTCDigest(true), MD5(seven, 7));
    EXPECT_EQ(metadata.IPTCDigest(false), MD5(seven, 4));

    const std::vector<uint8_t> zeros = {0, 0};
    metadata.SetIPTC(Block(zeros));
    EXPECT_EQ(metadata.IPTCDigest(false), MD5(zeros, 0));
    EXPECT_FALSE(metadata.IPTCDigest(false).IsNull());

    metadata.SetIPTC(Block({}));
    EXPECT_TRUE(metadata.IPTCDigest().IsNull());
}

TEST(DngMetadata, IptcBlockOffsetIsOnlyKeptWithItsBlock) {
    dng_host host;
    dng_metadata metadata(host);
    EXPECT_EQ(metadata.IPTCOffset(), -1);
    EXPECT_EQ(metadata.IPTCData(), nullptr);
    metadata.SetIPTC(Block({1, 2, 3}), 4096);
    EXPECT_EQ(metadata.IPTCOffset(), 4096);
    EXPECT_EQ(metadata.IPTCLength(), 3u);
    metadata.SetIPTC(Block({4}));
    EXPECT_EQ(metadata.IPTCOffset(), -1);
    metadata.ClearIPTC();
    EXPECT_EQ(metadata.IPTCLength(), 0u);
}

TEST(DngMetadata, SynchronizeKeepsTheFirstOriginalAndTakesTheIptcBlock) {
    dng_host host;
    dng_metadata metadata(host);
    metadata.GetExif()->fModel.Set("First");
    dng_orientation rotated;
    rotated.SetFromTIFF(6);
    metadata.SetBaseOrientation(rotated);
    dng_iptc iptc;
    iptc.fTitle.Set("Title");
    metadata.SetIPTC(iptc.Spool(gDefaultDNGMemoryAllocator, true), 100);

    metadata.SynchronizeMetadata();
    ASSERT_NE(metadata.GetOriginalExif(), nullptr);
    EXPECT_STREQ(metadata.GetOriginalExif()->fModel.Get(), "First");
    EXPECT_EQ(metadata.GetExif()->fExifVersion, dng_exif::kVersion0231);
    EXPECT_EQ(metadata.IPTCLength(), 0u) << "the IPTC block moved into the XMP";
    EXPECT_EQ(metadata.IPTCOffset(), -1);
    EXPECT_EQ(metadata.BaseOrientation(), rotated);

    metadata.GetExif()->fModel.Set("Second");
    metadata.SynchronizeMetadata();
    EXPECT_STREQ(metadata.GetOriginalExif()->fModel.Get(), "First");

    metadata.RebuildIPTC(gDefaultDNGMemoryAllocator, true);
    EXPECT_EQ(metadata.IPTCLength(), 0u) << "an XMP that keeps nothing rebuilds no block";

    metadata.ResetExif(nullptr);
    EXPECT_DNG_ERROR(metadata.SynchronizeMetadata(), dng_error_unknown);
}

TEST(DngMetadata, CloneIsDeep) {
    dng_host host;
    dng_metadata metadata(host);
    metadata.GetExif()->fArtist.Set("Ann");
    metadata.SetIPTC(Block({9, 8, 7}), 12);
    metadata.SetMakerNote(Block({1, 2}));
    metadata.SetMakerNoteSafety(true);
    metadata.GetXMP()->Set(dng_xmp_namespace::dc, "title", "x");
    metadata.SetXMPPriority(true);
    metadata.SetSourceMIME("image/x-raw");
    dng_orientation mirrored;
    mirrored.SetFromTIFF(2);
    metadata.SetBaseOrientation(mirrored);

    std::unique_ptr<dng_metadata> copy(metadata.Clone(gDefaultDNGMemoryAllocator));
    metadata.GetExif()->fArtist.Set("Changed");
    metadata.ClearIPTC();
    metadata.ClearMakerNote();

    EXPECT_STREQ(copy->GetExif()->fArtist.Get(), "Ann");
    ASSERT_EQ(copy->IPTCLength(), 3u);
    EXPECT_EQ(static_cast<const uint8_t*>(copy->IPTCData())[2], 7);
    EXPECT_EQ(copy->IPTCOffset(), 12);
    ASSERT_NE(copy->MakerNote(), nullptr);
    EXPECT_EQ(copy->MakerNote()->LogicalSize(), 2u);
    EXPECT_TRUE(copy->IsMakerNoteSafe());
    EXPECT_TRUE(copy->GetXMP()->HasMeta());
    EXPECT_TRUE(copy->XMPPriority());
    EXPECT_STREQ(copy->SourceMIME().Get(), "image/x-raw");
    EXPECT_TRUE(copy->HasBaseOrientation());
    EXPECT_EQ(copy->BaseOrientation(), mirrored);
    EXPECT_EQ(copy->GetOriginalExif(), nullptr);
}

TEST(DngMetadata, DateStampUsesTheProgramClock) {
    const char* previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    setenv("TZ", "UTC-2", 1);
    {
        // 2024-03-01 10:20:30 UTC.
        platform::ScopedFixedClock clock(platform::Clock::time_point(std::chrono::seconds(1709288430)));
        dng_host host;
        dng_metadata metadata(host);
        metadata.UpdateDateTimeToNow();
        const dng_date_time_info& stamp = metadata.GetExif()->fDateTime;
        EXPECT_EQ(stamp.DateTime(), dng_date_time(2024, 3, 1, 12, 20, 30));
        EXPECT_EQ(stamp.TimeZone(), 120);
    }
    if (previous)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
}

TEST(DngMetadata, AFailingFactoryPassesItsError) {
    ThrowingXmpHost host;
    EXPECT_DNG_ERROR(dng_metadata metadata(host), dng_error_memory);
}
