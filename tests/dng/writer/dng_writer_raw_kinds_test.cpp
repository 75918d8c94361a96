// What WriteDNG makes of each kind of raw data (integer and float of every width, with a
// transparency mask), which profile it embeds, the raw data's unique ID, and what each
// metadata subset keeps.
#include "dng/dng_camera_profile_info.h"
#include "dng/dng_date_time.h"
#include "dng/dng_exif.h"
#include "dng/dng_memory.h"
#include "dng/dng_metadata.h"
#include "dng/dng_preview.h"
#include "dng/dng_read_image.h"
#include "tests/dng/writer/TileFormatFixtures.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

using namespace writertest;

namespace {

// The first value of a SHORT entry, in the entry or at its offset.
uint32_t FirstShort(const std::vector<uint8_t>& bytes, const TiffEntry& entry) {
    return entry.count <= 2 ? entry.value & 0xFFFF : Get16(bytes, entry.value);
}

struct RawKind {
    const char* name;
    SampleFormat format;
    int bayerPhase; // -1 linear RGB
    uint32_t compatibility;
    uint32_t compression, predictor;
    bool withMask = false;
};

// A negative whose stage-1 image holds samples of the kind's format.
std::unique_ptr<dng_negative> KindNegative(dng_host& host, const RawKind& kind, uint32_t rows,
                                           uint32_t cols) {
    const bool cfa = kind.bayerPhase >= 0;
    std::unique_ptr<dng_negative> negative =
        MakeNegative(host, rows, cols, SceneSamples(rows, cols, cfa ? 1 : 3, 1), kind.bayerPhase);
    if (kind.format.isFloat) {
        negative->SetRawFloatBitDepth(kind.format.bits);
        negative->SetWhiteLevel(1);
    }
    if (kind.format.isFloat || kind.format.bits != 16)
        negative->SetStage1Image(FormatImage(host, kind.format, rows, cols, cfa ? 1 : 3, 2));
    return negative;
}

const RawKind kKinds[] = {
    {"rgb_f32_deflate", {32, true}, -1, 0x01040000, 8, 3},
    {"rgb_f16_deflate_v11", {16, true}, -1, 7, 8, 3},
    {"cfa_f16_deflate", {16, true}, 1, 0x01040000, 8, 34894},
    {"cfa_f24_deflate", {24, true}, 0, 0x01040000, 8, 34894},
    {"cfa_u32_deflate", {32, false}, 2, 0x01040000, 8, 34892},
    {"rgb_u32_uncompressed_v11", {32, false}, -1, 7, 1, 1},
    {"rgb_u16_lossless_mask", {16, false}, -1, 7, 7, 1, true},
    {"cfa_u16_lossless_mask", {16, false}, 3, 0x01040000, 7, 1, true},
};

class RawKinds : public ::testing::TestWithParam<RawKind> {};

} // namespace

TEST_P(RawKinds, WrittenReadBackAndValid) {
    const RawKind& k = GetParam();
    const uint32_t rows = 150, cols = 200;
    dng_host host;
    std::unique_ptr<dng_negative> negative = KindNegative(host, k, rows, cols);
    std::unique_ptr<dng_simple_image> mask;
    if (k.withMask) {
        mask = FormatImage(host, SampleFormat{8, false}, rows, cols, 1, 3);
        negative->SetTransparencyMask(std::unique_ptr<dng_image>(mask->Clone()));
    }
    dng_preview_list previews;
    std::unique_ptr<dng_preview> small(MakePreview(host, 12, 16).release());
    std::unique_ptr<dng_preview> big(MakePreview(host, 24, 32).release());
    previews.Append(small);
    previews.Append(big);
    const std::vector<uint8_t> bytes = DNGBytes(*negative, 4, false, k.compatibility, &previews);

    // IFD 0 the smaller preview; SubIFDs the raw image, then the mask, then the other preview;
    // the EXIF directory after them all.
    const auto ifd0 = ReadIFD(bytes, Get32(bytes, 4));
    EXPECT_EQ(ifd0.at(256).value, 16u);
    ASSERT_EQ(ifd0.at(330).count, k.withMask ? 3u : 2u);
    std::vector<uint32_t> subs;
    for (uint32_t i = 0; i < ifd0.at(330).count; ++i)
        subs.push_back(Get32(bytes, ifd0.at(330).value + 4 * i));
    EXPECT_TRUE(std::is_sorted(subs.begin(), subs.end()));
    EXPECT_GT(ifd0.at(34665).value, subs.back());
    const auto raw = ReadIFD(bytes, subs[0]);
    EXPECT_EQ(raw.at(254).value, 0u);
    EXPECT_EQ(raw.at(259).value, k.compression);
    EXPECT_EQ(raw.count(317) ? raw.at(317).value : 1u, k.predictor);
    EXPECT_EQ(FirstShort(bytes, raw.at(258)), k.format.bits);
    EXPECT_EQ(raw.count(339) ? FirstShort(bytes, raw.at(339)) : 1u, k.format.isFloat ? 3u : 1u);
    EXPECT_EQ(ReadIFD(bytes, subs.back()).at(256).value, 32u);
    // Float data, 32-bit integers deflated and transparency masks need a 1.4 reader.
    const bool needs14 = k.format.isFloat || k.withMask || (k.format.bits == 32 && k.compression == 8);
    EXPECT_EQ(ifd0.at(50707).value, needs14 ? 0x00000401u : 0x00000101u);
    EXPECT_EQ(ifd0.count(50781), 1u);

    const auto back = ReadMainImage(bytes);
    EXPECT_EQ(SampleBits(*back), ExpectedReadBack(negative->RawImage(), k.format));

    if (k.withMask) {
        const auto maskIFD = ReadIFD(bytes, subs[1]);
        EXPECT_EQ(maskIFD.at(254).value, 4u);
        EXPECT_EQ(maskIFD.at(262).value, 4u);
        EXPECT_EQ(maskIFD.at(258).value, 8u);
        // Its data follows the raw image's.
        const uint32_t rawTiles = raw.count(324) ? 324 : 273, maskTiles = maskIFD.count(324) ? 324 : 273;
        const uint32_t lastRaw =
            raw.at(rawTiles).count == 1
                ? raw.at(rawTiles).value
                : Get32(bytes, raw.at(rawTiles).value + 4 * (raw.at(rawTiles).count - 1));
        const uint32_t firstMask = maskIFD.at(maskTiles).count == 1
                                       ? maskIFD.at(maskTiles).value
                                       : Get32(bytes, maskIFD.at(maskTiles).value);
        EXPECT_GT(firstMask, lastRaw);
        dng_info info;
        dng_host readHost;
        auto stream = dngtest::StreamOver(bytes);
        info.Parse(readHost, *stream);
        const dng_parsed_ifd* parsed = nullptr;
        for (const dng_parsed_ifd& ifd : info.IFDs())
            if (ifd.fNewSubFileType == 4) parsed = &ifd;
        ASSERT_NE(parsed, nullptr);
        dng_simple_image readMask(dng_rect(rows, cols), 1, ttByte, readHost.Allocator());
        dng_read_image reader;
        reader.Read(readHost, parsed->fLayout, *stream, readMask);
        EXPECT_EQ(SampleBits(readMask), SampleBits(*mask));
    }

    testsupport::TempFolder folder;
    const std::string path = (folder / (std::string(k.name) + ".dng")).string();
    WriteBytes(path, bytes);
    if (HaveTool("exiftool")) {
        EXPECT_EQ(ExiftoolComplaints(path), "");
    }
    if (HaveTool("tiffinfo")) {
        const auto [info, status] = RunCommand("tiffinfo " + path);
        EXPECT_EQ(status, 0) << info;
    }
}

INSTANTIATE_TEST_SUITE_P(Writer, RawKinds, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DngWriterProfiles, TheProfileToEmbedGoesIntoIFD0AndTheOthersAreExtra) {
    auto profile = [](const char* name, uint32_t policy) {
        dng_camera_profile_info info;
        info.fCalibrationIlluminant1 = 21;
        info.fColorMatrix1 = dng_matrix_3by3(0.8, -0.2, -0.1, -0.3, 1.1, 0.2, 0.0, 0.2, 0.6);
        info.fProfileName.Set(name);
        info.fEmbedPolicy = policy;
        const uint8_t none = 0;
        dng_stream empty(&none, 0);
        auto p = std::make_unique<dng_camera_profile>();
        p->SetFromProfileInfo(empty, info);
        return p;
    };
    dng_host host;
    std::unique_ptr<dng_negative> negative = MakeNegative(host, 32, 48, SceneSamples(32, 48, 3, 3));
    negative->ClearProfiles();
    negative->AddProfile(profile("Never", 2));
    negative->AddProfile(profile("Allowed", 0));
    negative->AddProfile(profile("Also", 3));
    const std::vector<uint8_t> bytes = DNGBytes(*negative, 1, false);
    const auto ifd0 = ReadIFD(bytes, Get32(bytes, 4));
    auto text = [&](const std::map<uint16_t, TiffEntry>& ifd, size_t base) {
        const TiffEntry& e = ifd.at(50936);
        const size_t at = e.count <= 4 ? 0 : base + e.value;
        return std::string(reinterpret_cast<const char*>(bytes.data() + at), e.count - 1);
    };
    EXPECT_EQ(text(ifd0, 0), "Allowed");
    ASSERT_EQ(ifd0.at(50933).count, 2u);
    std::vector<std::string> extra;
    for (uint32_t i = 0; i < 2; ++i) {
        const uint32_t at = Get32(bytes, ifd0.at(50933).value + 4 * i);
        extra.push_back(text(ReadIFD(bytes, at + 8), at));
    }
    EXPECT_EQ(extra, (std::vector<std::string>{"Never", "Also"}));
}

TEST(DngWriterIdentity, EveryDngCarriesTheRawDataUniqueID) {
    dng_host host;
    const std::vector<uint16_t> samples = SceneSamples(40, 60, 1, 5);
    auto id = [](const std::vector<uint8_t>& bytes) {
        const auto ifd0 = ReadIFD(bytes, Get32(bytes, 4));
        if (!ifd0.count(50781) || ifd0.at(50781).count != 16) return std::string();
        const uint32_t at = ifd0.at(50781).value;
        return std::string(bytes.begin() + at, bytes.begin() + at + 16);
    };
    std::string first;
    for (const auto& [compatibility, uncompressed] :
         {std::pair{7u, false}, std::pair{0x01040000u, false}, std::pair{0x01040000u, true}}) {
        // Made again from the same samples and settings: the same ID, whatever the file's form.
        std::unique_ptr<dng_negative> negative = MakeNegative(host, 40, 60, samples, 1);
        const std::string written = id(DNGBytes(*negative, 2, uncompressed, compatibility));
        ASSERT_EQ(written.size(), 16u);
        EXPECT_EQ(written, std::string(reinterpret_cast<const char*>(negative->RawDataUniqueID().data), 16));
        if (first.empty()) first = written;
        EXPECT_EQ(written, first);
    }
    std::vector<uint16_t> changed = samples;
    changed[1234] ^= 1;
    std::unique_ptr<dng_negative> negative = MakeNegative(host, 40, 60, changed, 1);
    EXPECT_NE(id(DNGBytes(*negative, 2, false, 7)), first);
    negative = MakeNegative(host, 40, 60, samples, 1);
    negative->SetDefaultCropSize(58, 40);
    EXPECT_NE(id(DNGBytes(*negative, 2, false, 7)), first);
}

TEST(DngWriterMetadata, EachSubsetKeepsItsPart) {
    dng_host host;
    std::unique_ptr<dng_negative> negative = MakeNegative(host, 8, 8, SceneSamples(8, 8, 3, 1));
    dng_exif& exif = *negative->GetExif();
    exif.fArtist.Set("Photographer");
    exif.fCopyright.Set("(c) Photographer");
    exif.fImageDescription.Set("A chart");
    dng_date_time_info date;
    date.SetDateTime(dng_date_time(2024, 5, 17, 14, 30, 5));
    exif.fDateTimeOriginal = date;
    exif.fGPSLatitudeRef.Set("N");
    exif.fGPSLatitude[0] = dng_urational(48, 1);
    std::unique_ptr<dng_memory_block> note(host.Allocate(4));
    negative->Metadata().SetMakerNote(std::move(note));

    struct Kept {
        bool make, exposure, artist, copyright, description, date, gps, makerNote;
    };
    const std::pair<uint32_t, Kept> subsets[] = {
        {kMetadataSubset_CopyrightOnly, {false, false, false, true, false, false, false, false}},
        {kMetadataSubset_CopyrightAndContact, {false, false, true, true, false, false, false, false}},
        {kMetadataSubset_AllExceptCameraInfo, {false, false, true, true, true, true, true, false}},
        {kMetadataSubset_All, {true, true, true, true, true, true, true, true}},
        {kMetadataSubset_AllExceptLocationInfo, {true, true, true, true, true, true, false, true}},
        {kMetadataSubset_AllExceptCameraAndLocation, {false, false, true, true, true, true, false, false}},
        {kMetadataSubset_AllExceptCameraRawInfo, {true, true, true, true, true, true, true, true}},
        {kMetadataSubset_AllExceptCameraRawInfoAndLocation,
         {true, true, true, true, true, true, false, true}},
    };
    dng_image_writer writer;
    for (const auto& [subset, kept] : subsets) {
        std::unique_ptr<dng_metadata> metadata(negative->Metadata().Clone(host.Allocator()));
        writer.PrepareMetadata(host, *metadata, subset, "image/tiff", "Lumivar");
        const dng_exif& e = *metadata->GetExif();
        EXPECT_EQ(e.fMake.NotEmpty(), kept.make) << subset;
        EXPECT_EQ(e.fExposureTime.IsValid(), kept.exposure) << subset;
        EXPECT_EQ(e.fISOSpeedRatings[0] != 0, kept.exposure) << subset;
        EXPECT_EQ(e.fArtist.NotEmpty(), kept.artist) << subset;
        EXPECT_EQ(e.fCopyright.NotEmpty(), kept.copyright) << subset;
        EXPECT_EQ(e.fImageDescription.NotEmpty(), kept.description) << subset;
        EXPECT_EQ(e.fDateTimeOriginal.IsValid(), kept.date) << subset;
        EXPECT_EQ(e.fGPSLatitude[0].IsValid(), kept.gps) << subset;
        EXPECT_EQ(metadata->MakerNote() != nullptr, kept.makerNote) << subset;
        // Every subset is stamped with the EXIF version written.
        EXPECT_TRUE(e.AtLeastVersion0231()) << subset;
    }
}
