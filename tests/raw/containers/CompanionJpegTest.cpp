#include <gtest/gtest.h>

#include <string>

#include "raw/containers/Containers.h"
#include "tests/raw/ContainerBytes.h"
#include "tests/support/TempHome.h"
#include "tests/support/TiffBuilder.h"

namespace {

TEST(CompanionJpeg, NameRule) {
    const std::pair<const char*, const char*> cases[] = {
        {"/photos/1234ABCD.CR2", "/photos/ABCD1234.JPG"},
        {"/photos/IMG_1234.crw", "/photos/IMG_1234.jpg"},
        {"/photos/ABCD1234.jpg", "/photos/ABCD1235.jpg"},
        {"ABCD1299.JPG", "ABCD1300.JPG"},
        {"ABCD9999.jpg", "ABCD0000.jpg"},
        {"1234ABCD.raw", "ABCD1234.jpg"},
        {"ABCDEFGH.jpg", ""},          // no number to count on: the same name
        {"/photos/IMG_12345.crw", ""}, // nine characters
        {"/photos/IMG_1234.tiff", ""}, // five-character extension
        {"/photo.d/IMG1234", ""},
    };
    for (const auto& [raw, companion] : cases)
        EXPECT_EQ(raw::companion_jpeg_name(raw), companion) << raw;
}

TEST(CompanionJpeg, ReadsTheCompanionAndRestoresTheRawFile) {
    testsupport::TempHome home;
    const auto rawPath = testsupport::writeFile(home.path(), "IMG_0001.dat", std::string(64, 'x'));
    testsupport::writeFile(home.path(), "IMG_0001.jpg", std::string("\xFF\xD8\xFF\xE1") + std::string(40, 0));
    testsupport::ParsedFile f(std::vector<uint8_t>(8, 0));
    FILE* rawFile = f.s->input_file;
    const std::string path = rawPath.string();
    f.s->input_path = path.c_str();
    f.s->raw_count = 0;
    f.s->thumbnail_offset = 99;
    f.s->verbose_output = 1;
    testing::internal::CaptureStderr();
    raw::parse_external_jpeg(*f.s);
    const std::string companion = (home.path() / "IMG_0001.jpg").string();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Reading metadata from " + companion +
                                                          " ...\nFailed to read metadata from " + companion +
                                                          "\n");
    EXPECT_EQ(f.s->input_file, rawFile);
    EXPECT_EQ(f.s->raw_count, 1u);
    EXPECT_EQ(f.s->thumbnail_offset, 0u);

    // A companion whose EXIF block has a date: nothing to tell.
    testsupport::TiffBuilder tiff;
    tiff.addIfd().ascii(271, "Casio").ascii(306, "2004:05:17 14:30:05");
    testsupport::Bytes jpeg(true);
    jpeg.u8(0xFF).u8(0xD8).u8(0xFF).u8(0xE1).u16(200).text("Exif").zeros(2).append(tiff.build());
    testsupport::writeFile(home.path(), "IMG_0001.jpg", jpeg.data);
    f.s->verbose_output = 0;
    testing::internal::CaptureStderr();
    raw::parse_external_jpeg(*f.s);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_STREQ(f.s->camera_make, "Casio");
    EXPECT_EQ(f.s->capture_time, testsupport::localSeconds(2004, 5, 17, 14, 30, 5));

    // Without the companion the raw file keeps its state; the failure is still told.
    std::filesystem::remove(companion);
    f.s->raw_count = 0;
    f.s->capture_time = 0;
    testing::internal::CaptureStderr();
    raw::parse_external_jpeg(*f.s);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to read metadata from " + companion + "\n");
    EXPECT_EQ(f.s->raw_count, 0u);
    EXPECT_EQ(f.s->input_file, rawFile);
}

} // namespace
