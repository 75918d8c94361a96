// The raw image wrapper over the real decoder: its renderings are the decoder's own
// buffers without the fourth value, with the options the wrapper's settings call for, and
// a file the decoder refuses gives error -5 with the decoder's text and no rendering.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <functional>
#include <vector>

#include "color/ColorHelper.h"
#include "platform/UserDefaults.h"
#include "raw/wrapper/rawWrapper.h"
#include "tests/raw/wrapper/DirectDecode.h"
#include "tests/support/DcpBuilder.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/RawFixtures.h"
#include "tests/support/Samples.h"
#include "tests/support/SyntheticDng.h"
#include "tests/support/TempHome.h"
#include "tests/support/TiffBuilder.h"

using wrappertest::decodeDirectly;
using wrappertest::DirectOptions;

namespace {

// Returns the decoder's own master decode.
wrappertest::Direct expectDecoderRenderings(rawWrapper& image, const std::string& path, DirectOptions options,
                                            bool alternate) {
    wrappertest::Direct master;
    for (int which : {0, 1}) {
        SCOPED_TRACE(which ? "alternate" : "master");
        auto rendering = which ? image.alternateImageBytes() : image.masterImageBytes();
        if (which == 1 && !alternate) {
            EXPECT_FALSE(rendering);
            continue;
        }
        options.which = which;
        auto direct = decodeDirectly(path, options);
        EXPECT_TRUE(direct.ok) << direct.status;
        EXPECT_TRUE(rendering);
        EXPECT_EQ(image.imageWidth(), direct.width);
        EXPECT_EQ(image.imageHeight(), direct.height);
        if (rendering && direct.ok && image.imageWidth() == direct.width &&
            image.imageHeight() == direct.height) {
            EXPECT_TRUE(std::equal(direct.rgb.begin(), direct.rgb.end(), rendering.get()));
        }
        if (which == 0) master = std::move(direct);
    }
    return master;
}

std::string chartDng(const testsupport::TempHome& home, size_t keepBytes = SIZE_MAX) {
    testsupport::SyntheticDngSpec spec;
    // Over-exposed in places, so that keeping highlights changes something.
    spec.scene = [](int x, int y) {
        const auto c = testsupport::chartColour(x, y, 64, 48);
        return testsupport::LinearRgb{c.r * 1.6, c.g * 1.6, c.b * 1.6};
    };
    auto bytes = testsupport::buildSyntheticDng(spec);
    bytes.resize(std::min(bytes.size(), keepBytes));
    return testsupport::writeFile(home.path(), "chart.dng", bytes).string();
}

// A profile for a camera that sees linear sRGB (XYZ to sRGB, IEC 61966-2-1): far from the
// matrices of any real camera.
std::shared_ptr<DNGCameraProfileAbstract> srgbCameraProfile(const testsupport::TempHome& home) {
    constexpr uint16_t kColorMatrix1 = 50721, kColorMatrix2 = 50722, kProfileName = 50936;
    const auto matrix =
        testsupport::Rationals({3.2406, -1.5372, -0.4986, -0.9689, 1.8758, 0.0415, 0.0557, -0.2040, 1.0570});
    const auto bytes = testsupport::BuildDcp([&](testsupport::TiffBuilder::Ifd& ifd) {
        ifd.ascii(kProfileName, "sRGB camera")
            .srationals(kColorMatrix1, matrix)
            .srationals(kColorMatrix2, matrix);
    });
    return DNGCameraProfileAbstract::createFromFile(
        testsupport::writeFile(home.path(), "sRGB camera.dcp", bytes));
}

std::array<double, 3> channelMeans(const uint16_t* rgb, size_t pixels) {
    std::array<double, 3> sum{};
    for (size_t i = 0; i < pixels; ++i)
        for (size_t c = 0; c < 3; ++c)
            sum[c] += rgb[3 * i + c];
    for (double& s : sum)
        s /= double(pixels) * 65535.0;
    return sum;
}

struct Developed {
    const char* file;
    const char* make;
    const char* model;
    uint16_t width, height;
    bool outputReferred; // its loader reads data the camera has rendered: no alternate
    bool noWhitePoint;   // a Kodak file without one: taken as sRGB under D65
};

// The decoder's own names and output sizes (after its cropping and pixel-aspect stretch).
const Developed kDeveloped[] = {
    {"BMPCC_cinemadng_frame.dng", "Blackmagic", "Pocket Cinema Camera", 1920, 1080, false, false},
    {"DC120_P003908_uncompressed.KDC", "Kodak", "DC120", 1301, 976, false, true},
    {"DC50_DC0008L.KDC", "Kodak", "DC50", 768, 512, true, true},
    {"EOS_D30.CRW", "Canon", "EOS D30", 2160, 1440, false, false},
    {"Pixel7_small.dng", "Google", "Pixel 7", 382, 510, false, false},
    {"PowerShotG2_CRW_0304.CRW", "Canon", "PowerShot G2", 2272, 1704, false, false},
    {"synthetic_1024_rggb_uncompressed.dng", "DNG", "", 1024, 1024, false, false},
};

class DevelopedSample : public ::testing::TestWithParam<Developed> {};

std::string fileTestName(std::string name) {
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

} // namespace

TEST_P(DevelopedSample, RendersAsTheDecoderDoes) {
    const Developed& sample = GetParam();
    LV_REQUIRE_SAMPLE(sample.file);
    testsupport::TempHome home;
    const std::string path = testsupport::samplePath(sample.file).string();
    rawWrapper image(path, "uuid", false);
    const auto direct = expectDecoderRenderings(image, path, {}, !sample.outputReferred);
    EXPECT_FALSE(image.error());
    const auto parameters = *image.getParameters();
    const XYCoord white =
        sample.noWhitePoint ? ColorHelper::D65_xy_coord() : XYCoord{direct.whitex, direct.whitey};
    EXPECT_EQ(parameters.at("asShotWhitex"), platform::Value(white[0]));
    EXPECT_EQ(parameters.at("asShotWhitey"), platform::Value(white[1]));
    const Matrix3x3 matrix = sample.noWhitePoint ? ColorHelper::XYZFromsRGB_D65() : direct.cameraFromXYZ;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            EXPECT_EQ(parameters.at("cameraFromXYZ" + std::to_string(row) + std::to_string(col)),
                      platform::Value(matrix[row][col]));
    EXPECT_EQ(parameters.at("make"), platform::Value(sample.make));
    EXPECT_EQ(parameters.at("model"), platform::Value(sample.model));
    EXPECT_EQ(parameters.at("status"), platform::Value("ok"));
    EXPECT_EQ(parameters.at("width"), platform::Value(sample.width));
    EXPECT_EQ(parameters.at("height"), platform::Value(sample.height));
    EXPECT_EQ(parameters.at("isOutputReferred"), platform::Value(sample.outputReferred));
}

INSTANTIATE_TEST_SUITE_P(Samples, DevelopedSample, ::testing::ValuesIn(kDeveloped),
                         [](const ::testing::TestParamInfo<Developed>& info) {
                             return fileTestName(info.param.file);
                         });

TEST(rawWrapperDecode, SettingsBecomeTheDecodersOptions) {
    testsupport::TempHome home;
    const std::string path = chartDng(home);
    struct Case {
        const char* what;
        bool monochrome, highlights, greenMatching;
    } cases[] = {
        {"as shot", false, false, false},
        {"monochrome", true, false, false},
        {"highlights kept", false, true, false},
        {"green matching from the user defaults", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::UserDefaults::standard().setBool(c.greenMatching, "enableNewPV");
        rawWrapper image(path, "uuid", false);
        image.setProcessAsMonchromeSensor(c.monochrome);
        image.setMaintainHighlights(c.highlights);
        expectDecoderRenderings(image, path, {0, c.monochrome, c.highlights, c.greenMatching, nullptr},
                                !c.monochrome);
    }
}

void expectRefused(const std::string& path, bool monochrome = false) {
    rawWrapper image(path, "uuid", false);
    image.setProcessAsMonchromeSensor(monochrome);
    EXPECT_FALSE(image.masterImageBytes());
    EXPECT_FALSE(image.alternateImageBytes());
    EXPECT_EQ(image.holdRenderings().master, nullptr);
    const auto direct = decodeDirectly(path, {0, monochrome, false, false, nullptr});
    ASSERT_FALSE(direct.ok);
    EXPECT_EQ(image.error(), (platform::Error{"RawOpenErrorDomain", -5, direct.status}));
    EXPECT_EQ(image.dcStatus(), direct.status);
}

struct Refused {
    const char* file;
    // Image data cut off: the decoder reads on past the end and develops the whole frame
    // before it fails. These go as monochrome, which skips the demosaicing (slow under
    // the sanitizers for frames this large) and fails in the loader all the same.
    bool cutOff;
};

class RefusedSample : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedSample, GivesTheDecodersTextAndNoRendering) {
    LV_REQUIRE_SAMPLE(GetParam().file);
    testsupport::TempHome home;
    expectRefused(testsupport::samplePath(GetParam().file).string(), GetParam().cutOff);
}

const Refused kRefused[] = {
    {"CanonRaw.cr2", false},
    {"CanonRaw.cr3", false},
    {"CanonRaw.crw", true},
    {"D7100_truncated.NEF", true},
    {"DC120_P003911_jpeg.KDC", false},
    {"DNG.dng", false},
    {"FujiFilm.raf", true},
    {"Hero7_GOPR8508.GPR", false},
    {"Minolta.mrw", true},
    {"Nikon.nef", true},
    {"NikonZ9_jxl_linear.dng", false},
    {"Panasonic.rw2", true},
    {"PhaseOne.iiq", false},
    {"PhotoCD.pcd", false},
    {"SLT-A55V_truncated.ARW", true},
    {"Sigma.x3f", false},
    {"canon_eos_6d_lossy_linear.dng", false},
    {"iPhone12Pro_header_only.dng", false},
};

INSTANTIATE_TEST_SUITE_P(Samples, RefusedSample, ::testing::ValuesIn(kRefused),
                         [](const ::testing::TestParamInfo<Refused>& info) {
                             return fileTestName(info.param.file);
                         });

TEST(rawWrapperDecode, CutOffAndMissingFilesGiveTheDecodersText) {
    testsupport::TempHome home;
    expectRefused(chartDng(home, 4000));
    const std::string gone = (home.path() / "gone.dng").string();
    expectRefused(gone);
    rawWrapper image(gone, "uuid", false);
    image.genImages();
    EXPECT_EQ(image.error()->failureReason, "No such file or directory");
    // Nothing was identified: the parameters end before the model.
    EXPECT_EQ(image.getParameters()->size(), 3u);
}

// The decoder leaves its renderings in the camera's space: the profile's matrix goes to the
// engine as the camera matrix, and in the decode it only sets the daylight balance, which
// a file balanced as shot does not use.
TEST(rawWrapperDecode, ADcpGivesItsMatrixInPlaceOfThePixel7s) {
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    testsupport::TempHome home;
    auto profile = srgbCameraProfile(home);
    ASSERT_TRUE(profile);
    const std::string path = testsupport::samplePath("Pixel7_small.dng").string();
    rawWrapper image(path, "uuid", false);
    const auto own = image.masterImageBytes();
    const float ownMatrix = image.cameraFromXYZ00();
    image.setCameraProfile(profile);
    expectDecoderRenderings(image, path, {0, false, false, false, profile}, true);
    EXPECT_NE(image.masterImageBytes(), own);
    EXPECT_NE(image.cameraFromXYZ00(), ownMatrix);
    const auto parameters = *image.getParameters();
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            EXPECT_FLOAT_EQ(
                parameters.at("cameraFromXYZ" + std::to_string(row) + std::to_string(col)).floatValue(),
                (profile->getcolorMatrix1(row, col) + profile->getcolorMatrix2(row, col)) / 2);
}

TEST(rawWrapperDecode, ADcpMovesTheBalanceOfAFileWithoutAsShotWhite) {
    LV_REQUIRE_SAMPLE("synthetic_1024_rggb_uncompressed.dng");
    testsupport::TempHome home;
    const std::string path = testsupport::samplePath("synthetic_1024_rggb_uncompressed.dng").string();
    rawWrapper image(path, "uuid", false);
    const size_t pixels = 1024 * 1024;
    const auto before = channelMeans(image.masterImageBytes().get(), pixels);
    image.setCameraProfile(srgbCameraProfile(home));
    const auto after = channelMeans(image.masterImageBytes().get(), pixels);
    for (int c = 0; c < 3; ++c)
        EXPECT_NE(after[c], before[c]) << "channel " << c;
    // Much of this frame is clipped white, which stays white: the blue balance moves most.
    EXPECT_GT(std::abs(after[2] / after[1] - before[2] / before[1]), 0.05 * before[2] / before[1]);
}

namespace {

// A 16-bit strip DNG of a sensor the chart builder does not make: one colour (no pattern,
// LinearRaw) or four (R, G, B and magenta in a 2 x 2 cell).
std::vector<uint8_t> uncommonSensorDng(int colours) {
    const int w = 48, h = 32;
    std::vector<uint16_t> samples;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            samples.push_back(uint16_t(64 + (r * 97 + c * 61 + (r & 1) * 700 + (c & 1) * 300) % 3900));
    testsupport::TiffBuilder tiff;
    const int strip = tiff.addBlock(tiff.encode16(samples));
    auto& ifd = tiff.addIfd();
    ifd.longs(254, {0}).longs(256, {w}).longs(257, {h}).shorts(258, {16}).shorts(259, {1});
    ifd.shorts(262, {uint16_t(colours == 1 ? 34892 : 32803)}).blockOffset(273, strip).shorts(277, {1});
    ifd.longs(278, {h}).longs(279, {uint32_t(w * h * 2)}).shorts(274, {1});
    ifd.bytes(50706, {1, 4, 0, 0}).ascii(271, "Lumivar").ascii(272, colours == 1 ? "Mono" : "Four");
    ifd.longs(50717, {4095}).rationals(50714, {{64, 1}}).shorts(50778, {21});
    std::vector<std::pair<int32_t, int32_t>> matrix;
    for (int row = 0; row < colours; ++row)
        for (int col = 0; col < 3; ++col)
            matrix.push_back({row % 3 == col ? 9 : 1, 10});
    ifd.srationals(50721, matrix);
    if (colours == 4) {
        ifd.shorts(33421, {2, 2}).bytes(33422, {0, 1, 3, 2}).bytes(50710, {0, 1, 2, 4});
        ifd.rationals(50728, {{1, 2}, {1, 1}, {4, 5}, {3, 4}});
    } else {
        ifd.rationals(50728, {{1, 1}});
    }
    return tiff.build();
}

struct TogetherCase {
    std::string what;
    std::string path;
    bool decodes; // else the decoder refuses it, alone and together
    DirectOptions options = {};
};

void expectSameDecode(const wrappertest::Direct& together, const wrappertest::Direct& alone) {
    EXPECT_EQ(together.ok, alone.ok);
    EXPECT_EQ(together.status, alone.status);
    EXPECT_EQ(together.width, alone.width);
    EXPECT_EQ(together.height, alone.height);
    EXPECT_TRUE(together.rgb == alone.rgb) << "the pixels differ";
    EXPECT_EQ(together.make, alone.make);
    EXPECT_EQ(together.model, alone.model);
    EXPECT_EQ(together.whitex, alone.whitex);
    EXPECT_EQ(together.whitey, alone.whitey);
    EXPECT_EQ(together.cameraFromXYZ, alone.cameraFromXYZ);
    EXPECT_EQ(together.baselineExposure, alone.baselineExposure);
    EXPECT_EQ(together.highlightExposureAdjust, alone.highlightExposureAdjust);
    EXPECT_EQ(together.outputReferred, alone.outputReferred);
    EXPECT_EQ(together.metaData, alone.metaData);
}

// Pixels within `frame` of an edge equal; inside it the framed image holds zeros.
void expectSameFrame(const uint16_t* framed, const uint16_t* whole, uint16_t width, uint16_t height,
                     uint16_t frame) {
    int64_t wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool inFrame = x < frame || y < frame || x >= width - frame || y >= height - frame;
            const size_t at = (size_t(y) * width + size_t(x)) * 3;
            for (int c = 0; c < 3; ++c)
                if (framed[at + c] != (inFrame ? whole[at + c] : 0) && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": " << framed[at + c]
                                  << (inFrame ? " against " : " inside, whole ") << whole[at + c];
        }
    EXPECT_EQ(wrong, 0);
}

void expectSameRendering(const std::shared_ptr<const uint16_t[]>& together,
                         const std::shared_ptr<const uint16_t[]>& alone, size_t values) {
    ASSERT_EQ(together == nullptr, alone == nullptr);
    if (together) {
        EXPECT_TRUE(std::equal(together.get(), together.get() + values, alone.get()));
    }
}

} // namespace

// Both renderings from one unpacking equal, byte for byte, those of two decodes, and so do
// the status, camera and metadata they publish: in the decoder, and through the wrapper,
// whose window road asks for both at once. Files that fail go on failing alike. A master
// developed only within its frame equals the whole one there.
TEST(rawWrapperDecode, RenderingsMadeTogetherEqualThoseMadeOneAtATime) {
    constexpr uint16_t kFrame = 8;
    int framedCases = 0;
    testsupport::TempHome home;
    std::vector<TogetherCase> cases;
    auto chart = [&](const char* what, const std::function<void(testsupport::SyntheticDngSpec&)>& change,
                     DirectOptions options = {}) {
        testsupport::SyntheticDngSpec spec;
        spec.scene = [](int x, int y) {
            const auto c = testsupport::chartColour(x, y, 64, 48);
            return testsupport::LinearRgb{c.r * 1.6, c.g * 1.6, c.b * 1.6};
        };
        change(spec);
        const auto name = "together_" + fileTestName(what) + ".dng";
        cases.push_back(
            {what, testsupport::writeFile(home.path(), name, testsupport::buildSyntheticDng(spec)).string(),
             true, options});
    };
    chart("as shot", [](auto&) {});
    chart("lossless JPEG", [](auto& spec) { spec.losslessJpeg = true; });
    chart("X-Trans cell", [](auto& spec) { spec.xtrans = true; });
    chart("turned a quarter", [](auto& spec) { spec.orientation = 6; });
    chart("highlights kept", [](auto&) {}, {0, false, true, false, nullptr});
    chart("green matching", [](auto&) {}, {0, false, false, true, nullptr});
    chart("as monochrome", [](auto&) {}, {0, true, false, false, nullptr});
    cases.push_back({"cut off", chartDng(home, 4000), false});
    cases.push_back({"missing", (home.path() / "gone.dng").string(), false});
    for (int colours : {1, 4}) {
        const auto name = std::to_string(colours) + "-colour.dng";
        cases.push_back(
            {name, testsupport::writeFile(home.path(), name, uncommonSensorDng(colours)).string(), true});
    }
    for (const auto& fixture : testsupport::rawFixtures())
        cases.push_back(
            {fixture.name, testsupport::writeFile(home.path(), fixture.name, fixture.bytes).string(), true});
    std::vector<std::string> absent;
    auto sample = [&](const char* file, bool decodes, bool monochrome) {
        if (std::filesystem::exists(testsupport::samplePath(file)))
            cases.push_back({file,
                             testsupport::samplePath(file).string(),
                             decodes,
                             {0, monochrome, false, false, nullptr}});
        else
            absent.push_back(file);
    };
    for (const Developed& d : kDeveloped)
        sample(d.file, true, false);
    // Frames cut off go as monochrome, as above: the loader fails them all the same (the
    // cut-off chart takes the wrapper's road of both).
    for (const Refused& r : kRefused)
        sample(r.file, false, r.cutOff);

    for (const TogetherCase& c : cases) {
        SCOPED_TRACE(c.what);
        platform::UserDefaults::standard().setBool(c.options.greenMatching, "enableNewPV");
        DirectOptions alternate = c.options;
        alternate.which = 1;
        const std::array<wrappertest::Direct, 2> alone = {decodeDirectly(c.path, c.options),
                                                          decodeDirectly(c.path, alternate)};
        const auto together = wrappertest::decodeBothDirectly(c.path, c.options);
        EXPECT_EQ(together[0].ok, c.decodes) << together[0].status;
        for (int which : {0, 1}) {
            SCOPED_TRACE(which ? "decoder, alternate" : "decoder, master");
            expectSameDecode(together[which], alone[which]);
        }
        // Asked for the master's frame only: an AHD Bayer image develops just that, and it
        // equals the whole master's; anything else develops the whole master as before.
        auto framed = wrappertest::decodeBothDirectly(c.path, c.options, true, kFrame);
        {
            SCOPED_TRACE("decoder, master's frame");
            expectSameDecode(framed[1], alone[1]);
            framedCases += framed[0].frame != 0;
            if (framed[0].frame) {
                EXPECT_EQ(framed[0].frame, kFrame);
                ASSERT_EQ(framed[0].rgb.size(), alone[0].rgb.size());
                expectSameFrame(framed[0].rgb.data(), alone[0].rgb.data(), alone[0].width, alone[0].height,
                                kFrame);
                framed[0].rgb = alone[0].rgb;
            }
            expectSameDecode(framed[0], alone[0]);
        }

        auto wrapper = [&] {
            auto image = std::make_unique<rawWrapper>(c.path, "uuid", false);
            image->setProcessAsMonchromeSensor(c.options.monochrome);
            image->setMaintainHighlights(c.options.highlights);
            return image;
        };
        auto oneAtATime = wrapper(), atOnce = wrapper();
        const auto master = oneAtATime->masterImageBytes();
        const auto alternateImage = oneAtATime->alternateImageBytes();
        const auto held = atOnce->holdRenderings();
        SCOPED_TRACE("wrapper");
        EXPECT_EQ(held.width, oneAtATime->imageWidth());
        EXPECT_EQ(held.height, oneAtATime->imageHeight());
        const size_t values = size_t(held.width) * held.height * 3;
        expectSameRendering(held.master, master, values);
        expectSameRendering(held.alternate, alternateImage, values);
        EXPECT_EQ(atOnce->getParameters(), oneAtATime->getParameters());
        EXPECT_EQ(atOnce->highlightExposureAdjust(), oneAtATime->highlightExposureAdjust());
        EXPECT_EQ(atOnce->cameraBaselineExposure(), oneAtATime->cameraBaselineExposure());
        EXPECT_EQ(atOnce->isOutputReferred(), oneAtATime->isOutputReferred());
        EXPECT_EQ(atOnce->error(), oneAtATime->error());

        // The wrapper keeps a framed master for readers of the frame, and develops the whole
        // one for the first reader that wants more.
        SCOPED_TRACE("wrapper, master's frame");
        auto framedImage = wrapper();
        const auto frameHeld = framedImage->holdRenderingsWithMasterFrame(kFrame);
        // Without an alternate (already rendered, monochrome) the master is whole.
        EXPECT_EQ(frameHeld.masterFrame, alternateImage ? framed[0].frame : 0);
        expectSameRendering(frameHeld.alternate, alternateImage, values);
        if (frameHeld.masterFrame && master)
            expectSameFrame(frameHeld.master.get(), master.get(), held.width, held.height, kFrame);
        else
            expectSameRendering(frameHeld.master, master, values);
        EXPECT_EQ(framedImage->holdRenderingsWithMasterFrame(kFrame).master, frameHeld.master);
        const auto wholeHeld = framedImage->holdRenderings();
        EXPECT_EQ(wholeHeld.masterFrame, 0);
        EXPECT_EQ(wholeHeld.alternate, frameHeld.alternate) << "the alternate is kept";
        expectSameRendering(wholeHeld.master, master, values);
        EXPECT_EQ(framedImage->getParameters(), oneAtATime->getParameters());
        EXPECT_EQ(framedImage->error(), oneAtATime->error());
    }
    // The Bayer charts at least (as shot, lossless, turned, green matching).
    EXPECT_GE(framedCases, 4);
    platform::UserDefaults::standard().setBool(false, "enableNewPV");
    if (!absent.empty())
        GTEST_SKIP() << absent.size() << " samples not present, " << absent.front() << " first";
}
