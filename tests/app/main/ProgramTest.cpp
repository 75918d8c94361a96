// The program's windows and automation commands on Qt's offscreen platform, over a fake
// document: opening, waiting, settings, zoom, crop and pan drags, wheel, eyedropper, close.
#include <gtest/gtest.h>

#include "app/main/LumivarProgram.h"
#include "app/main/LumivarWindow.h"
#include "display/CropLayerController.h"
#include "display/TiledImageView.h"
#include "tests/app/main/FakeViewerDocument.h"
#include "tests/app/main/RunScript.h"

using maintest::FakeViewerDocument;
using maintest::runScript;

namespace {

struct Program {
    std::shared_ptr<FakeViewerDocument::Log> log = std::make_shared<FakeViewerDocument::Log>();
    LumivarProgram program{maintest::chartOpener(log), {true, "/scripts", std::nullopt}};

    TiledImageView& view() { return program.currentWindow()->imageView(); }
    FakeViewerDocument& document() {
        return static_cast<FakeViewerDocument&>(
            dynamic_cast<LumivarWindow*>(program.currentWindow())->document());
    }
};

} // namespace

TEST(LumivarProgram, OpensShowsAtFitAndClosesTheDocumentOnce) {
    Program p;
    auto run = runScript(p.program, "open chart.dng\nwait-image 20\nexpect displayName none\n"
                                    "set displayName Chart\nexpect displayName Chart");
    EXPECT_EQ(run.status, 0) << run.report;
    ASSERT_NE(p.program.currentWindow(), nullptr);
    EXPECT_TRUE(p.program.currentWindow()->hasImage());
    EXPECT_DOUBLE_EQ(p.view().pixelScaleFactor(), 1.0); // the small chart at its own size
    EXPECT_EQ(p.program.currentWindow()->widget()->windowTitle(), "chart.dng");

    // A stored crop reaches the overlay when it is set.
    run =
        runScript(p.program, "set Lumivar_CropRect_x 60\nset Lumivar_CropRect_y 30\n"
                             "set Lumivar_CropRect_width 120\nset Lumivar_CropRect_height 90\nzoom 0.5\nfit");
    EXPECT_EQ(run.status, 0) << run.report;
    EXPECT_EQ(p.view().geometryModel().cropLayerCntrl()->cropArea(), QRectF(60, 30, 120, 90));
    EXPECT_NE(run.report.find("line 5: ok: zoom 0.5: factor 0.5"), std::string::npos) << run.report;

    run = runScript(p.program, "open second.dng\nwait-image\nclose\nexpect displayName Chart\nquit");
    EXPECT_EQ(run.status, 0) << run.report;
    EXPECT_EQ(p.log->closes, 2);
    EXPECT_EQ(p.log->settingsAtClose.at("displayName"), platform::Value("Chart"));
    EXPECT_TRUE(p.program.windows().empty());
    EXPECT_EQ(p.log->closes, 2);
}

TEST(LumivarProgram, CropDragsStoreTheCropInWholePixels) {
    Program p;
    // Crop mode without a crop lays out the centred half-size crop; then its lower-right
    // corner goes 30 right and 20.4 down (rounded up to whole pixels).
    auto run =
        runScript(p.program, "open chart.dng\nwait-image\nmode crop\n"
                             "expect Lumivar_CropRect_x 90\nexpect Lumivar_CropRect_width 180\n"
                             "drag 270 180 300 200.4\n"
                             "expect Lumivar_CropRect_x 90\nexpect Lumivar_CropRect_y 60\n"
                             "expect Lumivar_CropRect_width 210\nexpect Lumivar_CropRect_height 141\n"
                             // past the image's corner: the crop ends at its edge
                             "drag 300 201 400 300\n"
                             "expect Lumivar_CropRect_width 270\nexpect Lumivar_CropRect_height 180\n");
    EXPECT_EQ(run.status, 0) << run.report;
    EXPECT_EQ(p.view().geometryModel().cropLayerCntrl()->cropArea(), QRectF(90, 60, 270, 180));
}

TEST(LumivarProgram, PanDragsWheelAndEyedropper) {
    Program p;
    auto run = runScript(p.program, "open chart.dng\nwait-image\nzoom 4");
    ASSERT_EQ(run.status, 0) << run.report;
    const QPointF centre = p.view().geometryModel().imageCenter();
    run = runScript(p.program, "drag 180 120 150 110");
    EXPECT_EQ(run.status, 0) << run.report;
    // The image follows the mouse: the centre moves the other way, by the image distance.
    const QPointF panned = p.view().geometryModel().imageCenter();
    EXPECT_NEAR(panned.x() - centre.x(), 30, 0.01);
    EXPECT_NEAR(panned.y() - centre.y(), 10, 0.01);
    run = runScript(p.program, "wheel 0 -1\nwheel 1 0");
    EXPECT_EQ(run.status, 0) << run.report;
    EXPECT_NE(p.view().geometryModel().imageCenter(), panned);

    run = runScript(p.program, "mode eyedropper\ndrag 100 100 100 100\nmode pan\ndrag 100 100 100 100");
    EXPECT_EQ(run.status, 0) << run.report;
    EXPECT_EQ(p.log->whiteBalanceClicks, 1);
}

TEST(LumivarProgram, FailuresNameTheirLines) {
    Program p;
    auto run = runScript(p.program, "zoom 2\nopen missing.dng\nopen broken.dng\nwait-image 5\nfit\n"
                                    "screenshot shot\nexpect Lumivar_CropRect_x 1\nquit\nfit");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.report, "line 1: FAILED: zoom 2: no window is open\n"
                          "line 2: FAILED: open missing.dng: Lumivar could not resolve the file location.\n"
                          "line 3: ok: open broken.dng\n"
                          "line 4: FAILED: wait-image 5: Unsupported file type\n"
                          "line 5: FAILED: fit: no image is shown yet\n"
                          "line 6: FAILED: screenshot shot: no --screenshots folder was given\n"
                          "line 7: FAILED: expect Lumivar_CropRect_x 1: the value is none\n"
                          "line 8: ok: quit\n");
}
