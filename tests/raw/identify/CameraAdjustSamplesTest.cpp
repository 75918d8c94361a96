// The frame the decoder gives each real camera file: raw (sensor) size, margins and output
// size are golden values. Where they differ from exiftool's reading (the samples folder's
// README), the comment says which rule makes the difference. CanonRaw.cr2 (its raw
// directory was cut away), Sigma.x3f and PhotoCD.pcd have no raw frame to give.
#include <gtest/gtest.h>

#include <cctype>
#include <mutex>
#include <string>

#include "raw/core/DCRaw.h"
#include "tests/support/Samples.h"

namespace {

struct Frame {
    const char* file;
    const char* model;
    int raw_width, raw_height;
    int left, top;
    int width, height; // visible frame
    int output_width, output_height;
};

const Frame kFrames[] = {
    // Canon CIFF files: the camera's own active-area borders, exiftool's image size.
    {"CanonRaw.crw", "EOS DIGITAL REBEL", 3152, 2068, 72, 16, 3072, 2048, 3072, 2048},
    {"EOS_D30.CRW", "EOS D30", 2224, 1456, 56, 12, 2160, 1440, 2160, 1440},
    {"PowerShotG2_CRW_0304.CRW", "PowerShot G2", 2376, 1728, 32, 14, 2272, 1704, 2272, 1704},
    // The M50's frame is the Canon row of its raw size: exiftool's 6000 x 4000.
    {"CanonRaw.cr3", "EOS M50", 6288, 4056, 276, 48, 6000, 4000, 6000, 4000},
    // exiftool's 3040 x 2014 is the stored frame; the D70 family drops its last column.
    {"Nikon.nef", "D70", 3040, 2014, 0, 0, 3039, 2014, 3039, 2014},
    // exiftool's 6036 x 4020 is the stored frame; the D7100 trims 18 columns on the left,
    // 18 on the right and 20 rows at the bottom.
    {"D7100_truncated.NEF", "D7100", 6036, 4020, 18, 0, 6000, 4000, 6000, 4000},
    // A full-height 4928-wide Sony sensor keeps its whole frame.
    {"SLT-A55V_truncated.ARW", "SLT-A55V", 4928, 3280, 0, 0, 4928, 3280, 4928, 3280},
    // exiftool gives the borders' 3648 x 2736. The file's own width is its left border plus
    // its right border, 12 rows are added back up to the sensor's height, and no margin row
    // lists the LX3's 3724 x 2754 sensor: 3664 x 2754 from the corner.
    {"Panasonic.rw2", "DMC-LX3", 3724, 2754, 0, 0, 3664, 2754, 3664, 2754},
    // The 45-degree sensor: the header's 4288 x 1440 frame is centred in the 4352 x 1444
    // stored rows, and turned upright it becomes 2144 + 1440 wide; exiftool's 4256 x 1424
    // is the unturned frame.
    {"FujiFilm.raf", "S5Pro", 4352, 1444, 32, 2, 4288, 1440, 3584, 3583},
    // No rule trims the A2: the whole 3272 x 2456 frame of the file, 8 more each way than
    // exiftool's 3264 x 2448.
    {"Minolta.mrw", "DiMAGE A2", 3272, 2456, 0, 0, 3272, 2456, 3272, 2456},
    // The DC50 rule sets the whole 768 x 512 frame; exiftool's 756 x 504 leaves out a border.
    {"DC50_DC0008L.KDC", "DC50", 768, 512, 0, 0, 768, 512, 768, 512},
    // 976 rows of 848 photosites 1.53 times as wide as high: about 1301 x 976 once stretched,
    // the 4:3 frame exiftool gives as 1280 x 960. The stored rows are 1280 wide.
    {"DC120_P003908_uncompressed.KDC", "DC120", 1280, 976, 0, 0, 848, 976, 848, 976},
    {"DC120_P003911_jpeg.KDC", "DC120", 1280, 976, 0, 0, 848, 976, 0, 0},
    // The Phase One header's own frame, as exiftool reads it.
    {"PhaseOne.iiq", "Credo 40", 7372, 5536, 36, 6, 7320, 5484, 0, 0},
    // DNG files take their frame from their own tags, not from the maker rules: the
    // active area (read after the default crop) for the 350D, the default crop for the
    // cinema frame, the whole frame elsewhere.
    {"DNG.dng", "EOS 350D DIGITAL", 3516, 2328, 42, 14, 3474, 2314, 3474, 2314},
    {"BMPCC_cinemadng_frame.dng", "Pocket Cinema Camera", 1952, 1112, 16, 16, 1920, 1080, 1920, 1080},
    {"Pixel7_small.dng", "Pixel 7", 510, 382, 0, 0, 510, 382, 510, 382},
    {"iPhone12Pro_header_only.dng", "iPhone 12 Pro", 4032, 3024, 0, 0, 4032, 3024, 4032, 3024},
    {"synthetic_1024_rggb_uncompressed.dng", "", 1024, 1024, 0, 0, 1024, 1024, 1024, 1024},
    // Refused for their codecs; their frames are still read.
    {"NikonZ9_jxl_linear.dng", "Z 9", 5392, 3592, 0, 0, 5392, 3592, 0, 0},
    {"canon_eos_6d_lossy_linear.dng", "EOS 6D", 1224, 816, 0, 0, 1224, 816, 0, 0},
    {"Hero7_GOPR8508.GPR", "HERO7 Black", 4000, 3000, 0, 0, 4000, 3000, 0, 0},
};

class CameraAdjustSamples : public testing::TestWithParam<Frame> {};

std::string frame_name(const testing::TestParamInfo<Frame>& info) {
    std::string name = info.param.file;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

} // namespace

TEST_P(CameraAdjustSamples, FrameIsTheGoldenOne) {
    const Frame& f = GetParam();
    LV_REQUIRE_SAMPLE(f.file);
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    uint64_t pixelSize = 0;
    decoder.loadFile(testsupport::samplePath(f.file).string(), &pixelSize);
    const raw::DecoderState& s = DCRaw::state();
    ASSERT_TRUE(s.camera_make[0]) << decoder.dcStatus();
    EXPECT_STREQ(s.camera_model, f.model);
    EXPECT_EQ(s.sensor_width, f.raw_width);
    EXPECT_EQ(s.sensor_height, f.raw_height);
    EXPECT_EQ(s.margin_left, f.left);
    EXPECT_EQ(s.margin_top, f.top);
    if (!s.rotated_width) { // a 45-degree frame is turned upright in place
        EXPECT_EQ(s.visible_width, f.width);
        EXPECT_EQ(s.visible_height, f.height);
    }
    if (f.output_width) { // refused files get no output
        EXPECT_EQ(s.image_width, f.output_width);
        EXPECT_EQ(s.image_height, f.output_height);
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, CameraAdjustSamples, testing::ValuesIn(kFrames), frame_name);
