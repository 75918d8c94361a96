// The image-table filters on real renders: each file goes through render_file's render (the
// image wrapper, the whole chain, the export's strips), and the filters are held against
// what the engine's own stages and the histogram builder make of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "bench/RenderFile.h"
#include "engine/core/ImageBufferF32.h"
#include "engine/core/ImageBufferU16.h"
#include "engine/stages/CoreTiledEngine.h"
#include "engine/stages/ThreadedImageEngine.h"
#include "settings/Schema.h"
#include "tests/color/RealImageFilterChecks.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"

namespace {

using platform::Image;

std::filesystem::path fileOf(const std::string& name) {
    if (name == "lumivar-chart.dng") return std::filesystem::path(LUMIVAR_SOURCE_DIR) / "samples" / name;
    return testsupport::samplePath(name);
}

// A file rendered with the settings; the render's strips put together, and the engine.
struct Rendered {
    renderfile::Result result;
    std::shared_ptr<ImageBufferU16> image; // 16-bit RGBA in the rendering space
};

Rendered render(const std::string& name, const platform::Dictionary& settings) {
    testsupport::TempFolder temp;
    renderfile::Options options;
    options.input = fileOf(name);
    options.output = temp / "out.tiff";
    options.settings = settings;
    Rendered r;
    std::vector<std::vector<uint16_t>> rows;
    options.onStrip = [&](int, uint32_t, const platform::Bitmap& strip) {
        for (size_t y = 0; y < strip.height(); ++y) {
            const auto* row = reinterpret_cast<const uint16_t*>(strip.data() + y * strip.bytesPerRow());
            rows.emplace_back(row, row + 4 * strip.width());
        }
    };
    r.result = renderfile::renderFile(options);
    if (r.result.exitStatus != 0 || rows.empty()) return r;
    r.image = ImageBufferU16::create(uint16_t(r.result.width), uint16_t(rows.size()));
    for (size_t y = 0; y < rows.size(); ++y)
        std::copy(rows[y].begin(), rows[y].end(), r.image->bufferU16ForRow(y));
    return r;
}

class RenderedFilters : public testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(fileOf(GetParam()))) GTEST_SKIP() << GetParam() << " not present";
    }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Files, RenderedFilters, testing::Values("lumivar-chart.dng", "Pixel7_small.dng"),
                         [](const auto& info) { return info.index == 0 ? "BundledChart" : "Pixel7"; });

// The filter does the output stage's maths, given its tile source as float and the same two
// dictionaries, without camera profile or knee.
TEST_P(RenderedFilters, CoreEngineFilterMatchesTheZoomOneTile) {
    const platform::Dictionary settings{{settings::InputContrast.c_str(), 0.25},
                                        {settings::InputBrightness.c_str(), 0.3},
                                        {settings::InputEV.c_str(), 0.5},
                                        {settings::MonochromeRed.c_str(), 1.4},
                                        {settings::EttrAdjust.c_str(), -0.5}};
    const Rendered r = render(GetParam(), settings);
    ASSERT_EQ(r.result.exitStatus, 0) << r.result.message;
    const auto core = r.result.engine->coreEngine();
    ASSERT_TRUE(core);
    ASSERT_FALSE(core->cameraProfile()) << "no camera profile in the settings";
    filterchecks::expectFilterMatchesTheStage(*core, r.result.engine->cameraParameters().value(), settings);
}

TEST_P(RenderedFilters, HistogramChainDrawsTheBuildersBars) {
    const Rendered r = render(GetParam(), {});
    ASSERT_TRUE(r.image) << r.result.message;
    filterchecks::expectChainDrawsTheBuildersBars(*ImageBufferF32::createWithCopyFrom(*r.image), 300);
}

TEST_P(RenderedFilters, ZoomByThreeReplicatesATileOfTheRender) {
    const Rendered r = render(GetParam(), {});
    ASSERT_TRUE(r.image) << r.result.message;
    const auto buffer = ImageBufferF32::createWithCopyFrom(*r.image);
    filterchecks::expectZoomByThreeReplicatesATile(
        Image::create(buffer->getImage(nullptr), buffer->extent()));
}
