#include "dng/dng_camera_profile.h"
#include "dng/dng_camera_profile_info.h"
#include "dng/dng_stream.h"
#include "dng/dng_xy_coord.h"

#include "DngErrorMatchers.h"
#include "tests/support/DcpBuilder.h"
#include "tests/support/TiffBuilder.h"

#include <cmath>
#include <functional>
#include <memory>
#include <string>

namespace {

using testsupport::BuildDcp;
using testsupport::Rationals;
using testsupport::TiffBuilder;
using Fill = std::function<void(TiffBuilder::Ifd&)>;

// Every tag the reader knows, with two 2 x 2 maps (the first without its zero-saturation column).
void FullProfile(TiffBuilder::Ifd& ifd) {
    ifd.ascii(50708, "Maker Model  ")
        .ascii(50936, "Studio v2 beta")
        .ascii(50942, "Copyright holder")
        .ascii(50932, "signature")
        .shorts(50778, {17})
        .shorts(50779, {21})
        .srationals(50721, Rationals({1, 0, 0, 0, 1, 0, 0, 0, 1}))
        .srationals(50722, Rationals({0.9, 0.1, 0, 0, 1, 0, 0, 0.1, 0.9}))
        .srationals(50964, Rationals({0.5, 0.3, 0.1642, 0.2, 0.7, 0.1, 0, 0.1, 0.7251}))
        .longs(50937, {2, 2, 1})
        .floats(50938, {10, 1.5f, 2, 20, 2.5f, 3})
        .floats(50939, {1, 1, 1, 5, 1.1f, 1.2f, 2, 1, 1, 6, 1.3f, 1.4f})
        .floats(50940, {0, 0, 0.5f, 0.6f, 1, 1})
        .longs(50941, {3})
        .longs(51107, {1})
        .srationals(51109, {{-1, 2}})
        .longs(51110, {1});
}

struct ReadResult {
    bool ok;
    dng_camera_profile profile;
};

std::unique_ptr<ReadResult> Read(const std::vector<uint8_t>& bytes, const char* oldName = nullptr) {
    auto result = std::make_unique<ReadResult>();
    if (oldName) result->profile.SetName(oldName);
    dng_stream stream(bytes.data(), uint32_t(bytes.size()));
    result->ok = result->profile.ReadFromDCPStream(stream);
    return result;
}

TEST(CameraProfileDcp, ReadsEveryTag) {
    auto r = Read(BuildDcp(FullProfile));
    ASSERT_TRUE(r->ok);
    const dng_camera_profile& p = r->profile;
    EXPECT_STREQ(p.UniqueCameraModelRestriction().Get(), "Maker Model");
    EXPECT_STREQ(p.Name().Get(), "Studio v2 beta");
    EXPECT_STREQ(p.Copyright().Get(), "Copyright holder");
    EXPECT_STREQ(p.ProfileCalibrationSignature().Get(), "signature");
    EXPECT_EQ(p.CalibrationIlluminant1(), 17u);
    EXPECT_EQ(p.CalibrationIlluminant2(), 21u);
    ASSERT_TRUE(p.HasColorMatrix1());
    ASSERT_TRUE(p.HasColorMatrix2());
    EXPECT_EQ(p.ColorMatrix1()[1][1], 1.0);
    EXPECT_DOUBLE_EQ(p.ColorMatrix2()[0][0], 0.9);
    EXPECT_DOUBLE_EQ(p.ForwardMatrix1()[2][2], 0.7251);
    EXPECT_TRUE(p.ForwardMatrix2().IsEmpty());
    EXPECT_EQ(p.EmbedPolicy(), 3u);
    EXPECT_EQ(p.HueSatMapEncoding(), 1u);
    EXPECT_EQ(p.BaselineExposureOffset(), dng_srational(-50, 100));
    EXPECT_EQ(p.DefaultBlackRender(), 1u);

    ASSERT_EQ(p.ToneCurve().fCoord.size(), 3u);
    EXPECT_FLOAT_EQ(float(p.ToneCurve().fCoord[1].h), 0.5f);
    EXPECT_FLOAT_EQ(float(p.ToneCurve().fCoord[1].v), 0.6f);

    // Map 1 left out saturation 0: it is filled from saturation 1 with value scale 1.
    const dng_hue_sat_map& m1 = p.HueSatDeltas1();
    ASSERT_TRUE(m1.IsValid());
    EXPECT_EQ(m1.GetEntry(1, 1, 0).fHueShift, 20.0f);
    EXPECT_EQ(m1.GetEntry(1, 1, 0).fValScale, 3.0f);
    EXPECT_EQ(m1.GetEntry(1, 0, 0).fHueShift, 20.0f);
    EXPECT_EQ(m1.GetEntry(1, 0, 0).fSatScale, 2.5f);
    EXPECT_EQ(m1.GetEntry(1, 0, 0).fValScale, 1.0f);
    const dng_hue_sat_map& m2 = p.HueSatDeltas2();
    ASSERT_TRUE(m2.IsValid());
    EXPECT_EQ(m2.GetEntry(1, 1, 0).fHueShift, 6.0f);
    EXPECT_FALSE(p.LookTable().IsValid());
    EXPECT_TRUE(p.IsUsableForChannels(3));
}

TEST(CameraProfileDcp, BigEndianTwinReadsTheSame) {
    auto little = Read(BuildDcp(FullProfile, TiffBuilder::Order::Little));
    auto big = Read(BuildDcp(FullProfile, TiffBuilder::Order::Big));
    ASSERT_TRUE(little->ok);
    ASSERT_TRUE(big->ok);
    EXPECT_EQ(little->profile, big->profile);
    EXPECT_STREQ(big->profile.Name().Get(), little->profile.Name().Get());
    EXPECT_EQ(big->profile.Fingerprint(), little->profile.Fingerprint());
}

TEST(CameraProfileDcp, DamagedHeadersFail) {
    std::vector<uint8_t> good = BuildDcp(FullProfile);
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
    } cases[] = {
        {"byte order", [](auto& b) { b[0] = 'X'; }},
        {"magic", [](auto& b) { b[2] = 0x2A; }},
        {"directory offset past the end", [](auto& b) { b[4] = b[5] = b[6] = b[7] = 0xF0; }},
        {"empty directory",
         [](auto& b) {
             const uint32_t d = b[4] | b[5] << 8 | b[6] << 16 | uint32_t(b[7]) << 24;
             b[d] = b[d + 1] = 0;
         }},
        {"truncated directory", [](auto& b) { b.resize(b.size() / 2); }},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.damage(bytes);
        EXPECT_FALSE(Read(bytes)->ok) << c.what;
    }
}

TEST(CameraProfileDcp, EveryTruncationAndByteFlipStaysSafe) {
    const std::vector<uint8_t> good = BuildDcp(FullProfile);
    for (std::size_t n = 0; n < good.size(); ++n) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(n));
        (void)Read(cut);
    }
    for (std::size_t i = 0; i < good.size(); ++i) {
        std::vector<uint8_t> flipped = good;
        flipped[i] ^= 0xFF;
        (void)Read(flipped);
    }
}

TEST(CameraProfileDcp, OversizedCountsAreRefusedNotAllocated) {
    // A map claiming 4096 x 4096 x 2 entries whose data count matches but whose bytes are absent.
    const uint32_t claimed = 4096u * 4096u * 2u * 3u;
    auto r = Read(BuildDcp([&](TiffBuilder::Ifd& ifd) {
        ifd.srationals(50721, Rationals({1, 0, 0, 0, 1, 0, 0, 0, 1}))
            .longs(50937, {4096, 4096, 2})
            .raw(50938, 11, claimed, {8, 0, 0, 0});
    }));
    EXPECT_FALSE(r->ok);
    EXPECT_FALSE(r->profile.HueSatDeltas1().IsValid());

    auto overflow = Read(BuildDcp([](TiffBuilder::Ifd& ifd) {
        ifd.longs(50937, {65536, 65536, 4}).raw(50938, 11, 12, {0, 0, 0, 0});
    }));
    EXPECT_FALSE(overflow->ok);

    auto longName = Read(BuildDcp([](TiffBuilder::Ifd& ifd) {
        ifd.raw(50936, 2, 0xFFFFFFF0u, {0, 0, 0, 0});
    }));
    EXPECT_FALSE(longName->ok);
}

TEST(CameraProfileDcp, ToneCurveTagsThatDoNotFitLeaveItEmpty) {
    const struct {
        const char* what;
        Fill fill;
    } cases[] = {
        {"odd count",
         [](auto& ifd) {
             ifd.floats(50940, {0, 0, 0.5f, 0.5f, 1});
         }},
        {"two values",
         [](auto& ifd) {
             ifd.floats(50940, {0, 1});
         }},
        {"not float",
         [](auto& ifd) {
             ifd.longs(50940, {0, 0, 1, 1});
         }},
    };
    for (const auto& c : cases) {
        auto r = Read(BuildDcp(c.fill));
        ASSERT_TRUE(r->ok) << c.what;
        EXPECT_TRUE(r->profile.ToneCurve().fCoord.empty()) << c.what;
    }
    std::vector<float> tooMany(16386, 0.5f);
    auto r = Read(BuildDcp([&](auto& ifd) { ifd.floats(50940, tooMany); }));
    EXPECT_FALSE(r->ok);
}

TEST(CameraProfileDcp, TagsThatDoNotFitAreIgnored) {
    auto onlySecond = Read(BuildDcp([](auto& ifd) {
        ifd.shorts(50779, {21}).srationals(50722, Rationals({1, 0, 0, 0, 1, 0, 0, 0, 1}));
    }));
    ASSERT_TRUE(onlySecond->ok);
    EXPECT_TRUE(onlySecond->profile.HasColorMatrix1());
    EXPECT_TRUE(onlySecond->profile.ColorMatrix2().IsEmpty());

    auto bad = Read(BuildDcp([](auto& ifd) {
        ifd.srationals(50721, Rationals({1, 0, 0}))
            .longs(50937, {2, 2, 1})
            .floats(50938, {1, 1, 1, 1, 1})
            .floats(50939, std::vector<float>(12, 1.0f))
            .srationals(50964, Rationals({1, 0, 0, 0, 1, 0, 0, 0, 1}));
    }));
    ASSERT_TRUE(bad->ok);
    EXPECT_TRUE(bad->profile.ColorMatrix1().IsEmpty());
    EXPECT_TRUE(bad->profile.ForwardMatrix1().IsEmpty());
    EXPECT_FALSE(bad->profile.HueSatDeltas1().IsValid());
    EXPECT_TRUE(bad->profile.HueSatDeltas2().IsValid());

    auto keepsName = Read(BuildDcp([](auto& ifd) { ifd.ascii(50936, ""); }), "Previous");
    ASSERT_TRUE(keepsName->ok);
    EXPECT_STREQ(keepsName->profile.Name().Get(), "Previous");
}

TEST(CameraProfile, ColorMatrixNormalisation) {
    // D50 XYZ is (0.9642, 1, 0.8251); row 1 below answers 0.995 and stays unscaled.
    dng_matrix nearOne(3, 3);
    nearOne[0][0] = 0.5;
    nearOne[1][1] = 0.995;
    nearOne[2][2] = 0.123456;
    dng_camera_profile p;
    p.SetColorMatrix1(nearOne);
    EXPECT_DOUBLE_EQ(p.ColorMatrix1()[1][1], 0.995);
    EXPECT_DOUBLE_EQ(p.ColorMatrix1()[2][2], 0.1235);

    dng_matrix twice(3, 3);
    twice[0][0] = twice[1][1] = twice[2][2] = 2.0;
    p.SetColorMatrix1(twice);
    EXPECT_DOUBLE_EQ(p.ColorMatrix1()[1][1], 1.0);
    EXPECT_DOUBLE_EQ(p.ColorMatrix1()[0][0], 1.0);
}

TEST(CameraProfile, UsabilityAndFourColorBayer) {
    auto r = Read(BuildDcp(FullProfile));
    dng_camera_profile& p = r->profile;
    EXPECT_FALSE(p.IsUsableForChannels(4));
    EXPECT_TRUE(p.IsUsableForChannels(1));
    const dng_matrix before = p.ColorMatrix2();
    p.SetFourColorBayer();
    ASSERT_EQ(p.ColorMatrix2().Rows(), 4u);
    for (uint32_t c = 0; c < 3; ++c) {
        EXPECT_EQ(p.ColorMatrix2()[3][c], before[1][c]);
        EXPECT_EQ(p.ColorMatrix2()[2][c], before[2][c]);
    }
    EXPECT_TRUE(p.ForwardMatrix1().IsEmpty());
    EXPECT_DNG_ERROR(p.SetFourColorBayer(), dng_error_unknown);

    dng_camera_profile singular;
    singular.SetColorMatrix1(dng_matrix(3, 3));
    EXPECT_FALSE(singular.IsUsableForChannels(3));
}

TEST(CameraProfile, ForwardMatrixMustMapWhiteToD50) {
    dng_matrix forward(3, 3);
    forward[0][0] = forward[1][1] = forward[2][2] = 2.0;
    forward[0][1] = 1.0;
    EXPECT_FALSE(dng_camera_profile::ForwardMatrixMapsToD50(forward));
    auto unusable = Read(BuildDcp([](TiffBuilder::Ifd& ifd) {
        ifd.srationals(50721, Rationals({1, 0, 0, 0, 1, 0, 0, 0, 1}))
            .srationals(50964, Rationals({2, 1, 0, 0, 2, 0, 0, 0, 2}));
    }));
    ASSERT_TRUE(unusable->ok);
    EXPECT_FALSE(unusable->profile.IsUsableForChannels(3));

    dng_camera_profile::ScaleForwardMatrix(forward);
    EXPECT_TRUE(dng_camera_profile::ForwardMatrixMapsToD50(forward));
    // Rows keep their proportions: row 0 was 2 : 1 : 0 and now sums to D50's X.
    EXPECT_NEAR(forward[0][0], D50_XYZ()[0] * 2 / 3, 1e-12);
    EXPECT_TRUE(dng_camera_profile::ForwardMatrixMapsToD50(dng_matrix()));
}

TEST(CameraProfileDcp, OffsetsCountFromTheStartOfTheProfile) {
    // A DCP that begins after 100 bytes of something else still finds its directory and data.
    std::vector<uint8_t> bytes(100, 0xAA);
    const std::vector<uint8_t> dcp = BuildDcp(FullProfile);
    bytes.insert(bytes.end(), dcp.begin(), dcp.end());
    dng_stream stream(bytes.data(), uint32_t(bytes.size()));
    stream.SetReadPosition(100);
    dng_camera_profile p;
    ASSERT_TRUE(p.ReadFromDCPStream(stream));
    EXPECT_EQ(p.ToneCurve().fCoord.size(), 3u);
    EXPECT_EQ(p.HueSatDeltas2().GetEntry(1, 1, 0).fHueShift, 6.0f);
}

TEST(CameraProfile, FingerprintFollowsContent) {
    auto a = Read(BuildDcp(FullProfile));
    auto b = Read(BuildDcp(FullProfile));
    const dng_fingerprint first = a->profile.Fingerprint();
    EXPECT_FALSE(first.IsNull());
    EXPECT_EQ(b->profile.Fingerprint(), first);
    a->profile.SetName("Other");
    EXPECT_NE(a->profile.Fingerprint(), first);
    // Names take no part in equality.
    EXPECT_EQ(a->profile, b->profile);

    dng_camera_profile empty, alsoEmpty;
    alsoEmpty.SetName("whatever");
    EXPECT_EQ(empty.Fingerprint(), alsoEmpty.Fingerprint());
}

TEST(CameraProfile, HueSatMapForWhite) {
    auto r = Read(BuildDcp(FullProfile));
    const dng_camera_profile& p = r->profile;
    // Illuminant 17 is 2850 K and 21 is 6500 K: a warmer white takes map 1, a cooler one map 2.
    std::unique_ptr<dng_hue_sat_map> warm(p.HueSatMapForWhite(dng_xy_coord(0.5267, 0.4133)));
    std::unique_ptr<dng_hue_sat_map> cool(p.HueSatMapForWhite(dng_xy_coord(0.2807, 0.2884)));
    std::unique_ptr<dng_hue_sat_map> between(p.HueSatMapForWhite(dng_xy_coord(0.3805, 0.3768)));
    EXPECT_EQ(*warm, p.HueSatDeltas1());
    EXPECT_EQ(*cool, p.HueSatDeltas2());
    const float mid = between->GetEntry(1, 1, 0).fHueShift;
    EXPECT_GT(mid, 6.0f);
    EXPECT_LT(mid, 20.0f);

    auto same = Read(BuildDcp([](TiffBuilder::Ifd& ifd) {
        FullProfile(ifd);
        ifd.shorts(50778, {21});
    }));
    std::unique_ptr<dng_hue_sat_map> copy(same->profile.HueSatMapForWhite(dng_xy_coord(0.2807, 0.2884)));
    EXPECT_EQ(*copy, same->profile.HueSatDeltas1());

    dng_camera_profile none;
    EXPECT_EQ(none.HueSatMapForWhite(D50_xy_coord()), nullptr);
}

TEST(CameraProfile, SplitProfileName) {
    const struct {
        const char* name;
        const char* base;
        int32_t version;
    } cases[] = {
        {"ACR 4.3", "ACR", 43},
        {"Camera Standard", "Camera Standard", 0},
        {"Camera Standard beta", "Camera Standard", -10},
        {"Camera Standard BETA 3", "Camera Standard", -7},
        {"Portrait v2", "Portrait", 200},
        {"Portrait v3 beta", "Portrait", 290},
        {"v5", "v5", 0},
    };
    for (const auto& c : cases) {
        dng_string name, base;
        name.Set(c.name);
        int32_t version = 99;
        dng_camera_profile::SplitProfileName(name, base, version);
        EXPECT_STREQ(base.Get(), c.base) << c.name;
        EXPECT_EQ(version, c.version) << c.name;
    }
}

TEST(CameraProfile, IlluminantTemperatures) {
    const struct {
        uint32_t code;
        double kelvin;
    } cases[] = {{0, 0}, {1, 5500}, {3, 2850}, {5, 0}, {17, 2850}, {21, 6500}, {24, 3200}, {25, 0}, {255, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(dng_camera_profile::IlluminantTemperature(c.code), c.kelvin) << c.code;
}

} // namespace
