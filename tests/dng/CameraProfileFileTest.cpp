// Profiles read from DCP files: names, matrices, rejection, icon and the tables they give.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "dng/CameraProfileManager.h"
#include "dng/DNGCameraProfileAbstract.h"
#include "dng/dng_camera_profile.h"
#include "dng/dng_stream.h"
#include "tests/support/DcpBuilder.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using testsupport::BuildDcp;
using testsupport::Rationals;
using testsupport::TiffBuilder;
using Fill = std::function<void(TiffBuilder::Ifd&)>;

namespace {

constexpr uint16_t kColorMatrix1 = 50721, kColorMatrix2 = 50722, kProfileName = 50936, kToneCurve = 50940,
                   kUniqueCameraModel = 50708;

const std::vector<std::pair<int32_t, int32_t>> kMatrixA = Rationals({0.8, 0.1, 0, 0, 1, 0, 0, 0.1, 0.9});
const std::vector<std::pair<int32_t, int32_t>> kMatrixB =
    Rationals({0.6, 0.3, -0.1, -0.2, 1.1, 0.1, 0, 0.2, 0.7});

fs::path writeDcp(const fs::path& folder, const std::string& name, const Fill& fill) {
    return testsupport::writeFile(folder, name, BuildDcp(fill));
}

// What the DCP reader itself makes of the same bytes.
dng_camera_profile readerView(const Fill& fill) {
    const std::vector<uint8_t> bytes = BuildDcp(fill);
    dng_stream stream(bytes.data(), uint32_t(bytes.size()));
    dng_camera_profile profile;
    EXPECT_TRUE(profile.ReadFromDCPStream(stream));
    return profile;
}

std::vector<float> gainTable(const DNGCameraProfileAbstract& p, float baseline = 0,
                             bool outputReferred = false, bool clipWhites = true, float toneCurve = 1) {
    std::vector<float> table(65536);
    p.generateLUT16(nullptr, table.data(), baseline, outputReferred, clipWhites, toneCurve);
    return table;
}

// The gain table the default tone curve gives, built from the curve itself.
float defaultGain(uint32_t i) {
    const float x = float(i) / 65535.0f;
    return DNGCameraProfileAbstract::dng_tone_curve_acr3_default(x) / x;
}

const Fill kCurved = [](TiffBuilder::Ifd& ifd) {
    ifd.ascii(kProfileName, "Curved")
        .srationals(kColorMatrix1, kMatrixA)
        .floats(kToneCurve, {0, 0, 0.5f, 0.75f, 1, 1});
};

} // namespace

TEST(DNGCameraProfileFile, NamesAndRestrictionAreUtf8Text) {
    testsupport::TempHome home;
    const fs::path file = writeDcp(home.path(), "Studio.dcp", [](TiffBuilder::Ifd& ifd) {
        ifd.ascii(kUniqueCameraModel, "Maker Model")
            .ascii(kProfileName, "Stüdio Ñeutral")
            .srationals(kColorMatrix1, kMatrixA);
    });
    auto p = DNGCameraProfileAbstract::createFromFile(file);
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(p->isAutoProfile());
    EXPECT_EQ(p->name(), "Stüdio Ñeutral");
    EXPECT_EQ(p->uniqueCameraModelRestriction(), "Maker Model");
    EXPECT_EQ(p->displayName(), "Maker Model : Stüdio Ñeutral");
    EXPECT_EQ(p->profileURL(), file);
    EXPECT_EQ(p->objectSerializeForPList().at("FileName"), platform::Value("Studio.dcp"));
}

TEST(DNGCameraProfileFile, OneCalibrationServesAsBothMatrices) {
    testsupport::TempHome home;
    const struct {
        const char* what;
        Fill fill;
    } cases[] = {
        {"first only", [](auto& ifd) { ifd.srationals(kColorMatrix1, kMatrixA); }},
        {"second only", [](auto& ifd) { ifd.shorts(50779, {21}).srationals(kColorMatrix2, kMatrixB); }},
        {"both",
         [](auto& ifd) {
             ifd.shorts(50778, {17})
                 .shorts(50779, {21})
                 .srationals(kColorMatrix1, kMatrixA)
                 .srationals(kColorMatrix2, kMatrixB);
         }},
    };
    for (const auto& c : cases) {
        auto p = DNGCameraProfileAbstract::createFromFile(writeDcp(home.path(), "m.dcp", c.fill));
        ASSERT_NE(p, nullptr) << c.what;
        const dng_camera_profile reader = readerView(c.fill);
        const dng_matrix& m1 = reader.ColorMatrix1();
        const dng_matrix& m2 = reader.ColorMatrix2().IsEmpty() ? m1 : reader.ColorMatrix2();
        for (int r = 0; r < 3; ++r)
            for (int col = 0; col < 3; ++col) {
                EXPECT_EQ(p->getcolorMatrix1(r, col), float(m1[r][col])) << c.what;
                EXPECT_EQ(p->getcolorMatrix2(r, col), float(m2[r][col])) << c.what;
            }
        EXPECT_NE(p->getcolorMatrix1(0, 0), 1.0f) << c.what << ": not the identity of the automatic profile";
        fs::remove(home.path() / "m.dcp");
    }
}

TEST(DNGCameraProfileFile, ProfilesWithoutAUsableMatrixAreRejected) {
    testsupport::TempHome home;
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"no matrix", BuildDcp([](auto& ifd) { ifd.ascii(kProfileName, "Named only"); })},
        {"singular matrix", BuildDcp([](auto& ifd) {
             ifd.srationals(kColorMatrix1, Rationals({1, 1, 1, 1, 1, 1, 1, 1, 1}));
         })},
        {"four-channel matrix", BuildDcp([](auto& ifd) {
             ifd.srationals(kColorMatrix1, Rationals({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0}));
         })},
        {"not a profile", std::vector<uint8_t>{'I', 'I', 42, 0, 8, 0, 0, 0}},
        {"empty file", {}},
    };
    for (const auto& c : cases) {
        const fs::path file = testsupport::writeFile(home.path(), "bad.dcp", c.bytes);
        EXPECT_EQ(DNGCameraProfileAbstract::createFromFile(file), nullptr) << c.what;
    }
    EXPECT_EQ(DNGCameraProfileAbstract::createFromFile(home.path() / "missing.dcp"), nullptr);
}

// A stored profile whose file no longer passes is the automatic profile through and
// through: none of the rejected file's curve survives in its tables.
TEST(DNGCameraProfileFile, RejectedStoredProfileFallsBackToTheDefaultCurve) {
    testsupport::TempHome home;
    const auto folder = CameraProfileManager::profileDirectory();
    ASSERT_TRUE(folder);
    writeDcp(*folder, "Broken.dcp", [](auto& ifd) {
        ifd.srationals(kColorMatrix1, Rationals({1, 1, 1, 1, 1, 1, 1, 1, 1}))
            .floats(kToneCurve, {0, 0, 0.5f, 0.9f, 1, 1});
    });
    auto p = DNGCameraProfileAbstract::createFromPList(
        {{"Class_of_serialized_Object", "DNGCameraProfileAbstract"}, {"FileName", "Broken.dcp"}});
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->isAutoProfile());
    EXPECT_EQ(p->dngProfile(), nullptr);
    EXPECT_EQ(p->icon(), nullptr);
    EXPECT_EQ(gainTable(*p), gainTable(*DNGCameraProfileAbstract::createAsAutoProfile()));
    EXPECT_FLOAT_EQ(gainTable(*p)[32768], defaultGain(32768));

    // The same file with a usable matrix is taken, curve and all.
    writeDcp(*folder, "Good.dcp", kCurved);
    auto good = DNGCameraProfileAbstract::createFromPList(
        {{"Class_of_serialized_Object", "DNGCameraProfileAbstract"}, {"FileName", "Good.dcp"}});
    EXPECT_FALSE(good->isAutoProfile());
    EXPECT_NE(good->dngProfile(), nullptr);
}

TEST(DNGCameraProfileFile, IconDrawsTheCurveOverAGreyRamp) {
    testsupport::TempHome home;
    EXPECT_EQ(DNGCameraProfileAbstract::createAsAutoProfile()->icon(), nullptr);
    auto p = DNGCameraProfileAbstract::createFromFile(writeDcp(home.path(), "c.dcp", kCurved));
    ASSERT_NE(p, nullptr);
    const auto& icon = p->icon();
    ASSERT_NE(icon, nullptr);
    ASSERT_EQ(icon->width(), 128u);
    ASSERT_EQ(icon->height(), 128u);
    ASSERT_EQ(icon->bitsPerPixel(), 32u);
    const auto pixel = [&](size_t col, size_t row) {
        return icon->data() + row * icon->bytesPerRow() + col * 4;
    };
    // The curve passes (0.5, 0.75): at column 63.5 it lies about 32 rows from the top.
    int curveRow = -1;
    for (size_t row = 0; row < 128; ++row)
        if (pixel(64, row)[0] == 255 && pixel(64, row)[1] != 255) {
            curveRow = int(row);
            break;
        }
    EXPECT_NEAR(curveRow, 127 - 0.75 * 127, 2);
    // Away from the curve (which starts at the bottom left and ends at the top right): the ramp, opaque.
    const struct { size_t col, row; } away[] = {{0, 0}, {32, 0}, {127, 127}};
    for (const auto& a : away) {
        const uint8_t* px = pixel(a.col, a.row);
        EXPECT_EQ(px[0], std::lround(a.col * 255.0 / 127)) << a.col;
        EXPECT_EQ(px[0], px[1]);
        EXPECT_EQ(px[1], px[2]);
        EXPECT_EQ(px[3], 255);
    }
}

TEST(DNGCameraProfileTables, NoToneCurveWeightGivesUnitGains) {
    const auto table = gainTable(*DNGCameraProfileAbstract::createAsAutoProfile(), 0, false, true, 0);
    EXPECT_EQ(table[0], 0.0f);
    for (uint32_t i = 1; i < table.size(); ++i)
        ASSERT_EQ(table[i], 1.0f) << i;
}

TEST(DNGCameraProfileTables, CurveComesFromTheFileOrTheDefault) {
    testsupport::TempHome home;
    auto curved = DNGCameraProfileAbstract::createFromFile(writeDcp(home.path(), "c.dcp", kCurved));
    auto flat = DNGCameraProfileAbstract::createFromFile(
        writeDcp(home.path(), "f.dcp", [](auto& ifd) { ifd.srationals(kColorMatrix1, kMatrixA); }));
    ASSERT_TRUE(curved && flat);
    EXPECT_NEAR(gainTable(*curved)[32768], 0.75f / (32768.0f / 65535), 1e-4);
    EXPECT_NEAR(gainTable(*curved, 0, false, true, 0.5f)[32768], (0.5f + 0.25f * 0.5f) / (32768.0f / 65535),
                1e-4);
    // Without a curve in the file, the default curve, as for the automatic profile.
    const auto table = gainTable(*flat);
    for (uint32_t i : {1u, 100u, 16384u, 40000u, 65534u})
        EXPECT_FLOAT_EQ(table[i], defaultGain(i)) << i;
    EXPECT_EQ(table[65535], 1.0f);
    // Output-referred without a negative exposure: no curve at all.
    const auto referred = gainTable(*curved, 0, true);
    for (uint32_t i : {1u, 32768u, 65535u})
        EXPECT_EQ(referred[i], 1.0f) << i;

    std::vector<uint16_t> levels(65536, 7);
    curved->generateLUT16(levels.data(), nullptr, 0, false, true, 1);
    EXPECT_EQ(levels[0], 7) << "entry 0 is not written";
    EXPECT_NEAR(levels[32768], 0.75 * 65535, 2);
    EXPECT_EQ(levels[65535], 65535);
    // A weight above 1 pushes the curve past white: the levels stop at 65535.
    curved->generateLUT16(levels.data(), nullptr, 0, false, true, 3);
    EXPECT_EQ(levels[65000], 65535);
    // One entry has no x = i / (n - 1): nothing is written.
    float single = 7;
    curved->generateLUT(nullptr, &single, 1, 0, false, true, 1);
    EXPECT_EQ(single, 7);
}

TEST(DNGCameraProfileTables, ExposureCurveMeetsItsLineAtAQuarter) {
    for (float e : {-2.0f, -1.0f, -0.25f}) {
        const auto curve = DNGCameraProfileAbstract::computecurveAdjust(e);
        const float slope = std::exp2(e);
        EXPECT_FLOAT_EQ(curve.fSlope, slope);
        const float h = 1e-3f;
        EXPECT_NEAR(curve.curveAdjust(0.25f + h), (0.25f + h) * slope, 1e-5) << e << ": same value";
        EXPECT_NEAR((curve.curveAdjust(0.25f + h) - curve.curveAdjust(0.25f)) / h, slope, 2e-3)
            << e << ": same slope";
        EXPECT_NEAR(curve.curveAdjust(1.0f), 1.0f, 1e-6) << e;
        EXPECT_FLOAT_EQ(curve.curveAdjust(0.1f), 0.1f * slope) << e;
    }
    const auto line = DNGCameraProfileAbstract::computecurveAdjust(1);
    EXPECT_FLOAT_EQ(line.curveAdjust(0.8f), 1.6f);

    // The curve enters the table only for a negative baseline with whites kept.
    auto p = DNGCameraProfileAbstract::createAsAutoProfile();
    const auto bent = gainTable(*p, -1, true, false);
    EXPECT_FLOAT_EQ(bent[8000], 0.5f);
    EXPECT_NEAR(bent[65535], 1.0f, 1e-6);
    EXPECT_EQ(gainTable(*p, -1, true, true)[8000], 1.0f);
}

// Table generation keeps its working values to itself: the output engine and an export
// may generate on one profile at once.
TEST(DNGCameraProfileTables, ConcurrentGenerationsDoNotMix) {
    auto p = DNGCameraProfileAbstract::createAsAutoProfile();
    const auto expectedA = gainTable(*p, -1, false, false), expectedB = gainTable(*p, -0.25f, false, false);
    bool same = true;
    std::thread other([&] {
        for (int n = 0; n < 8; ++n)
            same = same && gainTable(*p, -0.25f, false, false) == expectedB;
    });
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(gainTable(*p, -1, false, false), expectedA);
    other.join();
    EXPECT_TRUE(same);
}

TEST(DNGCameraProfileTables, ClassCurvesUseTheOneDefaultTable) {
    using P = DNGCameraProfileAbstract;
    for (float x : {0.0005f, 0.1f, 0.5f, 0.999f})
        EXPECT_EQ(P::dng_tone_curve_acr3_defaultInRangeFrom(x, 0, 1), P::dng_tone_curve_acr3_default(x)) << x;
    for (float x : {-0.1f, 0.0f, 1.0f, 1.2f})
        EXPECT_EQ(P::dng_tone_curve_acr3_default(x), x) << x;
    // Laid over another range the curve stays inside it.
    EXPECT_FLOAT_EQ(P::dng_tone_curve_acr3_defaultInRangeFrom(0.5f, 0.25f, 0.75f),
                    0.25f + 0.5f * P::dng_tone_curve_acr3_default(0.5f));
    EXPECT_EQ(P::dng_tone_curve_acr3_defaultInRangeFrom(0.8f, 0.25f, 0.75f), 0.8f);
    EXPECT_FLOAT_EQ(P::dng_tone_curve_acr3_defaultForNormalizedRangeFrom(0.5f, 0.25f, 1.0f),
                    P::dng_tone_curve_acr3_default(1.0f / 3));
}
