#include "app/ui/WindowCommands.h"

#include <gtest/gtest.h>

#include "app/ui/ControlRanges.h"
#include "settings/Schema.h"

using namespace window_commands;

TEST(WindowCommands, ZoomStepsMeetAtOne) {
    struct Case {
        double from, in, out;
    };
    for (const Case c : {Case{0.5, 0.707, 0.3536}, Case{1.0, 2.0, 0.707}, Case{2.0, 4.0, 1.0}}) {
        EXPECT_NEAR(zoomedIn(c.from), c.in, 1e-3) << c.from;
        EXPECT_NEAR(zoomedOut(c.from), c.out, 1e-3) << c.from;
    }
}

TEST(WindowCommands, QuarterTurnsCycleAndMirroredCodesStay) {
    int32_t code = 1;
    std::vector<int32_t> seen;
    for (int i = 0; i < 4; ++i)
        seen.push_back(code = *rotatedClockwise(code));
    EXPECT_EQ(seen, (std::vector<int32_t>{6, 3, 8, 0}));
    code = 1;
    seen.clear();
    for (int i = 0; i < 4; ++i)
        seen.push_back(code = *rotatedCounterClockwise(code));
    EXPECT_EQ(seen, (std::vector<int32_t>{8, 3, 6, 0}));
    for (int32_t mirrored : {2, 4, 5, 7, 9, -1}) {
        EXPECT_FALSE(rotatedClockwise(mirrored)) << mirrored;
        EXPECT_FALSE(rotatedCounterClockwise(mirrored)) << mirrored;
    }
}

TEST(WindowCommands, ParameterIdTrimsDigitsAtBothEnds) {
    EXPECT_EQ(parameterID(std::string(settings::InputEV.key) + "2"), settings::InputEV.c_str());
    EXPECT_EQ(parameterID("12" + std::string(settings::JPEGQuality.key)), settings::JPEGQuality.c_str());
    EXPECT_EQ(parameterID(settings::CropRectX.c_str()), settings::CropRectX.c_str());
    EXPECT_EQ(parameterID("123"), "");
}

TEST(WindowCommands, ExportTypesAndExtensions) {
    const std::vector<std::pair<int64_t, std::string_view>> table{
        {0, "public.jpeg"},           {1, "public.tiff"}, {2, "com.adobe.dng"}, {3, "com.ilm.openexr-image"},
        {6, "com.ilm.openexr-image"}, {7, "public.jpeg"}, {-1, "public.jpeg"}};
    for (const auto& [selection, type] : table)
        EXPECT_EQ(typeForExportSelection(selection), type) << selection;
    EXPECT_EQ(extensionForType("public.jpeg"), "jpg");
    EXPECT_EQ(extensionForType("com.adobe.dng"), "dng");
    EXPECT_EQ(extensionForType("com.ilm.openexr-image"), "exr");
    EXPECT_EQ(extensionForType("public.tiff"), "tif");
    EXPECT_EQ(typeForProxyExtension("JPEG"), "public.jpeg");
    EXPECT_EQ(typeForProxyExtension("Jpg"), "public.jpeg");
    EXPECT_EQ(typeForProxyExtension("tiff"), "public.tiff");
    EXPECT_EQ(typeForProxyExtension("psd"), "public.tiff");
}

TEST(WindowCommands, KeyboardSteppingByRangeAndClamped) {
    struct Case {
        double value, min, max;
        StepCommand command;
        double expected;
    };
    const std::vector<Case> table{
        {5.0, 0, 10, StepCommand::Up, 5.01},        {5.0, 0, 10, StepCommand::PageDown, 4.9},
        {0.0, -100, 100, StepCommand::Down, -0.1},  {0.0, -100, 100, StepCommand::PageUp, 1.0},
        {9.995, 0, 10, StepCommand::Up, 10.0},      {0.05, 0, 10, StepCommand::PageDown, 0.0},
        {99.5, -100, 100, StepCommand::PageUp, 100}};
    for (const auto& c : table)
        EXPECT_NEAR(*steppedValue(c.value, c.min, c.max, c.command), c.expected, 1e-9) << c.value;
    EXPECT_FALSE(steppedValue(1, 0, 10, StepCommand::Other));
}

TEST(WindowCommands, ZoomText) {
    EXPECT_EQ(zoomText(0.5), "Zoom: 50%");
    EXPECT_EQ(zoomText(2.0), "Zoom: 200%");
}

TEST(WindowCommands, SpinnerStopsFifteenTicksAfterTheLastActivity) {
    SpinnerCountdown spinner;
    EXPECT_EQ(spinner.tick(true), SpinnerCountdown::Action::Start);
    EXPECT_EQ(spinner.tick(true), SpinnerCountdown::Action::None); // already turning
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(spinner.tick(false), SpinnerCountdown::Action::None) << i;
    EXPECT_EQ(spinner.tick(false), SpinnerCountdown::Action::Stop);
    EXPECT_EQ(spinner.tick(false), SpinnerCountdown::Action::None);
    // A draw after the spinner stopped starts it again.
    EXPECT_EQ(spinner.tick(true), SpinnerCountdown::Action::Start);
    spinner.engineStarted();
    EXPECT_EQ(spinner.counter(), 15);
}

TEST(WindowCommands, PhotoCdResolutionLevelsAndTexts) {
    EXPECT_EQ(resolutionLevel(128, 192), 0);
    EXPECT_EQ(resolutionLevel(3072, 2048), 4);
    EXPECT_EQ(resolutionLevel(6144, 4096), 5);
    EXPECT_EQ(resolutionLevel(100, 100), 6);
    EXPECT_EQ(resStringForInt(2), "Base (512 × 768)");
    EXPECT_EQ(resStringForInt(6), "Error");

    EXPECT_EQ(
        resolutionDiagnostic(4, 4, std::nullopt, std::nullopt),
        "Image resolution is 16Base (2048 × 3072). This matches the resolution selected in Preferences.\n");
    EXPECT_NE(resolutionDiagnostic(3, 3, std::nullopt, std::nullopt).find("lower that the usual 16Base"),
              std::string::npos);
    EXPECT_EQ(resolutionDiagnostic(5, 4, std::nullopt, std::nullopt),
              "A Photo CD resolution error occured. ");
    EXPECT_EQ(resolutionDiagnostic(3, 4, std::nullopt, std::nullopt),
              "The Photo CD resolution that you selected in preferences (16Base (2048 × 3072)) was not "
              "available; the best available resolution is displayed. ");
    const std::vector<std::pair<std::optional<int64_t>, std::string>> ipe{
        {1, "No Image Pac Extension (IPE) files found to build a 64Base resolution image. "},
        {3, "Image Pac Extension (IPE) files found. "},
        {9, "An unknown error occured - IPE not tested for 64Base. "},
        {std::nullopt, "Requested 64Base but no IPE status present. "}};
    for (const auto& [status, text] : ipe)
        EXPECT_EQ(resolutionDiagnostic(4, 5, status, std::nullopt), text);
    EXPECT_EQ(resolutionDiagnostic(5, 4, std::nullopt, std::string("Scanner")),
              "A Photo CD resolution error occured. \n\nScanner profile: Scanner ");
}

TEST(ControlRanges, CoverTheSeededPresetsAndTheNamedLimits) {
    const auto temperature = controlRangeForKey(settings::InputTemperature.c_str());
    ASSERT_TRUE(temperature);
    EXPECT_EQ(temperature->minimum, 1000);
    EXPECT_EQ(temperature->maximum, 14000);
    EXPECT_EQ(controlRangeForKey(settings::InputTint.c_str())->minimum, -150);
    EXPECT_EQ(controlRangeForKey(settings::JPEGQuality.c_str())->maximum, 10);
    // Seeded presets: knee high 3.5, radius 0.8, mix weights 1, JPEG quality 10.
    const std::vector<std::pair<std::string_view, double>> seeded{{settings::InputKneeHigh.c_str(), 3.5},
                                                                  {settings::InputRadius.c_str(), 0.8},
                                                                  {settings::MonochromeBlue.c_str(), 1.0},
                                                                  {settings::InputIntensity.c_str(), 1.0}};
    for (const auto& [key, value] : seeded) {
        const auto range = controlRangeForKey(key);
        ASSERT_TRUE(range) << key;
        EXPECT_LE(range->minimum, value);
        EXPECT_GE(range->maximum, value);
    }
    EXPECT_FALSE(controlRangeForKey(settings::UUID.c_str()));
}
