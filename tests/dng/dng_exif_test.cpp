#include "dng/dng_exif.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {
struct ExposureCase {
    double seconds;
    bool snap;
    dng_urational time;
    dng_srational shutter;
};

const ExposureCase kExposures[] = {
    {0.0166, true, {1, 60}, {5906891, 1000000}},
    {0.5, false, {1, 2}, {1, 1}},
    {2.5, false, {25, 10}, {-1321928, 1000000}},
    {250.4, false, {250, 1}, {-7965784, 1000000}},
    {0.125, false, {1, 8}, {3, 1}},
    {0.15, false, {15, 100}, {2736966, 1000000}},
    {1.0 / 64, true, {1, 60}, {5906891, 1000000}},
    // Outside [2^-30, 2^30] nothing is stored.
    {2147483648.0, false, {0, 0}, {0, 0}},
    {0.0, true, {0, 0}, {0, 0}},
};

struct FNumberCase {
    double f;
    dng_urational fNumber;
    dng_urational aperture;
};

const FNumberCase kFNumbers[] = {
    {2.8, {28, 10}, {2970854, 1000000}},
    {1.0, {1, 1}, {0, 1}},
    {16.2, {16, 1}, {8, 1}},
    // Below 1 the APEX value is negative and left out.
    {0.95, {95, 100}, {0, 0}},
    {40000.0, {0, 0}, {0, 0}},
};
} // namespace

TEST(DngExif, ExposureTimeAndShutterSpeedTable) {
    for (const ExposureCase& c : kExposures) {
        dng_exif exif;
        exif.SetExposureTime(c.seconds, c.snap);
        EXPECT_EQ(exif.fExposureTime, c.time) << c.seconds;
        EXPECT_EQ(exif.fShutterSpeedValue, c.shutter) << c.seconds;
    }
}

TEST(DngExif, FNumberAndApertureTable) {
    for (const FNumberCase& c : kFNumbers) {
        dng_exif exif;
        exif.SetFNumber(c.f);
        EXPECT_EQ(exif.fFNumber, c.fNumber) << c.f;
        EXPECT_EQ(exif.fApertureValue, c.aperture) << c.f;
    }
}

TEST(DngExif, ApexSettersFillOnlyAnAbsentPartner) {
    dng_exif exif;
    exif.SetShutterSpeedValue(std::log2(125.0));
    EXPECT_EQ(exif.fExposureTime, dng_urational(1, 125));
    exif.SetExposureTime(0.5, false);
    exif.SetShutterSpeedValue(10.0);
    EXPECT_EQ(exif.fExposureTime, dng_urational(1, 2));

    exif.SetApertureValue(4.0);
    EXPECT_EQ(exif.fFNumber, dng_urational(4, 1));
    exif.SetApertureValue(8.0);
    EXPECT_EQ(exif.fFNumber, dng_urational(4, 1));
}

TEST(DngExif, SnapFindsStandardTimesAndTidiesOthers) {
    EXPECT_DOUBLE_EQ(dng_exif::SnapExposureTime(1.0 / 512), 1.0 / 500);
    EXPECT_DOUBLE_EQ(dng_exif::SnapExposureTime(31.7), 32.0);
    EXPECT_DOUBLE_EQ(dng_exif::SnapExposureTime(0.93), 0.9);
    EXPECT_DOUBLE_EQ(dng_exif::SnapExposureTime(-1.0), 0.0);
}

TEST(DngExif, VersionsAndLensRange) {
    dng_exif exif;
    EXPECT_FALSE(exif.AtLeastVersion0231());
    exif.fExifVersion = 0x30323330;
    EXPECT_TRUE(exif.AtLeastVersion0230());
    EXPECT_FALSE(exif.AtLeastVersion0231());
    exif.SetVersion0231();
    EXPECT_TRUE(exif.AtLeastVersion0231());

    EXPECT_FALSE(exif.HasLensRange());
    for (dng_urational& r : exif.fLensRange)
        r = dng_urational(1, 1);
    EXPECT_TRUE(exif.HasLensRange());
}

TEST(DngExif, DefaultsCopiesAndSetEmpty) {
    dng_exif exif;
    EXPECT_EQ(exif.fFlash, dng_exif::kAbsent);
    EXPECT_EQ(exif.fFlashMask, 0xFFFFu);
    EXPECT_EQ(exif.fGPSAltitudeRef, dng_exif::kAbsent);
    EXPECT_EQ(exif.fCFAPattern[7][7], 0xFF);
    EXPECT_TRUE(exif.fDateTime.NotValid());
    EXPECT_FALSE(exif.fDateTimeStorageInfo.IsValid());

    exif.fMake.Set("Maker");
    exif.fGPSLatitudeRef.Set("N");
    exif.fGPSLatitude[1] = dng_urational(30, 1);
    exif.fISOSpeedRatings[2] = 400;
    std::unique_ptr<dng_exif> clone(exif.Clone());
    EXPECT_EQ(*clone, exif);
    clone->fMake.Set("Other");
    EXPECT_STREQ(exif.fMake.Get(), "Maker") << "the clone's strings are its own";
    EXPECT_NE(*clone, exif);

    dng_exif gps;
    gps.CopyGPSFrom(exif);
    EXPECT_EQ(gps.fGPSLatitude[1], dng_urational(30, 1));
    EXPECT_TRUE(gps.fMake.IsEmpty());

    exif.SetEmpty();
    EXPECT_EQ(exif, dng_exif());
}

TEST(DngExif, PostParseFillsDerivedValues) {
    dng_exif exif;
    dng_date_time_info original;
    original.SetDateTime(dng_date_time(2021, 5, 6, 7, 8, 9));
    exif.fDateTimeOriginal = original;
    exif.fSensitivityType = 2;
    exif.fRecommendedExposureIndex = 640;
    exif.fGPSLatitudeRef.Set("N");
    exif.PostParse();
    EXPECT_EQ(exif.fDateTime.DateTime(), original.DateTime());
    EXPECT_EQ(exif.fISOSpeedRatings[0], 640u);
    EXPECT_TRUE(exif.fGPSLatitudeRef.IsEmpty());
}
