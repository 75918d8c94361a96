// The real thumbnailer: embedded raw previews (scaled while decoding, turned by the file's
// orientation), Qt's readers for other images, and clean refusals.
#include <QColor>
#include <QImage>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/browser/BrowserImages.h"
#include "app/browser/Thumbnailer.h"
#include "raw/output/ColourOutput.h"
#include "raw/wrapper/EmbeddedPreview.h"
#include "raw/wrapper/ReducedDecode.h"
#include "tests/app/browser/BrowserTestSupport.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/PhotoCdBuilder.h"
#include "tests/support/Samples.h"
#include "tests/support/SyntheticDng.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;
using browsertest::jpegBytes;
using browsertest::solid;

namespace {

// Left half red, right half blue, a green band along the top: every turn is told apart.
QImage markedPicture(int width, int height) {
    QImage image = solid(QSize(width, height), Qt::red);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (x >= width / 2) image.setPixelColor(x, y, Qt::blue);
            if (y < height / 4) image.setPixelColor(x, y, Qt::green);
        }
    return image;
}

bool near(QColor a, QColor b, int tolerance = 39) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

bool uniform(const QImage& image, int tolerance = 39) {
    const QColor first = image.pixelColor(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!near(image.pixelColor(x, y), first, tolerance)) return false;
    return true;
}

TEST(Orientation, MatchesTheDecodersOwnTurn) {
    QImage source(3, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            source.setPixel(x, y, qRgb(x * 40, y * 40, 7));
    for (int code = 0; code < 8; ++code) {
        const QImage turned = browser::orientedImage(source, code);
        const bool swap = code & 4;
        ASSERT_EQ(turned.size(), swap ? QSize(2, 3) : QSize(3, 2)) << code;
        for (int row = 0; row < turned.height(); ++row) {
            const raw::OrientedRow walk = raw::oriented_row(code, 2, 3, row);
            for (int col = 0; col < turned.width(); ++col) {
                const int64_t at = walk.start + walk.step * col;
                EXPECT_EQ(turned.pixel(col, row), source.pixel(int(at % 3), int(at / 3)))
                    << "code " << code << " at " << col << "," << row;
            }
        }
    }
}

TEST(PreviewJpeg, DecodesAtTheSmallestScaleReaching128) {
    const std::vector<uint8_t> jpeg = jpegBytes(markedPicture(1600, 1200));
    const QImage eighth = browser::decodePreviewJpeg(jpeg, 128, 0);
    EXPECT_EQ(eighth.size(), QSize(200, 150));
    EXPECT_EQ(browser::decodePreviewJpeg(jpeg, 1000, 0).size(), QSize(1000, 750)); // 5/8
    EXPECT_EQ(browser::decodePreviewJpeg(jpegBytes(markedPicture(100, 80)), 128, 0).size(), QSize(100, 80));
    // Rotated a quarter turn (EXIF 6): the top band ends up on the right.
    const QImage turned = browser::decodePreviewJpeg(jpeg, 128, 6);
    ASSERT_EQ(turned.size(), QSize(150, 200));
    EXPECT_TRUE(near(turned.pixelColor(145, 100), Qt::green));
    EXPECT_TRUE(near(turned.pixelColor(20, 20), Qt::red));
    EXPECT_TRUE(near(turned.pixelColor(20, 180), Qt::blue));
}

TEST(PreviewJpeg, DamagedStreamsGiveNothingOrWhatDecodes) {
    std::vector<uint8_t> jpeg = jpegBytes(markedPicture(320, 240));
    EXPECT_TRUE(browser::decodePreviewJpeg({}, 128, 0).isNull());
    const std::vector<uint8_t> header(jpeg.begin(), jpeg.begin() + 20);
    EXPECT_TRUE(browser::decodePreviewJpeg(header, 128, 0).isNull());
    const std::vector<uint8_t> garbage(500, 0xAB);
    EXPECT_TRUE(browser::decodePreviewJpeg(garbage, 128, 0).isNull());
    const std::vector<uint8_t> half(jpeg.begin(), jpeg.begin() + long(jpeg.size() / 2));
    const QImage partial = browser::decodePreviewJpeg(half, 128, 0); // no crash; a picture or none
    if (!partial.isNull()) {
        EXPECT_EQ(partial.size(), QSize(160, 120));
    }
}

TEST(EmbeddedPreview, SyntheticDngShowsItsPreviewTurned) {
    testsupport::TempFolder folder;
    testsupport::SyntheticDngSpec spec;
    spec.jpegThumbnail = jpegBytes(markedPicture(320, 240));
    spec.orientation = 6;
    const fs::path dng =
        testsupport::writeFile(folder.path(), "chart.dng", testsupport::buildSyntheticDng(spec));
    const auto preview = raw::readEmbeddedPreview(dng);
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->jpeg, spec.jpegThumbnail);
    const QImage thumb = browser::DefaultThumbnailer().thumbnail(dng, QSize(128, 128));
    ASSERT_EQ(thumb.size(), QSize(96, 128));
    EXPECT_TRUE(near(thumb.pixelColor(90, 64), Qt::green));
}

// Without a preview the sensor data itself is developed, at half size: red on the left of
// the scene, blue on the right, turned a quarter clockwise (orientation 6) so that the
// left comes out on top.
TEST(ReducedDecode, APreviewlessRawDevelopsAtHalfSizeTurnedUpright) {
    testsupport::TempFolder folder;
    testsupport::SyntheticDngSpec spec;
    spec.width = 128;
    spec.height = 96;
    spec.orientation = 6;
    spec.scene = [&](int x, int) {
        return x < spec.width / 2 ? testsupport::LinearRgb{0.6, 0.05, 0.05}
                                  : testsupport::LinearRgb{0.05, 0.05, 0.6};
    };
    for (bool losslessJpeg : {false, true}) {
        spec.losslessJpeg = losslessJpeg;
        const fs::path bare =
            testsupport::writeFile(folder.path(), "bare.dng", testsupport::buildSyntheticDng(spec));
        ASSERT_FALSE(raw::readEmbeddedPreview(bare));
        const auto reduced = raw::decodeReduced(bare);
        ASSERT_TRUE(reduced) << losslessJpeg;
        EXPECT_EQ(reduced->width, 48);
        EXPECT_EQ(reduced->height, 64);
        ASSERT_EQ(reduced->rgb.size(), size_t(48 * 64 * 3));
        const QImage thumb = browser::DefaultThumbnailer().thumbnail(bare, QSize(128, 128));
        ASSERT_EQ(thumb.size(), QSize(96, 128));
        const QColor top = thumb.pixelColor(48, 20), bottom = thumb.pixelColor(48, 108);
        EXPECT_GT(top.red(), 150) << losslessJpeg;
        EXPECT_LT(top.blue(), 80);
        EXPECT_GT(bottom.blue(), 150);
        EXPECT_LT(bottom.red(), 80);
    }

    // What the decoder cannot develop gives no image: a cut file, a file of no known kind.
    std::vector<uint8_t> bytes = testsupport::buildSyntheticDng(spec);
    bytes.resize(bytes.size() / 3);
    EXPECT_FALSE(raw::decodeReduced(testsupport::writeFile(folder.path(), "cut.dng", bytes)));
    EXPECT_FALSE(
        raw::decodeReduced(testsupport::writeFile(folder.path(), "text.dng", std::string(4000, 'x'))));
    EXPECT_FALSE(raw::decodeReduced(folder / "missing.dng"));
}

TEST(EmbeddedPreview, PreviewRunningPastTheFileIsRefused) {
    testsupport::TempFolder folder;
    testsupport::SyntheticDngSpec spec;
    spec.jpegThumbnail = jpegBytes(markedPicture(64, 48));
    std::vector<uint8_t> bytes = testsupport::buildSyntheticDng(spec);
    // Cut the file inside the preview's bytes.
    const auto at =
        std::search(bytes.begin(), bytes.end(), spec.jpegThumbnail.begin(), spec.jpegThumbnail.begin() + 8);
    ASSERT_NE(at, bytes.end());
    bytes.erase(at + 16, bytes.end());
    const fs::path cut = testsupport::writeFile(folder.path(), "cut.dng", bytes);
    EXPECT_FALSE(raw::readEmbeddedPreview(cut));
}

TEST(ReaderThumbnail, OtherImagesAreScaledToFit) {
    testsupport::TempFolder folder;
    const fs::path png = folder / "wide.png";
    ASSERT_TRUE(markedPicture(400, 100).save(QString::fromStdString(png.string())));
    EXPECT_EQ(browser::DefaultThumbnailer().thumbnail(png, QSize(128, 128)).size(), QSize(128, 32));
    testsupport::writeFile(folder.path(), "fake.png", std::string("not a png"));
    EXPECT_TRUE(browser::DefaultThumbnailer().thumbnail(folder / "fake.png", QSize(128, 128)).isNull());
    EXPECT_TRUE(browser::DefaultThumbnailer().thumbnail(folder.path(), QSize(128, 128)).isNull());
    EXPECT_TRUE(browser::DefaultThumbnailer().thumbnail(folder / "missing.jpg", QSize(128, 128)).isNull());
}

TEST(SampleThumbnails, CameraPreviewsShowAndOthersRefuseCleanly) {
    const struct {
        const char* name;
        bool preview;
        bool portrait;
        int tolerance; // the Pixel 7's own preview is a night scene: values 0 to 10
    } cases[] = {
        {"Pixel7_small.dng", true, true, 0}, // orientation 8
        {"EOS_D30.CRW", true, false, 39},
        {"PowerShotG2_CRW_0304.CRW", true, false, 39},
        // No preview of their own: developed at half size.
        {"BMPCC_cinemadng_frame.dng", true, false, 39},
        {"DC120_P003908_uncompressed.KDC", true, false, 39},
        {"DC50_DC0008L.KDC", true, false, 39},
        {"synthetic_1024_rggb_uncompressed.dng", true, false, 39},
        {"PhotoCD.pcd", false, false, 0},
        {"DC120_P003911_jpeg.KDC", false, false, 0}, // no loader for its data
        {"CanonRaw.cr3", false, false, 0},           // header only
    };
    for (const auto& c : cases) {
        if (!fs::exists(testsupport::samplePath(c.name))) continue;
        const QImage thumb =
            browser::DefaultThumbnailer().thumbnail(testsupport::samplePath(c.name), QSize(128, 128));
        ASSERT_EQ(!thumb.isNull(), c.preview) << c.name;
        if (!c.preview) continue;
        EXPECT_EQ(std::max(thumb.width(), thumb.height()), 128) << c.name;
        EXPECT_EQ(thumb.height() > thumb.width(), c.portrait) << c.name;
        EXPECT_FALSE(uniform(thumb, c.tolerance)) << c.name;
    }
    // The chart that comes with the program has no preview either.
    const QImage chart = browser::DefaultThumbnailer().thumbnail(
        fs::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng", QSize(128, 128));
    ASSERT_FALSE(chart.isNull());
    EXPECT_FALSE(uniform(chart));
    // Every sample, header-only and refused ones included, ends with an image or none.
    if (!fs::exists(testsupport::samplePath(""))) GTEST_SKIP() << "no samples";
    for (const auto& entry : fs::directory_iterator(testsupport::samplePath("")))
        browser::DefaultThumbnailer().thumbnail(entry.path(), QSize(128, 128));
}

TEST(BrowserImages, DrawnIconsAndBadge) {
    EXPECT_EQ(browser::defaultFileImage(QSize(64, 64)).size(), QSize(64, 64));
    EXPECT_FALSE(uniform(browser::defaultFolderImage(QSize(64, 64))));
    const QImage icon = solid(QSize(90, 90), Qt::blue);
    const QImage badged = browser::withLinkBadge(icon);
    EXPECT_EQ(badged.size(), icon.size());
    EXPECT_EQ(badged.pixelColor(80, 10), QColor(Qt::blue));
    EXPECT_NE(badged.pixelColor(15, 75), QColor(Qt::blue));
}

} // namespace

namespace {

TEST(PhotoCdThumbnail, ImagePackShowsItsSmallestLevel) {
    testsupport::TempFolder folder;
    const fs::path pack = testsupport::writeFile(folder.path(), "IMG0001.PCD",
                                                 testsupport::PhotoCdBuilder().flatLevels(180).data());
    const QImage thumb = browser::DefaultThumbnailer().thumbnail(pack, QSize(128, 128));
    ASSERT_FALSE(thumb.isNull());
    EXPECT_EQ(std::max(thumb.width(), thumb.height()), 128);
    EXPECT_GT(qGray(thumb.pixel(thumb.width() / 2, thumb.height() / 2)), 60); // light grey, not black
    const fs::path cut = testsupport::writeFile(
        folder.path(), "cut.pcd", testsupport::PhotoCdBuilder().flatLevels(180).truncate(5000).data());
    EXPECT_TRUE(browser::DefaultThumbnailer().thumbnail(cut, QSize(128, 128)).isNull());
}

} // namespace
