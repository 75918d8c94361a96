// Real files through the raw wrapper, the raw combine stage and the output stage, the
// chain configured as the render driver configures it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "dng/DNGCameraProfileAbstract.h"
#include "engine/core/BitmapImage.h"
#include "engine/stages/CoreTiledEngine.h"
#include "engine/stages/RawCombineTiledEngine.h"
#include "raw/wrapper/rawWrapper.h"
#include "settings/Schema.h"
#include "tests/support/Samples.h"

namespace {

using Settings = platform::Dictionary;

// A rendered tile as 16-bit RGBA samples with its size.
struct Tile {
    size_t width = 0, height = 0;
    std::vector<uint16_t> px;
    uint16_t at(size_t x, size_t y, int c) const { return px[(y * width + x) * 4 + size_t(c)]; }
};

Tile read(const std::shared_ptr<BitmapImage>& bitmap) {
    Tile t;
    if (!bitmap) return t;
    const auto& image = *bitmap->getImageRef();
    t.width = image.width();
    t.height = image.height();
    t.px.resize(t.width * t.height * 4);
    for (size_t row = 0; row < t.height; ++row)
        std::memcpy(&t.px[row * t.width * 4], image.data() + row * image.bytesPerRow(), t.width * 8);
    return t;
}

class DevelopedChain {
  public:
    explicit DevelopedChain(const std::filesystem::path& file) {
        wrapper_ = std::make_shared<rawWrapper>(file, "uuid", false);
        if (!wrapper_->masterImageBytes()) return;
        combine_ = std::make_shared<RawCombineTiledEngine>(
            platform::Size{double(wrapper_->imageWidth()), double(wrapper_->imageHeight())}, "", false);
        combine_->setIgnoreEdges(false);
        combine_->setReprocessEdgeTiles(false);
        combine_->setVerticalBorder(8);
        combine_->setHorizontalBorder(8);
        combine_->setRawImage(wrapper_);
        combine_->setCameraBaselineExposure(wrapper_->cameraBaselineExposure());
        combine_->setHighlightExposureAdjust(wrapper_->highlightExposureAdjust());
        core_ = std::make_shared<CoreTiledEngine>(combine_, "", false);
        core_->setCameraParameters(wrapper_->getParameters());
        core_->setCameraBaselineExposure(wrapper_->cameraBaselineExposure());
        core_->setHighlightExposureAdjust(wrapper_->highlightExposureAdjust());
        apply({});
        core_->runProcessToCompletion(core_->mainMap().regionForRect(core_->extent(), 0));
    }

    bool ok() const { return core_ != nullptr; }
    rawWrapper& wrapper() { return *wrapper_; }
    CoreTiledEngine& core() { return *core_; }
    void apply(const Settings& settings) { core_->setParameters(std::nullopt, settings); }

    // A rectangle given from the top left, asked for as export asks (waiting, no thumbnail).
    Tile tile(platform::Rect r, double scale = 1) {
        r.y = core_->outputSize().height - r.y - r.height;
        return read(core_->imageTile(0, scale, r, nullptr, nullptr, false, 1));
    }
    Tile whole(double scale = 1) { return tile(core_->extent(), scale); }

  private:
    std::shared_ptr<rawWrapper> wrapper_;
    std::shared_ptr<RawCombineTiledEngine> combine_;
    std::shared_ptr<CoreTiledEngine> core_;
};

class OutputEngineSamples : public testing::TestWithParam<const char*> {};

} // namespace

// Every sample the decoder develops; the bundled chart comes from the repository.
INSTANTIATE_TEST_SUITE_P(Developed, OutputEngineSamples,
                         testing::Values("Pixel7_small.dng", "BMPCC_cinemadng_frame.dng",
                                         "synthetic_1024_rggb_uncompressed.dng", "EOS_D30.CRW",
                                         "PowerShotG2_CRW_0304.CRW", "DC50_DC0008L.KDC",
                                         "DC120_P003908_uncompressed.KDC"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

TEST_P(OutputEngineSamples, MonochromeTilesAtEveryZoom) {
    LV_REQUIRE_SAMPLE(GetParam());
    DevelopedChain chain(testsupport::samplePath(GetParam()));
    ASSERT_TRUE(chain.ok()) << chain.wrapper().dcStatus().value_or("no status");
    const size_t width = chain.wrapper().imageWidth(), height = chain.wrapper().imageHeight();
    const Tile plain = chain.whole();
    ASSERT_EQ(plain.width, width);
    ASSERT_EQ(plain.height, height);

    // Neutral settings: the grey is stage 1's mean scaled by the baseline and highlight gains.
    // The neutral tone table is the identity but for entry W/8 - 1, which its smoothing
    // raises to entry W/8 (0.2 % there); pixels take the gain of their entry.
    const auto stageOne = chain.core().tileSourceBuffer();
    ASSERT_NE(stageOne, nullptr);
    const std::vector<float> tone = chain.core().toneTable();
    ASSERT_EQ(tone.size(), 4u * 4096);
    const double ettr = std::exp2(chain.wrapper().highlightExposureAdjust());
    const double gain = std::exp2(chain.wrapper().cameraBaselineExposure()) * ettr;
    size_t unequal = 0, off = 0;
    for (size_t y = 0; y < height; ++y)
        for (size_t x = 0; x < width; ++x) {
            unequal += plain.at(x, y, 0) != plain.at(x, y, 1) || plain.at(x, y, 1) != plain.at(x, y, 2);
            const uint16_t* s = stageOne->bufferU16ForRow(y, x);
            const double index = (1228.8 * s[0] + 2457.6 * s[1] + 409.6 * s[2]) * ettr / 65325;
            const size_t entry = std::min<size_t>(4095, size_t(index));
            bool near = false;
            // An entry's edge may fall either way in single precision.
            for (size_t e = entry ? entry - 1 : 0; e <= std::min<size_t>(4095, entry + 1); ++e) {
                const double expected = (double(s[0]) + s[1] + s[2]) / 3 * gain * tone[4 * e];
                near = near || expected >= 65534 ||
                       (plain.at(x, y, 0) <= expected + 0.01 && plain.at(x, y, 0) >= expected - 1.01);
            }
            off += !near;
        }
    EXPECT_EQ(unequal, 0u) << "R = G = B";
    EXPECT_EQ(off, 0u) << "pixels off stage 1's grey";

    // +1 EV doubles every grey that stays unclipped.
    chain.apply({{settings::InputEV.c_str(), 1.0}});
    const Tile brighter = chain.whole();
    size_t notDoubled = 0, compared = 0;
    for (size_t i = 0; i < plain.px.size(); i += 4)
        if (plain.px[i] > 200 && plain.px[i] < 32000) {
            ++compared;
            notDoubled += std::fabs(brighter.px[i] - 2.0 * plain.px[i]) > 0.01 * 2 * plain.px[i] + 1;
        }
    EXPECT_GT(compared, 0u);
    EXPECT_EQ(notDoubled, 0u);

    // Scene-referred with the automatic profile: its gain curve lifts the mid-tones, in order.
    chain.apply({{settings::SceneReferred.c_str(), true},
                 {settings::CameraProfile.c_str(),
                  DNGCameraProfileAbstract::createAsAutoProfile()->objectSerializeForPList()}});
    const Tile scene = chain.whole();
    constexpr int kBins = 32;
    std::vector<double> sum(kBins, 0), count(kBins, 0);
    size_t midTones = 0, lifted = 0;
    const double baseline = std::exp2(chain.wrapper().cameraBaselineExposure());
    for (size_t i = 0; i < plain.px.size(); i += 4) {
        const double v = plain.px[i] / 65325.0;
        // The curve's level is the value before the baseline gain of the matrix.
        const double level = v / baseline;
        if (level >= 0.05 && level <= 0.5) ++midTones, lifted += scene.px[i] > plain.px[i];
        const int bin = std::min(kBins - 1, int(v * kBins));
        sum[size_t(bin)] += scene.px[i], count[size_t(bin)] += 1;
    }
    EXPECT_GE(lifted, midTones * 99 / 100) << "of " << midTones << " mid-tone pixels";
    double last = -1;
    for (int b = 0; b < kBins; ++b)
        if (count[size_t(b)] >= 50) {
            const double mean = sum[size_t(b)] / count[size_t(b)];
            EXPECT_GE(mean, last) << "bin " << b;
            last = mean;
        }

    // Back to neutral for the zoom checks.
    chain.apply({});
    ASSERT_EQ(chain.whole().px, plain.px);

    // A quarter-size zoom against a 4 x 4 box downscale of the full-size tile: the same level
    // (the zoom image is a smoother, sharper resampling, so pixels differ where there is detail).
    const Tile quarter = chain.whole(0.25);
    ASSERT_EQ(quarter.width, width / 4);
    ASSERT_EQ(quarter.height, height / 4);
    double error = 0, level = 0;
    for (size_t y = 0; y < quarter.height; ++y)
        for (size_t x = 0; x < quarter.width; ++x) {
            double box = 0;
            for (size_t dy = 0; dy < 4; ++dy)
                for (size_t dx = 0; dx < 4; ++dx)
                    box += plain.at(4 * x + dx, 4 * y + dy, 0) / 16.0;
            error += quarter.at(x, y, 0) - box;
            level += box;
        }
    EXPECT_LT(std::fabs(error) / level, 0.01);

    // 512-pixel tiles put together are the whole-image tile.
    size_t mismatched = 0;
    for (size_t ty = 0; ty < height; ty += 512)
        for (size_t tx = 0; tx < width; tx += 512) {
            const Tile t = chain.tile({double(tx), double(ty), 512, 512});
            ASSERT_EQ(t.width, std::min<size_t>(512, width - tx));
            ASSERT_EQ(t.height, std::min<size_t>(512, height - ty));
            for (size_t y = 0; y < t.height; ++y)
                mismatched += std::memcmp(&t.px[y * t.width * 4], &plain.px[((ty + y) * width + tx) * 4],
                                          t.width * 8) != 0;
        }
    EXPECT_EQ(mismatched, 0u) << "rows";
}

// The mix is normalised: a heavier red weight brightens red and leaves grey where it was.
TEST(OutputEngineChart, RedMixBrightensRedAndKeepsGrey) {
    const std::filesystem::path chart =
        std::filesystem::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng";
    ASSERT_TRUE(std::filesystem::exists(chart));
    DevelopedChain chain(chart);
    ASSERT_TRUE(chain.ok()) << chain.wrapper().dcStatus().value_or("no status");
    const double width = chain.wrapper().imageWidth(), height = chain.wrapper().imageHeight();
    const Tile plain = chain.whole();
    chain.apply({{settings::MonochromeRed.c_str(), 2.0}});
    const Tile red = chain.whole();
    // The red patch: first of six across, at 60 % of the height; the wedge below 75 %.
    const size_t px = size_t(width / 12), py = size_t(height * 0.6);
    EXPECT_GT(red.at(px, py, 0), plain.at(px, py, 0) * 1.2);
    for (int step = 0; step < 10; ++step) {
        const size_t wx = size_t(width * (step + 0.5) / 10), wy = size_t(height * 0.88);
        EXPECT_NEAR(red.at(wx, wy, 0), plain.at(wx, wy, 0), 1.0) << "wedge step " << step;
    }
}
