// The decoder's file writers: PNM and TIFF images and the thumbnail with its EXIF block.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "raw/output/FileOutput.h"
#include "tests/support/MemoryFile.h"

using namespace raw;

namespace {

// Bytes written through a FILE*.
class Capture {
  public:
    Capture() : file_(open_memstream(&data_, &size_)) {}
    ~Capture() {
        if (file_) std::fclose(file_);
        std::free(data_);
    }
    FILE* get() const { return file_; }
    std::vector<uint8_t> bytes() {
        std::fflush(file_);
        return {reinterpret_cast<uint8_t*>(data_), reinterpret_cast<uint8_t*>(data_) + size_};
    }

  private:
    char* data_ = nullptr;
    size_t size_ = 0;
    FILE* file_;
};

// A developed 3-row x 2-column image whose pixel (r, c) holds 1000 x (r * 2 + c + 1) + the
// channel, with the histogram's white at bin `white_bin`.
struct Developed {
    explicit Developed(int colours = 3, int white_bin = 8191) : s(std::make_unique<DecoderState>()) {
        s->visible_height = s->image_height = 3;
        s->visible_width = s->image_width = 2;
        s->colour_count = colours;
        std::strcpy(s->colour_letters, "RGBG");
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 2; ++c)
                for (int ch = 0; ch < 4; ++ch)
                    pixels[r * 2 + c][ch] = uint16_t(1000 * (r * 2 + c + 1) + ch);
        s->pixel_image = reinterpret_cast<uint16_t(*)[4]>(pixels.data());
        for (int c = 0; c < colours; ++c)
            s->histogram[c][white_bin] = 6; // every pixel: above 1%
    }
    std::vector<uint8_t> write() {
        s->output_file = out.get();
        write_ppm_tiff(*s);
        return out.bytes();
    }
    uint16_t expected(int r, int c, int ch) const { return s->tone_table[pixels[r * 2 + c][ch]]; }

    std::unique_ptr<DecoderState> s;
    std::array<std::array<uint16_t, 4>, 6> pixels{};
    Capture out;
};

std::string text_of(const std::vector<uint8_t>& bytes, size_t n) {
    return {bytes.begin(), bytes.begin() + long(n)};
}

uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | uint32_t(b[at + 1]) << 8; }
uint32_t le32(const std::vector<uint8_t>& b, size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }

struct Entry {
    uint32_t type, count, value;
};

// One directory of a little-endian TIFF, checked to be in ascending tag order.
std::map<uint32_t, Entry> read_directory(const std::vector<uint8_t>& b, size_t at) {
    std::map<uint32_t, Entry> entries;
    const uint32_t n = le16(b, at);
    uint32_t last = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const size_t e = at + 2 + 12 * i;
        const uint32_t tag = le16(b, e);
        EXPECT_TRUE(i == 0 || tag > last) << "tag " << tag << " out of order";
        last = tag;
        entries[tag] = {le16(b, e + 2), le32(b, e + 4), le32(b, e + 8)};
    }
    return entries;
}

std::string ascii_at(const std::vector<uint8_t>& b, const Entry& e, size_t entry_value_at) {
    const size_t at = e.count <= 4 ? entry_value_at : e.value;
    return std::string(reinterpret_cast<const char*>(b.data() + at));
}

double rational_at(const std::vector<uint8_t>& b, uint32_t at) {
    return double(le32(b, at)) / le32(b, at + 4);
}

size_t value_offset_of(const std::vector<uint8_t>& b, size_t directory, uint32_t tag) {
    for (uint32_t i = 0; i < le16(b, directory); ++i)
        if (le16(b, directory + 2 + 12 * i) == tag) return directory + 2 + 12 * i + 8;
    return 0;
}

} // namespace

TEST(ImageFileWriter, PnmHeadersSamplesAndByteOrder) {
    struct Case {
        int colours, bits;
        const char* header;
    } cases[] = {
        {3, 8, "P6\n2 3\n255\n"},
        {1, 16, "P5\n2 3\n65535\n"},
        {4, 8, "P7\nWIDTH 2\nHEIGHT 3\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGBG\nENDHDR\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        Developed d(c.colours);
        d.s->output_bits = c.bits;
        const std::vector<uint8_t> bytes = d.write();
        const size_t header = std::strlen(c.header);
        ASSERT_EQ(bytes.size(), header + 6u * c.colours * (c.bits / 8));
        EXPECT_EQ(text_of(bytes, header), c.header);
        size_t at = header;
        for (int r = 0; r < 3; ++r)
            for (int col = 0; col < 2; ++col)
                for (int ch = 0; ch < c.colours; ++ch) {
                    const uint16_t v = d.expected(r, col, ch);
                    if (c.bits == 8) {
                        EXPECT_EQ(bytes[at++], v >> 8);
                    } else { // big endian
                        EXPECT_EQ(bytes[at] << 8 | bytes[at + 1], v);
                        at += 2;
                    }
                }
    }
}

TEST(ImageFileWriter, WhiteComesFromHistogramAndBrightness) {
    for (float brightness : {1.0f, 2.0f}) {
        Developed d(3, 750); // white 750 << 3 = 6000
        d.s->brightness = brightness;
        d.s->output_bits = 16;
        d.write();
        const int white = int(6000 / brightness);
        EXPECT_EQ(d.s->tone_table[white], 65535);
        EXPECT_LT(d.s->tone_table[white - 100], 65535);
    }
    Developed dark(3, 10); // the white never goes below bin 32
    dark.write();
    EXPECT_LT(dark.s->tone_table[255], 65535);
    EXPECT_EQ(dark.s->tone_table[256], 65535);
}

TEST(ImageFileWriter, OrientationSwapsAndReorders) {
    Developed d;
    d.s->orientation_code = 6; // 90 degrees clockwise
    const std::vector<uint8_t> bytes = d.write();
    const std::string header = "P6\n3 2\n255\n";
    ASSERT_EQ(text_of(bytes, header.size()), header);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j)
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_EQ(bytes[header.size() + (i * 3 + j) * 3 + ch], d.expected(2 - j, i, ch) >> 8)
                    << i << "," << j;
}

TEST(ImageFileWriter, TiffHeaderParsesBack) {
    setenv("TZ", "UTC", 1);
    tzset();
    Developed d;
    DecoderState& s = *d.s;
    s.tiff_output = 1;
    s.output_bits = 16;
    std::strcpy(s.camera_make, "Lumivar");
    std::strcpy(s.camera_model, "Synthetic RGGB with a longer model name");
    std::strcpy(s.artist_text, "Bob");
    s.capture_time = 1715941800; // 2024-05-17 10:30:00 UTC
    s.exposure_time = 1.0f / 60;
    s.f_number = 2.8f;
    s.iso_value = 400;
    s.focal_length_mm = 50;
    std::array<uint8_t, 1024> profile{};
    profile[3] = 40; // an ICC header claiming 40 bytes
    for (int i = 4; i < 40; ++i)
        profile[i] = uint8_t(i);
    s.output_profile = profile.data();
    const std::vector<uint8_t> b = d.write();

    ASSERT_GE(b.size(), kTiffHeaderSize);
    EXPECT_EQ(text_of(b, 4), std::string("II*\0", 4));
    ASSERT_EQ(le32(b, 4), 10u);
    auto main = read_directory(b, 10);
    EXPECT_EQ(main[256].value, 2u);
    EXPECT_EQ(main[257].value, 3u);
    EXPECT_EQ(main[258].count, 3u);
    EXPECT_EQ(le16(b, main[258].value), 16u);
    EXPECT_EQ(main[262].value & 0xFFFF, 2u);
    EXPECT_EQ(main[277].value & 0xFFFF, 3u);
    EXPECT_EQ(main[273].value, kTiffHeaderSize + 40);
    EXPECT_EQ(main[279].value, 2u * 3 * 3 * 2);
    EXPECT_EQ(main[34675].count, 40u);
    EXPECT_EQ(std::memcmp(b.data() + main[34675].value, profile.data(), 40), 0);
    EXPECT_EQ(main.count(274), 0u);
    EXPECT_EQ(main.count(34853), 0u); // no GPS data
    EXPECT_EQ(ascii_at(b, main[271], 0), "Lumivar");
    EXPECT_EQ(ascii_at(b, main[272], 0), "Synthetic RGGB with a longer model name");
    EXPECT_EQ(ascii_at(b, main[315], value_offset_of(b, 10, 315)), "Bob"); // 4 bytes: inside the entry
    EXPECT_EQ(ascii_at(b, main[305], 0), "Lumivar");
    EXPECT_EQ(ascii_at(b, main[306], 0), "2024:05:17 10:30:00");
    EXPECT_DOUBLE_EQ(rational_at(b, main[282].value), 300);

    auto exif = read_directory(b, main[34665].value);
    EXPECT_EQ(le32(b, exif[33434].value), 1u);
    EXPECT_EQ(le32(b, exif[33434].value + 4), 60u);
    EXPECT_NEAR(rational_at(b, exif[33437].value), 2.8, 1e-6);
    EXPECT_EQ(exif[34855].value & 0xFFFF, 400u);
    EXPECT_DOUBLE_EQ(rational_at(b, exif[37386].value), 50);

    // Little-endian samples after the profile.
    const size_t pixels = main[273].value;
    ASSERT_EQ(b.size(), pixels + main[279].value);
    EXPECT_EQ(le16(b, pixels), d.expected(0, 0, 0));
    EXPECT_EQ(le16(b, pixels + 2 * 5), d.expected(0, 1, 2));
}

TEST(ImageFileWriter, GpsDirectoryWhenTheFileHadGps) {
    Developed d;
    DecoderState& s = *d.s;
    s.tiff_output = 1;
    const uint32_t latitude[6] = {48, 1, 51, 1, 30, 1};
    std::copy(latitude, latitude + 6, s.gps_data);
    s.gps_data[29] = 'N';
    std::memcpy(&s.gps_data[23], "2024:05:17", 11);
    const std::vector<uint8_t> b = d.write();
    auto main = read_directory(b, 10);
    ASSERT_EQ(main.count(34853), 1u);
    auto gps = read_directory(b, main[34853].value);
    EXPECT_EQ(gps[0].value, 0x0202u); // version 2.2.0.0
    EXPECT_EQ(gps[1].value & 0xFF, uint32_t('N'));
    EXPECT_EQ(le32(b, gps[2].value), 48u);
    EXPECT_EQ(le32(b, gps[2].value + 8), 51u);
    EXPECT_EQ(ascii_at(b, gps[29], 0), "2024:05:17");
}

TEST(ImageFileWriter, TiffinfoReadsTheFile) {
    if (std::system("command -v tiffinfo > /dev/null 2>&1") != 0) GTEST_SKIP() << "tiffinfo not installed";
    Developed d;
    d.s->tiff_output = 1;
    d.s->output_bits = 16;
    std::strcpy(d.s->camera_make, "Lumivar");
    const std::vector<uint8_t> bytes = d.write();
    const auto folder = std::filesystem::temp_directory_path() / ("lv-tiffinfo-" + std::to_string(getpid()));
    const auto path = testsupport::writeFile(folder, "image.tiff", bytes);
    const std::string report = (folder / "report.txt").string();
    const std::string command = "tiffinfo -D '" + path.string() + "' > '" + report + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::FILE* f = std::fopen(report.c_str(), "r");
    ASSERT_NE(f, nullptr);
    std::string text;
    for (int ch; (ch = std::fgetc(f)) != EOF;)
        text += char(ch);
    std::fclose(f);
    std::filesystem::remove_all(folder);
    EXPECT_NE(text.find("Image Width: 2 Image Length: 3"), std::string::npos) << text;
    EXPECT_NE(text.find("Bits/Sample: 16"), std::string::npos) << text;
    EXPECT_NE(text.find("Samples/Pixel: 3"), std::string::npos) << text;
    EXPECT_NE(text.find("Make: Lumivar"), std::string::npos) << text;
    EXPECT_EQ(text.find("rror"), std::string::npos) << text;
    EXPECT_EQ(text.find("arning"), std::string::npos) << text;
}

TEST(JpegThumb, AddsExifOnlyWhenTheThumbnailHasNone) {
    const std::vector<uint8_t> plain = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x04, 1, 2, 3, 4, 0xFF, 0xD9};
    const std::vector<uint8_t> with_exif = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x08, 'E',
                                            'x',  'i',  'f',  0,    0,    0xFF, 0xD9};
    for (const auto* thumb : {&plain, &with_exif}) {
        testsupport::MemoryFile in(*thumb);
        auto s = std::make_unique<DecoderState>();
        s->input_file = in.get();
        s->thumbnail_length = uint32_t(thumb->size());
        s->orientation_code = 6;
        std::strcpy(s->camera_make, "Lumivar");
        Capture out;
        s->output_file = out.get();
        jpeg_thumb(*s);
        const std::vector<uint8_t> b = out.bytes();
        if (thumb == &with_exif) {
            EXPECT_EQ(b, with_exif);
            continue;
        }
        const size_t exif_size = 4 + 6 + kTiffHeaderSize;
        ASSERT_EQ(b.size(), 2 + exif_size + plain.size() - 2);
        EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 4),
                  (std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE1}));
        EXPECT_EQ(size_t(b[4] << 8 | b[5]), exif_size - 2);
        EXPECT_EQ(text_of(std::vector<uint8_t>(b.begin() + 6, b.end()), 6), std::string("Exif\0\0", 6));
        const std::vector<uint8_t> tiff(b.begin() + 12, b.begin() + 12 + long(kTiffHeaderSize));
        auto main = read_directory(tiff, 10);
        EXPECT_EQ(main.count(256), 0u); // a thumbnail's header describes no pixels
        EXPECT_EQ(main[274].value & 0xFFFF, 6u);
        EXPECT_EQ(ascii_at(tiff, main[271], 0), "Lumivar");
        EXPECT_EQ(std::vector<uint8_t>(b.begin() + 2 + long(exif_size), b.end()),
                  std::vector<uint8_t>(plain.begin() + 2, plain.end()));
    }
}

TEST(JpegThumb, LengthBeyondTheFileIsCut) {
    std::vector<uint8_t> file(20, 0x11);
    file[0] = 0xFF;
    file[1] = 0xD8;
    testsupport::MemoryFile in(file);
    auto s = std::make_unique<DecoderState>();
    s->input_file = in.get();
    s->thumbnail_length = 0xFFFFFFF0u; // would be a 4 GB allocation
    std::fseek(in.get(), 4, SEEK_SET);
    Capture out;
    s->output_file = out.get();
    jpeg_thumb(*s);
    EXPECT_EQ(out.bytes().size(), 2 + 4 + 6 + kTiffHeaderSize + 16 - 2);
}
