// Every real file the decoder develops, opened in the editing window on a real X server as a
// photographer would: the picture is drawn, grey and of the image's shape; a JPEG, a crop and an
// OpenEXR exported through the window are read back by independent programs. Files that cannot
// be developed fail with the decoder's status and leave no window behind.
#include <gtest/gtest.h>

#include <ImfRgbaFile.h>
#include <QApplication>
#include <QImage>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/core/MyDocument.h"
#include "app/ui/DocumentController.h"
#include "app/ui/EditingWindow.h"
#include "app/ui/WindowChoosers.h"
#include "display/TiledImageView.h"
#include "display/TiledViewGeometry.h"
#include "display/widgets/HistogramView.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
#include "tests/app/ui/gui/RenderWaits.h"
#include "tests/display/gui/GuiTestSupport.h"
#include "tests/support/DocumentHarness.h"
#include "tests/support/Samples.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using guitest::Renders;
using guitest::settle;

namespace {

fs::path sourceOf(const std::string& name) {
    if (name == "lumivar-chart.dng") return fs::path(LUMIVAR_SOURCE_DIR) / "samples" / name;
    return testsupport::samplePath(name);
}

std::string testName(const char* file) {
    std::string name = file;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

bool haveProgram(const char* name) {
    return std::system(("command -v " + std::string(name) + " > /dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command; its exit status, stdout and stderr together in `output`.
int run(const std::string& command, std::string* output) {
    output->clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output->append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The part of the view the picture covers: the view paints black around it.
QRect pictureBounds(const QImage& view) {
    int left = view.width(), right = -1, top = view.height(), bottom = -1;
    for (int y = 0; y < view.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(view.constScanLine(y));
        for (int x = 0; x < view.width(); ++x)
            if ((row[x] & 0xffffff) != 0) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

struct Tones {
    double mean = 0;
    int maxSpread = 0;
    double clipped = 0; // share of pure white
};

Tones tones(const QImage& image, const QRect& area) {
    Tones t;
    double sum = 0;
    size_t white = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            const int r = qRed(c), g = qGreen(c), b = qBlue(c);
            sum += (r + g + b) / 3.0;
            white += r == 255 && g == 255 && b == 255;
            t.maxSpread = std::max({t.maxSpread, std::abs(r - g), std::abs(g - b), std::abs(r - b)});
        }
    const double n = std::max<double>(1, double(area.width()) * area.height());
    t.mean = sum / n;
    t.clipped = double(white) / n;
    return t;
}

// A binary PPM (P6, 8-bit) as djpeg writes it.
struct Ppm {
    int width = 0, height = 0;
    std::string pixels;
};

Ppm readPpm(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    Ppm ppm;
    in >> magic >> ppm.width >> ppm.height >> maxValue;
    in.get();
    if (magic != "P6" || maxValue != 255 || ppm.width <= 0 || ppm.height <= 0) return {};
    ppm.pixels.resize(size_t(ppm.width) * ppm.height * 3);
    in.read(ppm.pixels.data(), std::streamsize(ppm.pixels.size()));
    if (!in) return {};
    return ppm;
}

struct Spread {
    int most = 0;
    size_t coloured = 0; // pixels whose channels differ at all
};

Spread channelSpread(const Ppm& ppm) {
    Spread s;
    for (size_t i = 0; i + 2 < ppm.pixels.size(); i += 3) {
        const int r = uint8_t(ppm.pixels[i]), g = uint8_t(ppm.pixels[i + 1]), b = uint8_t(ppm.pixels[i + 2]);
        const int spread = std::max({std::abs(r - g), std::abs(g - b), std::abs(r - b)});
        s.most = std::max(s.most, spread);
        s.coloured += spread > 0;
    }
    return s;
}

// The JPEG as independent readers see it: exiftool's validation and djpeg's pixels.
void expectSoundJpeg(const fs::path& jpeg, int width, int height, const std::string& what) {
    ASSERT_TRUE(fs::exists(jpeg)) << what;
    std::string out;
    EXPECT_EQ(run("exiftool -validate -warning -a '" + jpeg.string() + "'", &out), 0) << what << "\n" << out;
    EXPECT_EQ(out.find("Error"), std::string::npos) << what << "\n" << out;
    EXPECT_NE(out.find("Validate                        : OK"), std::string::npos) << what << "\n" << out;
    const fs::path ppm = jpeg.string() + ".ppm";
    ASSERT_EQ(run("djpeg -pnm -outfile '" + ppm.string() + "' '" + jpeg.string() + "'", &out), 0)
        << what << "\n"
        << out;
    const Ppm decoded = readPpm(ppm);
    EXPECT_EQ(decoded.width, width) << what;
    EXPECT_EQ(decoded.height, height) << what;
    // Monochrome: a colour picture strays by tens of levels nearly everywhere. A few scattered
    // pixels of the render itself are up to 2 apart, which the coding turns into up to 4.
    const Spread spread = channelSpread(decoded);
    EXPECT_LE(spread.most, 4) << what << ": not monochrome";
    EXPECT_LE(spread.coloured, decoded.pixels.size() / 3 / 100) << what << ": not monochrome";
}

// The EXR's pixels through OpenEXR's own reader: of the image's size, grey, not empty.
void expectGreyExr(const fs::path& path, int width, int height) {
    try {
        Imf::RgbaInputFile in(path.c_str());
        const Imath::Box2i window = in.dataWindow();
        const int w = window.max.x - window.min.x + 1, h = window.max.y - window.min.y + 1;
        ASSERT_EQ(w, width);
        ASSERT_EQ(h, height);
        std::vector<Imf::Rgba> pixels(size_t(w) * h);
        in.setFrameBuffer(pixels.data() - window.min.x - size_t(window.min.y) * w, 1, w);
        in.readPixels(window.min.y, window.max.y);
        float brightest = 0, spread = 0;
        for (const Imf::Rgba& p : pixels) {
            const float r = p.r, g = p.g, b = p.b;
            brightest = std::max(brightest, g);
            spread = std::max(
                {spread, std::fabs(r - g) / std::max(g, 1e-3f), std::fabs(b - g) / std::max(g, 1e-3f)});
        }
        EXPECT_GT(brightest, 0.0f) << "black EXR";
        EXPECT_LE(spread, 0.002f) << "EXR not grey"; // half floats round to 1/1024
    } catch (const std::exception& e) {
        ADD_FAILURE() << path << ": " << e.what();
    }
}

class Tour : public testing::Test {
  protected:
    void SetUp() override {
        LV_REQUIRE_X_SERVER();
        saved_ = WindowChoosers::shared();
        WindowChoosers::shared().alert = [this](QWidget*, const QString& m, const QString& t) {
            alerts_.push_back((m + ": " + t).toStdString());
        };
        WindowChoosers::shared().saveFile = [this](QWidget*, const fs::path&, const QString& name,
                                                   const QString& ext) -> std::optional<fs::path> {
            return home_.path() / (saveAs_.empty() ? (name + "." + ext).toStdString() : saveAs_);
        };
    }
    void TearDown() override {
        // A failed step leaves its window: close it so that the next file starts alone.
        for (EditingWindow* window : openWindows())
            window->close();
        guitest::processEventsFor(200);
        if (saved_.alert) WindowChoosers::shared() = saved_;
    }
    fs::path copyIn(const std::string& name) {
        const fs::path copy = home_.path() / name;
        fs::copy_file(sourceOf(name), copy);
        return copy;
    }
    static std::vector<EditingWindow*> openWindows() {
        std::vector<EditingWindow*> out;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<EditingWindow*>(widget); window && window->isVisible())
                out.push_back(window);
        return out;
    }
    // Exports through the window and waits for the task to end.
    void exportThrough(EditingWindow* window, const std::string& type, const std::string& name) {
        saveAs_ = name;
        window->exportAsType(type);
        saveAs_.clear();
        ASSERT_TRUE(guitest::processEventsUntil([&] { return !window->exportRunning(); }, 120000)) << name;
        EXPECT_TRUE(alerts_.empty()) << name << ": " << (alerts_.empty() ? "" : alerts_.front());
        alerts_.clear();
    }

    testsupport::TempHome home_;
    WindowChoosers saved_;
    std::vector<std::string> alerts_;
    std::string saveAs_;
};

struct Developed {
    const char* file;
    int width, height; // the developed image, turned by the file's orientation
};

void PrintTo(const Developed& d, std::ostream* os) { *os << d.file; }

class SamplesTour : public Tour, public testing::WithParamInterface<Developed> {};

// A quarter-turned orientation swaps the sides.
bool turned(int orientation) { return orientation >= 5 && orientation <= 8; }

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Developed, SamplesTour,
    testing::Values(Developed{"lumivar-chart.dng", 360, 240}, Developed{"Pixel7_small.dng", 382, 510},
                    Developed{"BMPCC_cinemadng_frame.dng", 1920, 1080},
                    Developed{"synthetic_1024_rggb_uncompressed.dng", 1024, 1024},
                    Developed{"EOS_D30.CRW", 2160, 1440}, Developed{"PowerShotG2_CRW_0304.CRW", 2272, 1704},
                    Developed{"DC50_DC0008L.KDC", 768, 512},
                    Developed{"DC120_P003908_uncompressed.KDC", 1301, 976}),
    [](const testing::TestParamInfo<Developed>& info) { return testName(info.param.file); });

TEST_P(SamplesTour, OpensGreyInShapeAndExportsWhatReadersAccept) {
    const Developed d = GetParam();
    if (!fs::exists(sourceOf(d.file))) GTEST_SKIP() << "sample " << d.file << " not present";
    for (const char* program : {"exiftool", "djpeg", "exrheader"})
        if (!haveProgram(program)) {
            if (guitest::inCI()) FAIL() << program << " not installed";
            GTEST_SKIP() << program << " not installed";
        }
    testsupport::RecordingPresenter presenter;
    Renders renders;
    const fs::path file = copyIn(d.file);
    auto& controller = DocumentController::sharedDocumentController();
    platform::Error error;
    auto document = controller.openDocumentWithContentsOfURL(file, true, &error);
    ASSERT_TRUE(document) << error.failureReason;
    QPointer<EditingWindow> window = controller.windowForDocument(document.get());
    ASSERT_TRUE(window);
    window->resize(1200, 800);
    ASSERT_TRUE(guitest::processEventsUntil([&] { return renders.count[document.get()] > 0; }, 120000))
        << (presenter.errors.empty() ? "no render" : presenter.errors.front().failureReason);
    ASSERT_TRUE(settle(window, 60000));
    EXPECT_TRUE(presenter.errors.empty());

    // The picture: drawn, grey, neither black nor washed out, of the image's shape.
    const int orientation = document->getOrientation();
    // The spinner can stop one paint before the tiles reach the screen.
    const auto grabView = [&] {
        return window->imageView()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    guitest::processEventsUntil([&] { return !pictureBounds(grabView()).isEmpty(); }, 10000);
    guitest::processEventsFor(200);
    guitest::saveScreenshot(window->grab(), "opened");
    const QImage view = grabView();
    const QRect shown = pictureBounds(view);
    ASSERT_FALSE(shown.isEmpty()) << "image area blank";
    const Tones t = tones(view, shown);
    // Loose bounds: the Pixel 7 file is a night frame (its own preview is black nearly
    // everywhere) and the synthetic one a high-key scene.
    EXPECT_GT(t.mean, 3) << "black";
    EXPECT_LT(t.mean, 245) << "washed out";
    EXPECT_LT(t.clipped, 0.5) << "washed out";
    EXPECT_LE(t.maxSpread, 2) << "not grey";
    const double aspect = double(d.width) / d.height;
    EXPECT_NEAR(double(shown.width()) / shown.height(), aspect, aspect * 0.02 + 2.0 / shown.height())
        << shown.width() << " x " << shown.height() << " shown, orientation " << orientation;

    // The histogram is drawn: more than its background.
    const QImage histogram = window->histogramView()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(histogram.isNull());
    const QRgb background = histogram.pixel(0, 0);
    size_t drawn = 0;
    for (int y = 0; y < histogram.height(); ++y)
        for (int x = 0; x < histogram.width(); ++x)
            drawn += histogram.pixel(x, y) != background;
    EXPECT_GT(drawn, size_t(histogram.width())) << "histogram not drawn";

    const std::string stem = file.stem().string();
    exportThrough(window, "public.jpeg", stem + ".jpg");
    expectSoundJpeg(home_.path() / (stem + ".jpg"), d.width, d.height, "whole JPEG");

    exportThrough(window, "com.ilm.openexr-image", stem + ".exr");
    std::string header;
    ASSERT_EQ(run("exrheader '" + (home_.path() / (stem + ".exr")).string() + "'", &header), 0) << header;
    EXPECT_NE(header.find("dataWindow (type box2i): (0 0) - (" + std::to_string(d.width - 1) + " " +
                          std::to_string(d.height - 1) + ")"),
              std::string::npos)
        << header;
    expectGreyExr(home_.path() / (stem + ".exr"), d.width, d.height);

    // The crop tool's first crop, then a JPEG of its size.
    window->setCursorMode(TiledViewGeometry::kCropMode);
    guitest::processEventsFor(100);
    const platform::Rect crop = document->getCropRect();
    ASSERT_GT(crop.width, 0) << "no crop";
    guitest::saveScreenshot(window->grab(), "cropping");
    const int cropW = int(crop.width), cropH = int(crop.height);
    exportThrough(window, "public.jpeg", stem + "-crop.jpg");
    expectSoundJpeg(home_.path() / (stem + "-crop.jpg"), turned(orientation) ? cropH : cropW,
                    turned(orientation) ? cropW : cropH, "cropped JPEG");

    window->close();
    ASSERT_TRUE(guitest::processEventsUntil([&] { return window.isNull(); }, 10000)) << "window not released";
    EXPECT_TRUE(openWindows().empty());
    EXPECT_TRUE(presenter.errors.empty());
}

// Files that cannot be developed: the decoder's status is presented once and every window goes.
TEST_F(Tour, UndevelopableFilesFailWithTheDecoderStatusAndLeaveNoWindow) {
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"CanonRaw.cr2", "Could not parse raw file"},
        {"CanonRaw.cr3", "Exception in crxFillBuffer"},
        {"CanonRaw.crw", "Unsupported file type"},
        {"D7100_truncated.NEF", "Unsupported file type"},
        {"DC120_P003911_jpeg.KDC", "Could not parse raw file"},
        {"DNG.dng", "Sensor data is not lossless JPEG"},
        {"FujiFilm.raf", "Could not read from RAF file"},
        {"Hero7_GOPR8508.GPR", "Could not parse raw file"},
        {"Minolta.mrw", "Unsupported file type"},
        {"Nikon.nef", "Unsupported file type"},
        {"NikonZ9_jxl_linear.dng", "Could not parse raw file"},
        {"Panasonic.rw2", "Unsupported file type"},
        {"PhaseOne.iiq", "Could not parse raw file"},
        {"PhotoCD.pcd", "too small to be valid (4116 bytes"},
        {"SLT-A55V_truncated.ARW", "Unsupported file type"},
        {"Sigma.x3f", "Could not parse raw file"},
        {"canon_eos_6d_lossy_linear.dng", "Could not parse raw file"},
        {"iPhone12Pro_header_only.dng", "Sensor data is not lossless JPEG"},
        {"missing.dng", "No such file or directory"},
    };
    auto& controller = DocumentController::sharedDocumentController();
    for (const auto& [name, status] : refused) {
        fs::path file = home_.path() / name;
        if (name != "missing.dng") {
            if (!fs::exists(sourceOf(name))) continue;
            file = copyIn(name);
        }
        SCOPED_TRACE(name);
        testsupport::RecordingPresenter presenter;
        platform::Error error;
        std::weak_ptr<MyDocument> weak;
        {
            auto document = controller.openDocumentWithContentsOfURL(file, true, &error);
            weak = document;
            if (document) {
                // The failure comes with the first render.
                EXPECT_TRUE(guitest::processEventsUntil([&] { return !presenter.errors.empty(); }, 60000));
                guitest::processEventsFor(200);
                ASSERT_EQ(presenter.errors.size(), 1u);
                error = presenter.errors.front();
            }
        }
        EXPECT_NE(error.failureReason.find(status), std::string::npos) << error.failureReason;
        EXPECT_TRUE(guitest::processEventsUntil([] { return openWindows().empty(); }, 10000))
            << "window left open";
        EXPECT_TRUE(guitest::processEventsUntil([&] { return weak.expired(); }, 10000)) << "document kept";
        EXPECT_TRUE(alerts_.empty());
    }
}
