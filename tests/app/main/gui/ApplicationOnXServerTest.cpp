// The whole application on the X server as a photographer meets it, each road scripted
// through `lumivar --automation`: cropping from the mode control, the menus of the browser
// and the preferences started without a file, the open panel, a preset saved in the presets
// window, and a batch of real files. Exports are read back with djpeg and exiftool.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/app/main/gui/ProgramRun.h"
#include "tests/display/gui/GuiTestSupport.h"
#include "tests/support/Samples.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using guitest::imageArea;
using guitest::kChart;
using guitest::runLumivar;
using guitest::shot;

namespace {

std::string readerOutput(const QString& program, const QStringList& arguments) {
    QProcess reader;
    reader.start(program, arguments);
    if (!reader.waitForFinished(60000)) return {};
    return reader.readAllStandardOutput().toStdString();
}

// A JPEG decoded by libjpeg-turbo's djpeg: its size, and whether every pixel is grey.
struct Decoded {
    int width = 0, height = 0;
    bool grey = false;
    int lowest = 255, highest = 0;
};

Decoded djpeg(const fs::path& file) {
    QProcess reader;
    reader.start("djpeg", {"-pnm", QString::fromStdString(file.string())});
    Decoded decoded;
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) return decoded;
    const QByteArray bytes = reader.readAllStandardOutput();
    std::istringstream header(bytes.left(64).toStdString());
    std::string magic;
    int maximum = 0;
    header >> magic >> decoded.width >> decoded.height >> maximum;
    const int channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
    const qsizetype pixels = qsizetype(decoded.width) * decoded.height;
    if (!channels || maximum != 255 || bytes.size() < pixels * channels) return decoded;
    const auto* data =
        reinterpret_cast<const unsigned char*>(bytes.constData() + bytes.size() - pixels * channels);
    decoded.grey = true;
    for (qsizetype i = 0; i < pixels; ++i) {
        const unsigned char* p = data + i * channels;
        // Quantised chroma leaves a grey pixel a few levels off in one channel.
        if (channels == 3 && (std::abs(p[0] - p[1]) > 6 || std::abs(p[1] - p[2]) > 6)) decoded.grey = false;
        decoded.lowest = std::min<int>(decoded.lowest, p[0]);
        decoded.highest = std::max<int>(decoded.highest, p[0]);
    }
    return decoded;
}

std::string exifSize(const fs::path& file) {
    return readerOutput("exiftool", {"-s3", "-ImageSize", QString::fromStdString(file.string())});
}

// Rows of a column (or the one right of it, for a line between two) that the overlay changed.
int marked(const QImage& over, const QImage& plain, int x, int top, int bottom) {
    int count = 0;
    for (int y = top; y <= bottom; ++y)
        count += over.pixelColor(x, y) != plain.pixelColor(x, y) ||
                 over.pixelColor(x + 1, y) != plain.pixelColor(x + 1, y);
    return count;
}

} // namespace

TEST(ApplicationOnXServer, CropFromTheModeControlExportAndResetCrop) {
    LV_REQUIRE_X_SERVER();
    testsupport::TempHome home;
    const fs::path chart = home.path() / "chart.dng", out = home.path() / "out";
    fs::copy_file(kChart, chart);
    fs::create_directories(out);
    const auto run = runLumivar(
        home,
        "open " + chart.string() +
            "\nwait-image 120\nscreenshot before view\n"
            // the control's Crop lays out the centred half of the image: (90, 60, 180, 120)
            "click cursorCrop\nwait-image 60\nscreenshot crop-mode window\nscreenshot crop-mode-view view\n"
            "expect Lumivar_CropRect_x 90\nexpect Lumivar_CropRect_width 180\n"
            // its lower right corner dragged 30 right and 20 down
            "drag 270 180 300 200\nexpect Lumivar_CropRect_width 210\nexpect Lumivar_CropRect_height 140\n"
            "wait-image 60\nscreenshot crop-dragged view\n"
            "export jpeg " +
            (out / "crop.jpg").string() +
            "\nmenu \"View/Pan\"\nwait-image 60\nscreenshot crop-shaded view\n"
            "menu \"Edit/Reset Crop\"\nexpect Lumivar_CropRect_width -1\nwait-image 60\n"
            "screenshot reset view\nscreenshot reset-window window\n"
            "export jpeg " +
            (out / "whole.jpg").string() + "\nquit\n");
    ASSERT_EQ(run.status, 0) << run.output;

    // Each shot's picture where it lies in that shot (the view keeps its size, but compare
    // by the picture's own corner all the same).
    const QImage before = shot("before"), cropping = shot("crop-mode-view");
    const QRect area = imageArea(before);
    ASSERT_EQ(area.size(), QSize(360, 240));
    ASSERT_EQ(imageArea(cropping), area);
    const auto at = [&](const QImage& image, int x, int y) {
        return image.pixelColor(area.left() + x, area.top() + y);
    };
    // The frame: white just outside the crop's left edge, along its height.
    int frame = 0;
    for (int y = 70; y < 170; ++y)
        frame += at(cropping, 88, y).lightness() > 240;
    EXPECT_GT(frame, 90);
    // The thirds: light grey lines at a third and two thirds of the crop's width (seen where
    // the picture is not of their grey), and between them only where the horizontal ones cross.
    const auto thirdsLine = [&](const QImage& image, int x) {
        return marked(image, before, area.left() + x, area.top() + 65, area.top() + 175);
    };
    EXPECT_GT(thirdsLine(cropping, 149), 60);
    EXPECT_GT(thirdsLine(cropping, 210), 60);
    EXPECT_LE(thirdsLine(cropping, 180), 4);
    // Outside the crop the picture is shaded; inside it is as it was.
    const QPoint outside(30, 30), inside(180, 120);
    EXPECT_LE(at(cropping, outside.x(), outside.y()).green(),
              0.35 * at(before, outside.x(), outside.y()).green() + 1);

    // Pan mode keeps the shade and drops the frame and thirds.
    const QImage shaded = shot("crop-shaded");
    ASSERT_EQ(imageArea(shaded), area);
    EXPECT_LE(at(shaded, outside.x(), outside.y()).green(),
              0.35 * at(before, outside.x(), outside.y()).green() + 1);
    EXPECT_EQ(thirdsLine(shaded, 149), 0);
    EXPECT_NEAR(at(shaded, inside.x(), inside.y()).green(), at(before, inside.x(), inside.y()).green(), 1);

    // After Reset Crop the whole image is back, unshaded.
    const QImage reset = shot("reset");
    ASSERT_EQ(imageArea(reset), area);
    for (QPoint p : {outside, inside, QPoint(355, 235)})
        EXPECT_NEAR(at(reset, p.x(), p.y()).green(), at(before, p.x(), p.y()).green(), 1);

    // The exports, read by djpeg and exiftool: the crop's size, then the whole image.
    const Decoded crop = djpeg(out / "crop.jpg");
    EXPECT_EQ(crop.width, 210);
    EXPECT_EQ(crop.height, 140);
    EXPECT_TRUE(crop.grey);
    EXPECT_EQ(exifSize(out / "crop.jpg"), "210x140\n");
    const Decoded whole = djpeg(out / "whole.jpg");
    EXPECT_EQ(whole.width, 360);
    EXPECT_EQ(whole.height, 240);
    EXPECT_EQ(exifSize(out / "whole.jpg"), "360x240\n");
}

TEST(ApplicationOnXServer, StartedWithoutAFileThePreferencesComeFromTheBrowsersMenu) {
    LV_REQUIRE_X_SERVER();
    testsupport::TempHome home;
    const fs::path photos = home.path() / "photos", raws = home.path() / "raw files";
    fs::create_directories(photos);
    fs::create_directories(raws);
    fs::copy_file(kChart, photos / "chart.dng");
    const auto run = runLumivar(home, "pref ShowPopoverHelp false\nbrowse " + photos.string() +
                                          "\nscreenshot browser window\n"
                                          "menu \"View/Zoom In\"\n" // needs a document: refused
                                          "menu \"Lumivar/Preferences...\"\nclick \"External editor\"\n"
                                          "click chooseRawSearchFolder\nscreenshot folder-panel screen\n"
                                          "choose \"" +
                                          raws.string() + "\"\nscreenshot preferences window\nquit\n");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("line 4: FAILED: menu \"View/Zoom In\": the item is disabled"),
              std::string::npos)
        << run.output;
    for (const char* line :
         {"line 5: ok: menu", "line 6: ok: click", "line 7: ok: click chooseRawSearchFolder",
          "line 9: ok: choose", "line 10: ok: screenshot preferences"})
        EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
    // The folder went to the stored preferences.
    bool stored = false;
    for (const auto& entry : fs::recursive_directory_iterator(home.path())) {
        if (entry.path().extension() != ".plist") continue;
        std::ifstream in(entry.path());
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        stored = stored || (text.find("rawSearchDirectoryBookmark") != std::string::npos &&
                            text.find(raws.string()) != std::string::npos);
    }
    EXPECT_TRUE(stored);
    EXPECT_FALSE(shot("browser").isNull());
    EXPECT_FALSE(shot("preferences").isNull());
}

TEST(ApplicationOnXServer, FileOpenThroughTheOpenPanelAndARecentFile) {
    LV_REQUIRE_X_SERVER();
    testsupport::TempHome home;
    const fs::path photos = home.path() / "photos";
    fs::create_directories(photos);
    fs::copy_file(kChart, photos / "chart.dng");
    const auto run = runLumivar(home, "pref ShowPopoverHelp false\nbrowse " + photos.string() +
                                          "\nmenu \"File/Open...\"\nscreenshot open-panel screen\n"
                                          "choose " +
                                          (photos / "chart.dng").string() +
                                          "\nwait-image 120\nscreenshot opened window\nclose\n"
                                          "browse " +
                                          photos.string() +
                                          "\nmenu \"File/Open Recent/chart.dng\"\nwait-image 120\nquit\n");
    ASSERT_EQ(run.status, 0) << run.output;
    const QImage opened = shot("opened");
    EXPECT_GT(imageArea(opened).width(), 360); // the window, with its picture
}

TEST(ApplicationOnXServer, APresetSavedInThePresetsWindowAppearsInTheEditingWindowsPopUp) {
    LV_REQUIRE_X_SERVER();
    testsupport::TempHome home;
    const fs::path chart = home.path() / "chart.dng";
    fs::copy_file(kChart, chart);
    const auto run = runLumivar(home, "open " + chart.string() +
                                          "\nwait-image 120\nset Lumivar_Filter_monochromeRed 1.8\n"
                                          "menu \"Window/Presets\"\nclick newPreset\ntype presetName Noir\n"
                                          "screenshot new-preset screen\nclick Save\n"
                                          "screenshot presets window\n"
                                          "expect-item presetPopup Noir\nclick presetPopup\n"
                                          "screenshot preset-popup screen\nclick presetPopup\nquit\n");
    ASSERT_EQ(run.status, 0) << run.output;
}

// A file that cannot be developed costs only itself: the others are exported, and one sheet
// names it with the decoder's reason. The CRW's JPEG carries the camera's EXIF.
TEST(ApplicationOnXServer, ABatchWithAnUndevelopableFileExportsTheRestAndNamesIt) {
    LV_REQUIRE_X_SERVER();
    LV_REQUIRE_SAMPLE("D7100_truncated.NEF");
    LV_REQUIRE_SAMPLE("PowerShotG2_CRW_0304.CRW");
    testsupport::TempHome home;
    const fs::path photos = home.path() / "photos", out = home.path() / "exports";
    fs::create_directories(photos);
    fs::create_directories(out);
    for (const char* name : {"D7100_truncated.NEF", "PowerShotG2_CRW_0304.CRW"})
        fs::copy_file(testsupport::samplePath(name), photos / name);
    const auto run =
        runLumivar(home,
                   "pref ShowPopoverHelp false\nbrowse " + photos.string() + "\nselect all\nbatch Default " +
                       out.string() + "\nwait-batch 900\nscreenshot summary screen\nquit\n",
                   1200000);
    // The batch reports its failure; the script goes on to the screenshot.
    EXPECT_NE(run.output.find("FAILED: wait-batch 900: 1 of 2 files could not be exported; nothing was "
                              "written for it.\n\nD7100_truncated.NEF: "),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("finalCGImage"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("ok: screenshot summary screen"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(out / "D7100_truncated.jpg"));
    const fs::path jpeg = out / "PowerShotG2_CRW_0304.jpg";
    ASSERT_TRUE(fs::exists(jpeg));
    EXPECT_EQ(readerOutput("exiftool", {"-s3", "-Make", "-Model", QString::fromStdString(jpeg.string())}),
              "Canon\nCanon PowerShot G2\n");
}

TEST(ApplicationOnXServer, ABatchOfThreeRealFilesGivesThreeGreyJpegs) {
    LV_REQUIRE_X_SERVER();
    const std::vector<std::string> names{"Pixel7_small.dng", "PowerShotG2_CRW_0304.CRW", "DC50_DC0008L.KDC"};
    for (const auto& name : names)
        LV_REQUIRE_SAMPLE(name);
    testsupport::TempHome home;
    const fs::path photos = home.path() / "photos", out = home.path() / "exports";
    fs::create_directories(photos);
    fs::create_directories(out);
    for (const auto& name : names)
        fs::copy_file(testsupport::samplePath(name), photos / name);
    const auto run = runLumivar(
        home,
        "pref ShowPopoverHelp false\nbrowse " + photos.string() + "\nselect all\nbatch Default " +
            out.string() + "\nscreenshot batch window\nwait-batch 900\nscreenshot browser window\nquit\n",
        1200000);
    ASSERT_EQ(run.status, 0) << run.output;
    for (const char* stem : {"Pixel7_small", "PowerShotG2_CRW_0304", "DC50_DC0008L"}) {
        const fs::path jpeg = out / (std::string(stem) + ".jpg");
        ASSERT_TRUE(fs::exists(jpeg)) << jpeg;
        const Decoded decoded = djpeg(jpeg);
        EXPECT_GT(decoded.width, 100) << stem;
        EXPECT_TRUE(decoded.grey) << stem;
        EXPECT_GT(decoded.highest - decoded.lowest, 30) << stem << ": not a blank picture";
        EXPECT_EQ(exifSize(jpeg),
                  std::to_string(decoded.width) + "x" + std::to_string(decoded.height) + "\n");
    }
}
