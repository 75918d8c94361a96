#include "dng/dng_color_space.h"
#include "dng/dng_date_time.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_memory.h"
#include "dng/dng_noise_profile.h"
#include "dng/dng_preview.h"
#include "dng/dng_tag_sets.h"
#include "tests/dng/writer/DecoderReadBack.h"
#include "tests/dng/writer/WriterFixtures.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace writertest;

namespace {

// Fails every tile after the first few, to see what a failed write leaves.
class FailingWriter : public dng_image_writer {
  public:
    void EncodeTile(dng_host& host, const dng_ifd& ifd, dng_stream& stream, const dng_image& image,
                    const dng_rect& area, uint32_t fake, dng_memory_block& a, dng_memory_block& b,
                    dng_memory_block& c, dng_memory_block& d) override {
        if (area.l > 0) Throw_dng_error(dng_error_user_canceled);
        dng_image_writer::EncodeTile(host, ifd, stream, image, area, fake, a, b, c, d);
    }
};

class ExposedWriter : public dng_image_writer {
  public:
    using dng_image_writer::RecordTilePlacement;
    void SetTooBigCode(int32_t code) { fTooBigCode = code; }
};

// exiftool's warnings, but for those named as tolerated.
std::string ExiftoolWarnings(const std::string& path, const std::vector<std::string>& tolerated = {}) {
    const auto [out, status] = RunCommand("exiftool -validate -warning -a -s " + path);
    std::string complaints;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Validate", 0) == 0) continue;
        bool known = false;
        for (const std::string& t : tolerated)
            known = known || line.find(t) != std::string::npos;
        if (!known) complaints += line + "\n";
    }
    return status == 0 ? complaints : complaints + "status " + std::to_string(status);
}

} // namespace

TEST(DngWriterFiles, ThreadCountDoesNotChangeTheBytes) {
    dng_host host;
    const std::unique_ptr<dng_negative> cfa = MakeNegative(host, 500, 600, SceneSamples(500, 600, 1, 3), 1);
    const std::unique_ptr<dng_negative> rgb = MakeNegative(host, 200, 300, SceneSamples(200, 300, 3, 4));
    for (dng_negative* negative : {cfa.get(), rgb.get()}) {
        const std::vector<uint8_t> one = DNGBytes(*negative, 1, false);
        const std::vector<uint8_t> eight = DNGBytes(*negative, 8, false);
        EXPECT_EQ(one, eight);

        // Six lossless JPEG tiles, back to back in index order.
        const std::map<uint16_t, TiffEntry> ifd0 = ReadIFD(eight, Get32(eight, 4));
        ASSERT_EQ(ifd0.at(324).count, 6u);
        uint32_t expected = ifd0.at(324).value == 0 ? 0 : Get32(eight, ifd0.at(324).value);
        for (uint32_t i = 0; i < 6; ++i) {
            const uint32_t offset = Get32(eight, ifd0.at(324).value + 4 * i);
            const uint32_t count = Get32(eight, ifd0.at(325).value + 4 * i);
            EXPECT_EQ(offset, expected) << i;
            EXPECT_EQ(eight[offset], 0xFF);
            EXPECT_EQ(eight[offset + 1], 0xD8);
            expected = offset + count + (count & 1);
        }
        EXPECT_EQ(expected, eight.size());
    }
    testsupport::TempFolder folder;
    const std::string path = (folder / "threads.dng").string();
    WriteBytes(path, DNGBytes(*cfa, 8, false));
    EXPECT_EQ(DecodeSensor(path).samples, SceneSamples(500, 600, 1, 3));
}

TEST(DngWriterFiles, VersionAndDigestByCompatibility) {
    dng_host host;
    const std::unique_ptr<dng_negative> negative = MakeNegative(host, 32, 48, SceneSamples(32, 48, 3, 5));
    const std::vector<uint8_t> classic = DNGBytes(*negative, 1, false, 7);
    const auto ifd0 = ReadIFD(classic, Get32(classic, 4));
    EXPECT_EQ(ifd0.at(50706).value, 0x00000401u); // 1.4.0.0
    EXPECT_EQ(ifd0.at(50707).value, 0x00000101u); // 1.1.0.0
    EXPECT_EQ(ifd0.count(50972), 1u);
    EXPECT_EQ(ifd0.count(51111), 0u);
    EXPECT_EQ(ifd0.at(262).value, 34892u);
    EXPECT_EQ(ifd0.at(259).value, 7u);
    EXPECT_EQ(ifd0.at(50879).value, 1u);

    const std::vector<uint8_t> modern = DNGBytes(*negative, 1, false, 0x01040000);
    const auto ifd0New = ReadIFD(modern, Get32(modern, 4));
    EXPECT_EQ(ifd0New.count(50972), 0u);
    EXPECT_EQ(ifd0New.count(51111), 1u);
}

TEST(DngWriterFiles, PreviewTakesIFD0AndTheRawGoesToASubIFD) {
    dng_host host;
    const std::unique_ptr<dng_negative> negative = MakeNegative(host, 48, 64, SceneSamples(48, 64, 1, 6), 0);
    dng_preview_list previews;
    std::unique_ptr<dng_preview> big(MakePreview(host, 24, 32).release());
    std::unique_ptr<dng_preview> small(MakePreview(host, 12, 16).release());
    previews.Append(big);
    previews.Append(small);
    const std::vector<uint8_t> bytes = DNGBytes(*negative, 1, false, 7, &previews);
    const auto ifd0 = ReadIFD(bytes, Get32(bytes, 4));
    EXPECT_EQ(ifd0.at(254).value, 1u);
    EXPECT_EQ(ifd0.at(256).value, 16u); // the smaller preview
    EXPECT_EQ(ifd0.at(262).value, 2u);
    EXPECT_EQ(ifd0.at(50970).value, 2u);
    ASSERT_EQ(ifd0.at(330).count, 2u);
    const auto raw = ReadIFD(bytes, Get32(bytes, ifd0.at(330).value));
    EXPECT_EQ(raw.at(254).value, 0u);
    EXPECT_EQ(raw.at(262).value, 32803u);
    const auto other = ReadIFD(bytes, Get32(bytes, ifd0.at(330).value + 4));
    EXPECT_EQ(other.at(256).value, 32u);

    testsupport::TempFolder folder;
    const std::string path = (folder / "preview.dng").string();
    WriteBytes(path, bytes);
    EXPECT_EQ(DecodeSensor(path).samples, SceneSamples(48, 64, 1, 6));
    if (HaveTool("exiftool")) {
        EXPECT_EQ(ExiftoolWarnings(path), "");
    }
    if (HaveTool("tiffinfo")) {
        const auto [info, status] = RunCommand("tiffinfo " + path);
        EXPECT_EQ(status, 0) << info;
        EXPECT_NE(info.find("SubIFD"), std::string::npos) << info;
    }
}

TEST(DngWriterFiles, PreviewsAndTheirList) {
    dng_host host;
    dng_preview_list list;
    for (int i = 0; i < 20; ++i) {
        std::unique_ptr<dng_preview> p(MakePreview(host, 2, 2).release());
        list.Append(p);
        EXPECT_EQ(p, nullptr);
    }
    std::unique_ptr<dng_preview> extra(MakePreview(host, 2, 2).release());
    list.Append(extra);
    EXPECT_NE(extra, nullptr); // the 21st stays with its caller
    EXPECT_EQ(list.Count(), 20u);

    // A JPEG preview of odd length: the pad byte follows, the count stays odd.
    dng_jpeg_preview jpeg;
    jpeg.fPreviewSize = dng_point(8, 8);
    jpeg.fInfo.fIsPrimary = false;
    jpeg.fCompressedData.reset(host.Allocate(5));
    std::memcpy(jpeg.fCompressedData->Buffer(), "\xFF\xD8\x01\xFF\xD9", 5);
    dng_tiff_directory dir;
    std::unique_ptr<dng_basic_tag_set> tags = jpeg.AddTagSet(dir);
    dng_memory_stream stream(host.Allocator());
    stream.SetWritePosition(10);
    dng_image_writer writer;
    jpeg.WriteData(host, writer, *tags, stream);
    EXPECT_EQ(tags->TileOffset(0), 10u);
    EXPECT_EQ(tags->TileByteCount(0), 5u);
    EXPECT_EQ(stream.Length(), 16u);
    EXPECT_EQ(dir.Entry(0)->Code(), 254);
    dng_memory_stream resource(host.Allocator());
    resource.SetBigEndian();
    jpeg.SpoolAdobeThumbnail(resource);
    EXPECT_EQ(resource.Length(), 12u + 28 + 5 + 1);
}

TEST(DngWriterFiles, TiffWithProfileAndExif) {
    dng_host host;
    const std::vector<uint16_t> samples = SceneSamples(40, 50, 3, 8);
    const std::unique_ptr<dng_negative> negative = MakeNegative(host, 40, 50, samples);
    const std::unique_ptr<dng_simple_image> image = MakeImage(host, 40, 50, 3, samples);
    testsupport::TempFolder folder;
    dng_resolution dpi300;
    dpi300.fXResolution = dpi300.fYResolution = dng_urational(300, 1);
    dpi300.fResolutionUnit = 2;
    struct Case {
        const char* name;
        const dng_color_space& space;
        uint32_t compression;
        uint32_t colorSpace;
        const dng_resolution* resolution;
    } cases[] = {{"prophoto.tif", dng_space_ProPhoto::Get(), 1, 0xFFFF, nullptr},
                 {"srgb.tif", dng_space_sRGB::Get(), 1, 1, &dpi300},
                 {"deflate.tif", dng_space_ProPhoto::Get(), 8, 0xFFFF, &dpi300}};
    for (const Case& c : cases) {
        const std::string path = (folder / c.name).string();
        {
            dng_threaded_host threaded(4);
            dng_atomic_file_stream stream(path.c_str());
            dng_image_writer writer;
            writer.WriteTIFF(threaded, stream, *image, 2, c.compression, negative.get(), &c.space,
                             c.resolution);
            stream.Commit();
        }
        const std::vector<uint8_t> bytes = ReadFile(path);
        const auto ifd = ReadIFD(bytes, Get32(bytes, 4));
        EXPECT_EQ(ifd.at(262).value, 2u) << c.name;
        EXPECT_EQ(ifd.count(34675), 1u) << c.name;
        EXPECT_EQ(ifd.count(282), c.resolution ? 1u : 0u) << c.name;
        EXPECT_EQ(ifd.at(273).count, 1u) << c.name;
        EXPECT_EQ(ifd.at(259).value, c.compression) << c.name;
        EXPECT_EQ(ifd.count(317), c.compression == 1 ? 0u : 1u) << c.name;
        const auto exif = ReadIFD(bytes, ifd.at(34665).value);
        EXPECT_EQ(exif.at(40961).value, c.colorSpace) << c.name;
        if (HaveTool("tiffinfo")) {
            const auto [info, status] = RunCommand("tiffinfo -D " + path);
            EXPECT_EQ(status, 0) << info;
            EXPECT_EQ(info.find("rror"), std::string::npos) << info;
        }
        if (HaveTool("exiftool")) {
            // The EXIF record has no FlashpixVersion; the export TIFF carries no resolution;
            // exiftool counts deflate (8) as nonstandard for baseline TIFF.
            std::vector<std::string> tolerated = {"FlashpixVersion"};
            if (!c.resolution) tolerated.insert(tolerated.end(), {"XResolution", "YResolution"});
            if (c.compression == 8) tolerated.push_back("tag 0x0103 Compression");
            EXPECT_EQ(ExiftoolWarnings(path, tolerated), "") << c.name;
        }
    }
    if (HaveTool("tiffcmp")) {
        const auto [out, status] = RunCommand("tiffcmp " + (folder / "prophoto.tif").string() + " " +
                                              (folder / "deflate.tif").string());
        EXPECT_EQ(status, 0) << out;
    }
}

TEST(DngWriterFiles, AFailedWriteLeavesNothingAndKeepsTheOldFile) {
    dng_host host;
    const std::unique_ptr<dng_negative> negative =
        MakeNegative(host, 300, 400, SceneSamples(300, 400, 1, 9), 0);
    testsupport::TempFolder folder;

    // A destination in a missing folder: no file opens, nothing is made.
    try {
        dng_atomic_file_stream stream((folder / "missing" / "x.dng").c_str());
        FAIL() << "opened a file in a missing folder";
    } catch (const dng_exception& e) {
        EXPECT_EQ(e.ErrorCode(), dng_error_open_file);
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));

    const std::string path = (folder / "old.dng").string();
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    WriteBytes(path, old);

    // A writer that fails half-way, with one thread and with eight.
    for (uint32_t threads : {1u, 8u}) {
        try {
            dng_threaded_host threaded(threads);
            dng_atomic_file_stream stream(path.c_str());
            FailingWriter writer;
            writer.WriteDNG(threaded, stream, *negative, nullptr, 7, false);
            stream.Commit();
            FAIL() << "the failing writer succeeded";
        } catch (const dng_exception& e) {
            EXPECT_EQ(e.ErrorCode(), dng_error_user_canceled);
        }
        EXPECT_EQ(ReadFile(path), old);
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"old.dng"});
    }

    // The file system refuses the bytes: a file-size limit on this process while it writes
    // (not in a forked child: the host's tasks run on the shared pool, whose threads a child
    // does not have).
    {
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = 32768;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        int32_t code = 0;
        try {
            dng_atomic_file_stream stream(path.c_str());
            dng_image_writer writer;
            writer.WriteDNG(host, stream, *negative, nullptr, 7, true);
            stream.Commit();
        } catch (const dng_exception& e) {
            code = e.ErrorCode();
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(code, dng_error_write_file);
    }
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"old.dng"});
}

TEST(DngWriterFiles, DataBeyondFourGiBIsTooBig) {
    dng_ifd ifd;
    ifd.fImageWidth = ifd.fImageLength = 16;
    ifd.fBitsPerSample[0] = 16;
    ifd.SetSingleStrip();
    dng_tiff_directory dir;
    dng_basic_tag_set tags(dir, ifd);
    ExposedWriter writer;
    const uint64_t fourGiB = uint64_t(1) << 32;
    writer.RecordTilePlacement(tags, 0, fourGiB - 100, fourGiB - 1);
    EXPECT_EQ(tags.TileOffset(0), uint32_t(fourGiB - 100));
    for (int32_t code : {dng_error_image_too_big_dng, dng_error_image_too_big_tiff}) {
        writer.SetTooBigCode(code);
        try {
            writer.RecordTilePlacement(tags, 0, fourGiB - 100, fourGiB + 100);
            ADD_FAILURE() << "an offset past 4 GiB was recorded";
        } catch (const dng_exception& e) {
            EXPECT_EQ(e.ErrorCode(), code);
        }
    }
}

TEST(DngWriterFiles, ExifAndGpsReadBackWithExiftool) {
    if (!HaveTool("exiftool")) GTEST_SKIP() << "exiftool not installed";
    dng_host host;
    const std::unique_ptr<dng_negative> negative = MakeNegative(host, 32, 48, SceneSamples(32, 48, 1, 12), 2);
    dng_exif& exif = *negative->GetExif();
    dng_date_time_info date;
    date.SetDateTime(dng_date_time(2024, 5, 17, 14, 30, 5));
    exif.fDateTimeOriginal = date;
    exif.fUserComment.Set("Gr\xC3\xBC\xC3\x9F"
                          "e");
    exif.fGPSVersionID = 0x02030000;
    exif.fGPSLatitudeRef.Set("N");
    exif.fGPSLatitude[0] = dng_urational(48, 1);
    exif.fGPSLatitude[1] = dng_urational(30, 1);
    exif.fGPSLatitude[2] = dng_urational(0, 1);
    exif.fGPSAltitudeRef = 0;
    exif.fGPSAltitude = dng_urational(5205, 10);
    testsupport::TempFolder folder;
    const std::string path = (folder / "exif.dng").string();
    WriteBytes(path, DNGBytes(*negative, 2, false, 7));
    EXPECT_EQ(ExiftoolWarnings(path), "");
    const auto [out, status] = RunCommand(
        "exiftool -s -s -s -Make -Model -ISO -FNumber -DateTimeOriginal -UserComment -GPSLatitude# "
        "-GPSAltitude# -CFAPattern2 " +
        path);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "Lumivar\nTest Camera\n200\n5.6\n2024:05:17 14:30:05\nGr\xC3\xBC\xC3\x9F"
                   "e\n48.5\n520.5\n2 1 1 0\n");
}

TEST(DngWriterFiles, ExtraProfilesAndNoiseProfile) {
    dng_host host;
    const std::unique_ptr<dng_negative> negative = MakeNegative(host, 32, 48, SceneSamples(32, 48, 1, 13), 1);
    auto second = std::make_unique<dng_camera_profile>();
    second->SetName("Second");
    second->SetCalibrationIlluminant1(21);
    second->SetColorMatrix1(dng_matrix_3by3(1, 0, 0, 0, 1, 0, 0, 0, 1));
    negative->AddProfile(std::move(second));
    negative->SetNoiseProfile(dng_noise_profile({dng_noise_function(2e-5, 1e-7)}));
    dng_preview_list previews;
    std::unique_ptr<dng_preview> preview(MakePreview(host, 8, 12).release());
    previews.Append(preview);
    const std::vector<uint8_t> bytes = DNGBytes(*negative, 1, false, 7, &previews);

    const auto ifd0 = ReadIFD(bytes, Get32(bytes, 4));
    ASSERT_EQ(ifd0.count(50933), 1u);
    const uint32_t profile = ifd0.at(50933).value; // one extra profile: its offset in the entry
    EXPECT_EQ(std::string(bytes.begin() + profile, bytes.begin() + profile + 2), "II");
    EXPECT_EQ(Get16(bytes, profile + 2), 0x4352);
    EXPECT_EQ(Get32(bytes, profile + 4), 8u);
    const auto extra = ReadIFD(bytes, profile + 8); // offsets inside count from the profile's start
    EXPECT_EQ(extra.at(50778).value, 21u);
    // The noise profile goes into the raw IFD and, the preview being IFD 0, into IFD 0 too.
    EXPECT_EQ(ifd0.at(51041).count, 2u);
    EXPECT_EQ(ReadIFD(bytes, ifd0.at(330).value).at(51041).count, 2u);
    testsupport::TempFolder folder;
    const std::string path = (folder / "profiles.dng").string();
    WriteBytes(path, bytes);
    if (HaveTool("exiftool")) {
        EXPECT_EQ(ExiftoolWarnings(path), "");
    }
}

TEST(DngWriterFiles, DeflateBeyondItsBufferIsAnOverflow) {
    // Without the extra room random samples do not fit once deflated.
    class TightWriter : public dng_image_writer {
      public:
        uint32_t ExtraBufferSize(const dng_ifd&, uint32_t) const override { return 0; }
    };
    dng_host host;
    const std::unique_ptr<dng_simple_image> image = MakeImage(host, 16, 16, 3, RandomSamples(16 * 16 * 3, 5));
    dng_memory_stream stream(host.Allocator());
    TightWriter writer;
    try {
        writer.WriteTIFF(host, stream, *image, 2, 8, static_cast<const dng_metadata*>(nullptr), nullptr, 0,
                         nullptr, nullptr, nullptr, kMetadataSubset_All, false);
        FAIL() << "the deflated strip fitted";
    } catch (const dng_exception& e) {
        EXPECT_EQ(e.ErrorCode(), dng_error_overflow);
    }
}
