// The matrix/shaper shortcut of the colour conversion against a Little CMS transform of the
// same profiles, pixel by pixel. Float results agree within 1e-5 relative (plus 1e-6, or one
// 16-bit step where a curve is a table, which Little CMS itself evaluates on 16-bit codes);
// 16-bit results within one code of Little CMS's unoptimised pipeline. Greys are the
// exception: they stay exactly grey.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "color/ColorMatchTransform.h"
#include "color/MatrixShaperTransform.h"
#include "color/ProfileManager.h"
#include "tests/color/IccTestProfiles.h"

namespace {

using Profile = std::shared_ptr<ColorSyncProfileWrap>;

Profile fromBytes(const std::vector<uint8_t>& bytes) {
    return ColorSyncProfileWrap::createWithBuffer(bytes.data(), uint32_t(bytes.size()));
}

ProfileManager& manager() { return ProfileManager::sharedManager(); }

Profile linearD65() { return manager().getProPhotoGamma1_D65Profile(); }
Profile linearD50() { return manager().getProPhotoGamma1Profile(); }
Profile proPhoto18() { return manager().getProPhotoProfile(); }
Profile absoluteProPhoto() { return manager().getProPhotocmAbsoluteColorimetricProfile(); }
Profile srgb() { return manager().getSRGBProfile(); }
Profile bt709() { return manager().getIUT709Profile(); }
Profile linearRGB() { return ColorSyncProfileWrap::createWithLinearRGB(); }
Profile palSecam22() { return manager().getPAL_SECAMGamma22Profile(); }
Profile genericPhotoCD() { return manager().getTarnwellXgProfile(); }
Profile parametric() { return fromBytes(icctest::parametricProfile()); }
Profile tabulated() { return fromBytes(icctest::tabulatedProfile()); }

struct Pair {
    const char* name;
    Profile (*source)();
    Profile (*destination)();
    bool tabulated; // a curve on either side is a table
};

const Pair kPairs[] = {
    {"linear ProPhoto D65 to sRGB", linearD65, srgb, true},
    {"linear ProPhoto D65 to linear ProPhoto", linearD65, linearD50, false},
    {"linear ProPhoto D65 to ProPhoto 1.8", linearD65, proPhoto18, false},
    {"ProPhoto 1.8 to linear ProPhoto D65", proPhoto18, linearD65, false},
    {"sRGB to linear ProPhoto", srgb, linearD50, true},
    {"linear ProPhoto D65 to BT.709 (version 4)", linearD65, bt709, false},
    {"BT.709 (version 4) to linear ProPhoto D65", bt709, linearD65, false},
    {"linear ProPhoto D65 to absolute colorimetric ProPhoto", linearD65, absoluteProPhoto, false},
    {"linear RGB (chad, version 2.2) to PAL/SECAM 2.2", linearRGB, palSecam22, false},
    {"generic Photo CD (4096-entry tables) to linear ProPhoto D65", genericPhotoCD, linearD65, true},
    {"per-channel parametric curves to linear ProPhoto D65", parametric, linearD65, false},
    {"linear ProPhoto D65 to per-channel parametric curves", linearD65, parametric, false},
    {"1024-entry tables to linear ProPhoto D65", tabulated, linearD65, true},
    {"linear ProPhoto D65 to 1024-entry tables", linearD65, tabulated, true},
};

// A Little CMS transform made as the conversion makes its own.
struct Reference {
    icctest::Handle source, destination;
    cmsHTRANSFORM transform = nullptr;
    Reference(ColorSyncProfileWrap& src, ColorSyncProfileWrap& dest, cmsUInt32Number format,
              cmsUInt32Number flags = 0)
        : source(icctest::open(src)), destination(icctest::open(dest)) {
        cmsHPROFILE profiles[2] = {source.get(), destination.get()};
        cmsBool bpc[2] = {FALSE, FALSE};
        cmsUInt32Number intents[2] = {src.renderingIntent(), dest.renderingIntent()};
        cmsFloat64Number adaptation[2] = {1.0, 1.0};
        transform =
            cmsCreateExtendedTransform(nullptr, 2, profiles, bpc, intents, adaptation, nullptr, 0, format,
                                       format, flags | cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA);
    }
    ~Reference() {
        if (transform) cmsDeleteTransform(transform);
    }
    // The pixels through Little CMS (`expected`) and through `ours` (`actual`).
    template <class T>
    void convertBoth(const ColorMatchTransform& ours, const std::vector<T>& pixels, std::vector<T>& expected,
                     std::vector<T>& actual) const {
        expected = pixels, actual = pixels;
        cmsDoTransform(transform, expected.data(), expected.data(), cmsUInt32Number(pixels.size() / 4));
        ours.convert(reinterpret_cast<uint8_t*>(actual.data()), pixels.size() / 4, 1,
                     pixels.size() * sizeof(T));
    }
};

// Greys come out exactly grey, their green converted alone through the matrix snapped to
// join the white points: within 1e-3 of Little CMS's green, which carries the drift of the
// profiles' stated whites and fixed-point colorants (up to 8e-4 for the linear RGB profile).
constexpr float kGreyDrift = 1e-3f;

template <class T> bool isGrey(const std::vector<T>& pixels, size_t sample) {
    const T* p = &pixels[sample / 4 * 4];
    return p[0] == p[1] && p[1] == p[2];
}

// Edge values on every channel combination, then random ones in and beyond [0, 1].
std::vector<float> floatPixels() {
    const float edges[] = {0.0f, 1.0f, 1e-7f, 1e-4f, 0.0031308f, 0.04045f, 0.5f, 0.999f, 1.5f, 20.0f, -0.05f};
    std::vector<float> pixels;
    for (float r : edges)
        for (float g : edges)
            for (float b : edges)
                pixels.insert(pixels.end(), {r, g, b, 0.25f});
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), wide(0.0f, 4.0f);
    for (int i = 0; i < 3000; ++i) {
        auto& d = i % 3 == 2 ? wide : unit;
        pixels.insert(pixels.end(), {d(random), d(random), d(random), unit(random)});
    }
    return pixels;
}

TEST(MatrixShaperTransform, FloatMatchesLittleCMS) {
    const auto pixels = floatPixels();
    for (const auto& pair : kPairs) {
        SCOPED_TRACE(pair.name);
        auto source = pair.source(), destination = pair.destination();
        ASSERT_TRUE(source && destination);
        auto transform =
            ColorMatchTransform::create(*source, *destination, ColorMatchTransform::Depth::Float32);
        ASSERT_TRUE(transform);
        EXPECT_TRUE(transform->usesMatrixShaper());
        Reference reference(*source, *destination, TYPE_RGBA_FLT);
        ASSERT_TRUE(reference.transform);
        std::vector<float> expected, actual;
        reference.convertBoth(*transform, pixels, expected, actual);
        const float absolute = pair.tabulated ? 1.0f / 65535.0f : 1e-6f;
        int failures = 0;
        for (size_t i = 0; i < pixels.size() && failures < 5; ++i) {
            const bool grey = isGrey(pixels, i) && transform->keepsGreys();
            const float relative = grey ? kGreyDrift : 1e-5f;
            const float want = grey && i % 4 != 3 ? expected[i / 4 * 4 + 1] : expected[i];
            const bool ok = std::fabs(actual[i] - want) <= relative * std::fabs(want) + absolute;
            if (!ok) ++failures;
            EXPECT_TRUE(ok) << "pixel " << i / 4 << " (" << pixels[i / 4 * 4] << ", " << pixels[i / 4 * 4 + 1]
                            << ", " << pixels[i / 4 * 4 + 2] << ") channel " << i % 4 << ": " << actual[i]
                            << " vs " << expected[i];
        }
    }
}

TEST(MatrixShaperTransform, SixteenBitMatchesLittleCMSWithinOneCode) {
    std::vector<uint16_t> pixels;
    const uint16_t edges[] = {0, 1, 2, 100, 205, 2048, 32768, 65534, 65535};
    for (uint16_t r : edges)
        for (uint16_t g : edges)
            for (uint16_t b : edges)
                pixels.insert(pixels.end(), {r, g, b, 12345});
    std::mt19937 random(11);
    std::uniform_int_distribution<int> code(0, 65535);
    for (int i = 0; i < 3000; ++i)
        pixels.insert(pixels.end(), {uint16_t(code(random)), uint16_t(code(random)), uint16_t(code(random)),
                                     uint16_t(code(random))});
    for (const auto& pair : kPairs) {
        SCOPED_TRACE(pair.name);
        auto source = pair.source(), destination = pair.destination();
        auto transform =
            ColorMatchTransform::create(*source, *destination, ColorMatchTransform::Depth::UInt16);
        ASSERT_TRUE(transform);
        EXPECT_TRUE(transform->usesMatrixShaper());
        // Little CMS's unoptimised pipeline, the reference whatever it optimises by default.
        Reference reference(*source, *destination, TYPE_RGBA_16, cmsFLAGS_NOOPTIMIZE);
        ASSERT_TRUE(reference.transform);
        std::vector<uint16_t> expected, actual;
        reference.convertBoth(*transform, pixels, expected, actual);
        int failures = 0;
        for (size_t i = 0; i < pixels.size() && failures < 5; ++i) {
            const bool grey = isGrey(pixels, i) && transform->keepsGreys();
            const int want = grey && i % 4 != 3 ? expected[i / 4 * 4 + 1] : expected[i];
            const int slack = grey ? 1 + int(kGreyDrift * want) : 1;
            const bool ok = std::abs(int(actual[i]) - want) <= slack;
            if (!ok) ++failures;
            EXPECT_TRUE(ok) << "pixel " << i / 4 << " channel " << i % 4 << ": " << actual[i] << " vs "
                            << expected[i];
        }
    }
}

// The curve tables are filled in chunks on the workers: every entry must hold the curve's own
// value, as one loop over the table gave. Tabulated curves are read at the 16-bit codes,
// parametric ones at the table's steps (512 an octave from 2^-24 to 2^8, the mantissa's
// low 14 bits clear), where no interpolation blurs a wrong entry; between the steps,
// the steps evaluated exactly must be flagged, or the joint of sRGB's pieces shows.
TEST(MatrixShaperTransform, CurveTablesHoldTheCurveAtEveryEntry) {
    struct CurveFree {
        void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
    };
    using Curve = std::unique_ptr<cmsToneCurve, CurveFree>;
    const double srgbParams[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    std::vector<cmsUInt16Number> samples(1024);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = cmsUInt16Number(std::lround(std::pow(double(i) / 1023.0, 2.2) * 65535.0));
    Curve parametric(cmsBuildParametricToneCurve(nullptr, 4, srgbParams));
    Curve tabulated(cmsBuildTabulatedToneCurve16(nullptr, cmsUInt32Number(samples.size()), samples.data()));
    ASSERT_TRUE(parametric && tabulated);
    // The output side's curves are the inverses: an analytic one, and a 4096-entry table.
    Curve parametricInverse(cmsReverseToneCurve(parametric.get()));
    Curve tabulatedInverse(cmsReverseToneCurve(tabulated.get()));
    const std::pair<const char*, const cmsToneCurve*> curves[] = {
        {"sRGB parametric", parametric.get()},
        {"sRGB inverse", parametricInverse.get()},
        {"1024-entry table", tabulated.get()},
        {"its inverse", tabulatedInverse.get()},
    };
    for (const auto& [name, curve] : curves) {
        SCOPED_TRACE(name);
        auto table = color_detail::CurveTable::create(curve);
        ASSERT_TRUE(table);
        const bool isTable = cmsGetToneCurveParametricType(curve) == 0;
        size_t wrong = 0;
        if (isTable) {
            for (uint32_t code = 0; code < 65536; ++code) {
                const float v = float(code / 65535.0);
                wrong += std::bit_cast<uint32_t>((*table)(v)) !=
                         std::bit_cast<uint32_t>(cmsEvalToneCurveFloat(curve, v));
            }
            EXPECT_EQ(wrong, 0u);
            continue;
        }
        const uint32_t low = std::bit_cast<uint32_t>(0x1p-24f), high = std::bit_cast<uint32_t>(0x1p8f);
        constexpr uint32_t kStep = 1u << 14;
        size_t loose = 0;
        for (uint32_t bits = low; bits <= high; bits += kStep) {
            const float v = std::bit_cast<float>(bits);
            wrong += std::bit_cast<uint32_t>((*table)(v)) !=
                     std::bit_cast<uint32_t>(cmsEvalToneCurveFloat(curve, v));
            if (bits == high) break;
            for (uint32_t quarter = 1; quarter < 4; ++quarter) {
                const float x = std::bit_cast<float>(bits + quarter * (kStep / 4));
                const float exact = cmsEvalToneCurveFloat(curve, x);
                loose += !(std::fabs((*table)(x)-exact) <= 1e-6f * std::fabs(exact));
            }
        }
        EXPECT_EQ(wrong, 0u);
        EXPECT_EQ(loose, 0u);
    }
}

// Pixels the tables do not take come out of Little CMS as they always did.
TEST(MatrixShaperTransform, NonFinitePixelsGoThroughLittleCMS) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const std::vector<float> pixels = {nan,  0.5f, 0.5f, 1.0f, 0.2f,  nan,  0.7f, 0.5f,
                                       nan,  nan,  nan,  0.0f, inf,   0.1f, 0.1f, 1.0f,
                                       0.3f, -inf, 0.3f, 1.0f, 1e30f, 0.5f, 0.5f, 1.0f};
    auto source = manager().getProPhotoGamma1_D65Profile();
    for (auto destination : {manager().getSRGBProfile(), manager().getProPhotoGamma1Profile()}) {
        SCOPED_TRACE(destination->description());
        auto transform =
            ColorMatchTransform::create(*source, *destination, ColorMatchTransform::Depth::Float32);
        ASSERT_TRUE(transform && transform->usesMatrixShaper());
        Reference reference(*source, *destination, TYPE_RGBA_FLT);
        std::vector<float> expected, actual;
        reference.convertBoth(*transform, pixels, expected, actual);
        for (size_t i = 0; i < pixels.size(); ++i) {
            if (std::isnan(expected[i]))
                EXPECT_TRUE(std::isnan(actual[i])) << i;
            else
                EXPECT_EQ(actual[i], expected[i]) << i;
        }
    }
}

// Profiles that are not plain matrix/shapers on both sides keep Little CMS for every pixel.
TEST(MatrixShaperTransform, OtherProfilesKeepLittleCMS) {
    const std::pair<const char*, Profile> sources[] = {
        {"A2B0 beside the matrix", fromBytes(icctest::matrixShaperWithLut())},
        {"scanner table to Lab", manager().getTarnwell2eProfile()}};
    auto destination = manager().getSRGBProfile();
    std::vector<float> pixels = {0.0f, 0.0f, 0.0f, 1.0f, 0.2f, 0.5f, 0.8f, 0.5f, 1.0f, 1.0f, 1.0f, 0.0f};
    for (const auto& [what, source] : sources) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(source);
        auto transform =
            ColorMatchTransform::create(*source, *destination, ColorMatchTransform::Depth::Float32);
        ASSERT_TRUE(transform);
        EXPECT_FALSE(transform->usesMatrixShaper());
        Reference reference(*source, *destination, TYPE_RGBA_FLT);
        std::vector<float> expected, actual;
        reference.convertBoth(*transform, pixels, expected, actual);
        for (size_t i = 0; i < pixels.size(); ++i)
            EXPECT_EQ(actual[i], expected[i]) << i;
    }
}

} // namespace
