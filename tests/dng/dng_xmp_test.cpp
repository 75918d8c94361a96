#include "dng/dng_xmp.h"

#include "dng/dng_exif.h"
#include "dng/dng_memory.h"

#include <gtest/gtest.h>

#include <memory>

namespace {
using ns = dng_xmp_namespace;

dng_exif LensExif(const char* name, dng_urational minFocal, dng_urational maxFocal, dng_urational minF,
                  dng_urational maxF) {
    dng_exif exif;
    exif.fLensName.Set(name);
    exif.fLensInfo[0] = minFocal;
    exif.fLensInfo[1] = maxFocal;
    exif.fLensInfo[2] = minF;
    exif.fLensInfo[3] = maxF;
    return exif;
}
} // namespace

TEST(DngXmp, KeepsNothingButKnowsWhetherMetadataExists) {
    dng_xmp xmp(gDefaultDNGMemoryAllocator);
    EXPECT_FALSE(xmp.HasMeta());
    EXPECT_EQ(xmp.Serialize(gDefaultDNGMemoryAllocator), nullptr);

    // Removing, and setting an empty list, make nothing exist.
    xmp.Remove(ns::tiff, "Orientation");
    xmp.SetStringList(ns::dc, "subject", dng_string_list());
    xmp.SetFingerprint(ns::photoshop, "LegacyIPTCDigest", dng_fingerprint());
    EXPECT_FALSE(xmp.HasMeta());
    std::unique_ptr<dng_xmp> bare(xmp.Clone());
    EXPECT_FALSE(bare->HasMeta());

    xmp.Set(ns::dc, "title", "Harbour");
    EXPECT_TRUE(xmp.HasMeta());
    EXPECT_TRUE(XMPToolkitInitialized());
    dng_string out;
    out.Set("untouched");
    EXPECT_FALSE(xmp.GetString(ns::dc, "title", out));
    EXPECT_STREQ(out.Get(), "untouched");
    bool flag = true;
    xmp.SetBoolean(ns::xmp, "Marked", false);
    EXPECT_FALSE(xmp.GetBoolean(ns::xmp, "Marked", flag));
    EXPECT_TRUE(flag);
    dng_fingerprint digest;
    digest.data[0] = 1;
    xmp.SetIPTCDigest(digest);
    EXPECT_TRUE(xmp.GetIPTCDigest().IsNull());
    EXPECT_EQ(xmp.Serialize(gDefaultDNGMemoryAllocator), nullptr);
    EXPECT_TRUE(xmp.PruneNamespace(ns::photoshop));

    std::unique_ptr<dng_xmp> clone(xmp.Clone());
    EXPECT_TRUE(clone->HasMeta());
    xmp.RemoveProperties(ns::dc);
    EXPECT_TRUE(xmp.HasMeta()) << "removals never delete the metadata object";
}

TEST(DngXmp, SyncExifSetsAMissingVersionOnly) {
    dng_xmp xmp(gDefaultDNGMemoryAllocator);
    dng_exif fresh;
    xmp.SyncExif(fresh);
    EXPECT_EQ(fresh.fExifVersion, dng_exif::kVersion0231);
    dng_exif older;
    older.fExifVersion = 0x30323231;
    xmp.SyncExif(older);
    EXPECT_EQ(older.fExifVersion, 0x30323231u);
}

TEST(DngXmp, SyncExifDerivesTheApexPartners) {
    dng_xmp xmp(gDefaultDNGMemoryAllocator);
    dng_exif exif;
    exif.fExposureTime = dng_urational(1, 60);
    exif.fApertureValue = dng_urational(2970854, 1000000);
    xmp.SyncExif(exif);
    EXPECT_EQ(exif.fShutterSpeedValue, dng_srational(5906891, 1000000));
    EXPECT_EQ(exif.fFNumber, dng_urational(28, 10));
    EXPECT_EQ(exif.fApertureValue, dng_urational(2970854, 1000000));
}

TEST(DngXmp, SyncExifTidiesIsoSubjectAreaAndAltitude) {
    struct IsoCase {
        uint32_t in[3];
        uint32_t out[3];
    };
    const IsoCase isoCases[] = {
        {{100, 0, 50}, {100, 0, 0}}, {{0, 5, 7}, {0, 0, 0}}, {{100, 65535, 0}, {100, 65535, 0}}};
    dng_xmp xmp(gDefaultDNGMemoryAllocator);
    for (const IsoCase& c : isoCases) {
        dng_exif exif;
        std::copy(std::begin(c.in), std::end(c.in), exif.fISOSpeedRatings);
        xmp.SyncExif(exif);
        EXPECT_TRUE(std::equal(std::begin(c.out), std::end(c.out), exif.fISOSpeedRatings))
            << c.in[0] << c.in[1];
    }

    dng_exif area;
    area.fSubjectAreaCount = 2;
    for (uint32_t i = 0; i < 4; ++i)
        area.fSubjectArea[i] = 10 + i;
    xmp.SyncExif(area);
    EXPECT_EQ(area.fSubjectArea[1], 11u);
    EXPECT_EQ(area.fSubjectArea[2], 0u);
    EXPECT_EQ(area.fSubjectArea[3], 0u);

    struct AltitudeCase {
        dng_urational in;
        uint32_t ref;
        dng_urational out;
        uint32_t outRef;
    };
    const AltitudeCase altitudes[] = {
        {{0xFFFFFF9C, 1}, 0, {100, 1}, 1},
        {{0xFFFFFF9C, 1}, dng_exif::kAbsent, {100, 1}, 1},
        {{0xFFFFFF9C, 10}, 0, {0xFFFFFF9C, 10}, 0},
        {{0xFFFFFF9C, 1}, 1, {0xFFFFFF9C, 1}, 1},
        {{250, 1}, 0, {250, 1}, 0},
    };
    for (const AltitudeCase& c : altitudes) {
        dng_exif exif;
        exif.fGPSAltitude = c.in;
        exif.fGPSAltitudeRef = c.ref;
        xmp.SyncExif(exif);
        EXPECT_EQ(exif.fGPSAltitude, c.out) << c.in.n << "/" << c.in.d;
        EXPECT_EQ(exif.fGPSAltitudeRef, c.outRef) << c.in.n << "/" << c.in.d;
    }
}

TEST(DngXmp, DefaultLensNameFromLensInfo) {
    struct Case {
        dng_exif exif;
        const char* name;
    };
    const Case cases[] = {
        {LensExif("", {24, 1}, {70, 1}, {28, 10}, {28, 10}), "24.0-70.0 mm f/2.8"},
        {LensExif("", {50, 1}, {50, 1}, {14, 10}, {14, 10}), "50.0 mm f/1.4"},
        {LensExif("", {18, 1}, {55, 1}, {35, 10}, {56, 10}), "18.0-55.0 mm f/3.5-5.6"},
        {LensExif("", {35, 1}, {35, 1}, {0, 0}, {0, 0}), "35.0 mm"},
        {LensExif("", {10, 1}, {20, 1}, {0, 0}, {0, 0}), "10.0-20.0 mm"},
        {LensExif("24-70mm F/0.0", {24, 1}, {70, 1}, {28, 10}, {28, 10}), "24.0-70.0 mm f/2.8"},
        {LensExif("23 mm", {23, 1}, {23, 1}, {2, 1}, {2, 1}), "23 mm"},
        {LensExif("", {0, 0}, {0, 0}, {0, 0}, {0, 0}), ""},
    };
    dng_xmp xmp(gDefaultDNGMemoryAllocator);
    for (const Case& c : cases) {
        dng_exif exif = c.exif;
        xmp.SyncExif(exif);
        EXPECT_STREQ(exif.fLensName.Get(), c.name) << c.exif.fLensName.Get();
    }
}

TEST(DngXmp, UpdatingFromAnEmptyPacketClearsTheSharedTexts) {
    dng_xmp xmp(gDefaultDNGMemoryAllocator);
    dng_exif exif;
    for (dng_string* s :
         {&exif.fImageDescription, &exif.fArtist, &exif.fSoftware, &exif.fCopyright, &exif.fMake})
        s->Set("text");
    dng_exif kept = exif;
    xmp.SyncExif(kept);
    EXPECT_STREQ(kept.fArtist.Get(), "text");
    xmp.SyncExif(exif, nullptr, true);
    for (const dng_string* s : {&exif.fImageDescription, &exif.fArtist, &exif.fSoftware, &exif.fCopyright})
        EXPECT_TRUE(s->IsEmpty());
    EXPECT_STREQ(exif.fMake.Get(), "text");
}
