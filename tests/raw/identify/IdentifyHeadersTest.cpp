#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "raw/core/DCRaw.h"
#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/identify/Identify.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/IdentifyKit.h"
#include "tests/support/TempHome.h"

using namespace raw;
using identifykit::Bytes;
using identifykit::identify;

namespace {

Bytes nokiaRaw(uint32_t dataSize, uint16_t width, uint16_t height) {
    Bytes file;
    file.text(0, "NOKIARAW").le32(300, 512).le32(304, dataSize).le16(308, width).le16(310, height);
    return file.resize(512 + dataSize);
}

} // namespace

TEST(IdentifyHeaders, NokiaRawDerivesDepthAndStoredRowsFromTheDataSize) {
    // 100 x 50 visible at 10 bits is 6250 bytes; 6750 bytes hold 54 rows of 125 bytes.
    auto s = identify(nokiaRaw(6750, 100, 50).data());
    EXPECT_STREQ(s->camera_make, "Nokia");
    EXPECT_STREQ(s->camera_model, "100x50");
    EXPECT_EQ(s->byte_order, kLittleEndian);
    EXPECT_EQ(s->sensor_data_offset, 512u);
    EXPECT_EQ(s->bits_per_sample, 10u);
    EXPECT_EQ(s->raw_loader, nokia_load_raw);
    EXPECT_EQ(s->visible_width, 100);
    EXPECT_EQ(s->visible_height, 50);
    EXPECT_EQ(s->sensor_height, 54);
    EXPECT_EQ(s->sensor_width, 100);
    EXPECT_EQ(s->margin_top, 4);
    EXPECT_EQ(s->masked_areas[0][3], 1);
    EXPECT_EQ(s->cfa_pattern, 0xe1e1e1e1u) << "0x61 pattern with its second green marked";
    EXPECT_EQ(s->raw_count, 1u);

    auto eight = identify(nokiaRaw(5000, 100, 50).data());
    EXPECT_EQ(eight->raw_loader, eight_bit_load_raw);
    EXPECT_EQ(eight->sensor_height, 50);
    EXPECT_EQ(eight->margin_top, 0);
    EXPECT_EQ(eight->raw_count, 1u);
}

TEST(IdentifyHeaders, NokiaRawRefusals) {
    struct Corrupt {
        uint32_t size;
        uint16_t width, height;
    };
    for (Corrupt c : {Corrupt{0, 100, 50}, Corrupt{6750, 0, 50}, Corrupt{6750, 100, 0}}) {
        SCOPED_TRACE(testing::Message() << c.size << " bytes, " << c.width << " x " << c.height);
        auto s = identifykit::freshState(); // the thrown text lives in its message buffer
        try {
            identifykit::identifyInto(*s, nokiaRaw(c.size, c.width, c.height).data());
            ADD_FAILURE() << "identification went on";
        } catch (const DecoderText& thrown) {
            EXPECT_STREQ(thrown.text, "Corrupt NokiaRaw file");
        }
    }
    // 12 bits has no loader; 1 bit on a 3-photosite row gives rows of 0 bytes.
    EXPECT_EQ(identify(nokiaRaw(7500, 100, 50).data())->raw_count, 0u);
    auto thin = identify(nokiaRaw(12, 3, 30).data());
    EXPECT_EQ(thin->raw_count, 0u);
    EXPECT_EQ(thin->margin_top, 0) << "no wrapped margin";
}

TEST(IdentifyHeaders, ArriHeader) {
    Bytes file;
    file.text(0, "ARRI").le32(20, 2880).le32(24, 1620).text(668, "ALEXA").resize(8192);
    auto s = identify(file.data());
    EXPECT_STREQ(s->camera_make, "ARRI");
    EXPECT_STREQ(s->camera_model, "ALEXA");
    EXPECT_EQ(s->visible_width, 2880);
    EXPECT_EQ(s->visible_height, 1620);
    EXPECT_EQ(s->sensor_width, 2880);
    EXPECT_EQ(s->sensor_height, 1620);
    EXPECT_EQ(s->sensor_data_offset, 4096u);
    EXPECT_EQ(s->raw_loader, packed_bits_load_raw);
    EXPECT_EQ(s->loader_flags, 88u);
    EXPECT_EQ(s->bits_per_sample, 12u);
    EXPECT_EQ(s->white_level, 4095u);
    EXPECT_EQ(s->raw_count, 1u);

    file.le32(20, 70000); // wider than any 16-bit size
    EXPECT_EQ(identify(file.data())->raw_count, 0u);
}

TEST(IdentifyHeaders, XpdsHeader) {
    Bytes file;
    file.text(0, "XPDS").text(2048, "Bolex").le16(2089, 1080).le16(2091, 2048).text(2149, "D16");
    auto s = identify(file.resize(0x10000).data());
    EXPECT_STREQ(s->camera_make, "Bolex");
    EXPECT_STREQ(s->camera_model, "D16");
    EXPECT_EQ(s->sensor_height, 1080);
    EXPECT_EQ(s->sensor_width, 2048);
    EXPECT_EQ(s->sensor_data_offset, 0x10000u);
    EXPECT_EQ(s->raw_loader, three_per_word_load_raw);
    EXPECT_EQ(s->raw_count, 1u);
}

TEST(IdentifyHeaders, FujifilmHeaderWordsAreBigEndian) {
    Bytes file;
    file.text(0, "FUJIFILM").be32(84, 148).be32(88, 1000).be32(92, 2000).be32(100, 4000);
    file.be32(120, 3001).be32(128, 5000).be32(2000, 0).resize(6000);
    auto first = identify(file.data());
    EXPECT_EQ(first->thumbnail_offset, 148u);
    EXPECT_EQ(first->thumbnail_length, 1000u);
    EXPECT_EQ(first->sensor_data_offset, 4000u);
    auto second = identify(file.data(), [](DecoderState& s) { s.shot_index = 1; });
    EXPECT_EQ(second->sensor_data_offset, 5000u) << "the second frame's data";
}

TEST(IdentifyHeaders, FujifilmLoaderFollowsTheDataDirectory) {
    struct Case {
        uint32_t ifdWidth, byteCount, flags;
        uint64_t fileLength;
        Routine loader;
        uint32_t flagsAfter;
    } cases[] = {
        {100, 10000, 0, 0, plain_words_load_raw, 0},          // 2 bytes per photosite
        {100, 7500, 0, 0, packed_bits_load_raw, 24},          // 12 bits packed
        {100, 7499, 5, 0, packed_bits_load_raw, 5},           // within one byte; flags kept
        {100, 7502, 0, 0, fuji_compressed_load_raw, 0},       // anything else
        {64, 0, 0, 1000 + 10000, plain_words_load_raw, 0},    // other size, room for words
        {64, 0, 0, 1000 + 9999, fuji_compressed_load_raw, 0}, // other size, too little data
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ifdWidth << " wide, " << c.byteCount << " bytes");
        auto s = identifykit::freshState();
        s->sensor_width = 100;
        s->sensor_height = 50;
        s->bits_per_sample = 12;
        s->loader_flags = c.flags;
        s->sensor_data_offset = 1000;
        s->ifd_table[1].width = c.ifdWidth;
        s->ifd_table[1].height = 50;
        s->ifd_table[1].byte_count = c.byteCount;
        choose_fuji_loader(*s, c.fileLength);
        EXPECT_EQ(s->raw_loader, c.loader);
        EXPECT_EQ(s->loader_flags, c.flagsAfter);
    }
}

TEST(IdentifyHeaders, NamedByTheirHeaderText) {
    struct Case {
        Bytes file;
        const char *make, *model;
        Routine loader;
    } cases[] = {
        {Bytes(64).text(0, "qktk"), "Apple", "QuickTake 100", quicktake_100_load_raw},
        {Bytes(64).text(0, "qktn"), "Apple", "QuickTake 150", radc_load_raw},
        {Bytes(64).text(0, "PXN"), "Logitech", "Fotoman Pixtura", radc_load_raw},
        {Bytes(64).text(0, "qktkx"), "", "", nullptr}, // the whole text must match
        {Bytes(64).text(4, "RED1"), "Red", "One", empty_loader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        testing::internal::CaptureStderr(); // the Red refusal
        auto s = identify(c.file.data());
        testing::internal::GetCapturedStderr();
        EXPECT_STREQ(s->camera_make, c.make);
        if (c.make[0]) {
            EXPECT_STREQ(s->camera_model, c.model);
        }
        EXPECT_EQ(s->raw_loader, c.loader);
    }
}

TEST(IdentifyHeaders, ContaxWhiteBalanceAndPhoneHeader) {
    Bytes contax;
    contax.text(25, "ARECOYK").le32(60, 10).le32(64, 20).le32(68, 30).le32(72, 40).resize(128);
    auto s = identify(contax.data());
    EXPECT_STREQ(s->camera_make, "Contax");
    EXPECT_STREQ(s->camera_model, "N Digital");
    EXPECT_EQ(s->as_shot_multipliers[0], 10);
    EXPECT_EQ(s->as_shot_multipliers[1], 20);
    EXPECT_EQ(s->as_shot_multipliers[3], 30);
    EXPECT_EQ(s->as_shot_multipliers[2], 40);

    Bytes phone;
    phone.text(0, std::string("\x00\x01\x00\x01\x00\x40", 6))
        .text(6, "Maker")
        .text(14, "Phone")
        .text(22, "Second");
    phone.le16(38, 1024).le16(42, 640).le16(44, 480).resize(1024 + 640 * 480);
    auto p = identify(phone.data());
    EXPECT_STREQ(p->camera_make, "Maker");
    EXPECT_STREQ(p->camera_model, "Phone");
    EXPECT_STREQ(p->model_text_2, "Second");
    EXPECT_EQ(p->sensor_data_offset, 1024u);
    EXPECT_EQ(p->sensor_width, 640);
    EXPECT_EQ(p->sensor_height, 480);
    EXPECT_EQ(p->raw_loader, nokia_load_raw);
}

TEST(IdentifyHeaders, ExifJpegTakesItsDataOffsetFromTheSegmentLength) {
    Bytes file;
    file.u8(0, 0xFF).u8(1, 0xD8).u8(2, 0xFF).u8(3, 0xE1).u8(4, 0x01).u8(5, 0x00).text(6, "Exif");
    file.u8(260, 0xFF).resize(512);
    auto s = identify(file.data());
    EXPECT_EQ(s->sensor_data_offset, 260u);
    EXPECT_EQ(s->thumbnail_offset, 0u);
}

// A file of a size the table knows and no header of its own.
TEST(IdentifyHeaders, FileSizeTableRows) {
    struct Case {
        uint32_t size;
        const char *make, *model;
        uint16_t sensorWidth, sensorHeight, visibleWidth, visibleHeight;
        uint32_t pattern, bits, flags, white;
        int colours, orientation, zeroBad;
        uint16_t order;
        Routine loader;
    } cases[] = {
        {1581060, "Nikon", "E900", 1305, 969, 1287, 963, 0x1e1e1e1e, 10, 518, 1008, 4, 0, 0, 0,
         packed_bits_load_raw},
        {5298000, "Canon", "PowerShot SD300", 2400, 1766, 2344, 1752, 0xb4b4b4b4, 10, 40 | 0x300, 1023, 3, 0,
         1, 0, packed_bits_load_raw},
        {2937856, "Casio", "EX-S20", 1621, 1208, 1620, 1208, 0xb4b4b4b4, 12, 512, 3968, 3, 3, 0, 0,
         packed_bits_load_raw},
        {1138688, "Minolta", "RD175", 1534, 986, 1534, 986, 0xe1e1e1e1, 6, 0, 63, 3, 0, 0, 0,
         line_remap_8bit_load_raw},
        {2868726, "Baumer", "TXG14", 1384, 1036, 1384, 1036, 0x4b4b4b4b, 12, 0, 4095, 3, 2, 0, kLittleEndian,
         plain_words_load_raw},
        {12582980, "Sinar", "3072x2048", 3072, 2048, 3072, 2048, 0xe1e1e1e1, 14, 0, 16383, 3, 0, 0,
         kBigEndian, plain_words_load_raw},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        auto s = identify(Bytes(c.size).data());
        EXPECT_STREQ(s->camera_make, c.make);
        EXPECT_STREQ(s->camera_model, c.model);
        EXPECT_EQ(s->sensor_width, c.sensorWidth);
        EXPECT_EQ(s->sensor_height, c.sensorHeight);
        EXPECT_EQ(s->visible_width, c.visibleWidth);
        EXPECT_EQ(s->visible_height, c.visibleHeight);
        EXPECT_EQ(s->cfa_pattern, c.pattern);
        EXPECT_EQ(s->colour_count, c.colours);
        EXPECT_EQ(s->bits_per_sample, c.bits);
        EXPECT_EQ(s->loader_flags, c.flags);
        EXPECT_EQ(s->white_level, c.white);
        EXPECT_EQ(s->orientation_code, c.orientation);
        EXPECT_EQ(s->zero_pixels_bad, c.zeroBad);
        if (c.order) {
            EXPECT_EQ(s->byte_order, c.order);
        }
        EXPECT_EQ(s->raw_loader, c.loader);
        EXPECT_EQ(s->raw_count, 1u);
    }
}

TEST(IdentifyHeaders, FileSizeTableNeedsAKnownLayoutAndGivesWayToHeaders) {
    auto unknownLayout = identify(Bytes(786432).data()); // a listed size without a layout
    EXPECT_STREQ(unknownLayout->camera_make, "");
    EXPECT_EQ(unknownLayout->raw_count, 0u);
    EXPECT_EQ(unknownLayout->orientation_code, 0);

    auto headed = identify(nokiaRaw(6750, 100, 50).resize(1581060).data());
    EXPECT_STREQ(headed->camera_make, "Nokia");

    auto empty = identify({});
    EXPECT_STREQ(empty->camera_make, "");
    EXPECT_EQ(empty->raw_count, 0u);
}

// Sizes must be distinct for one row to decide, and a row with a layout must give a depth
// that has a loader.
TEST(IdentifyHeaders, TableRowsAreDistinctAndTheirLayoutsLoadable) {
    for (int i = 0; i < kFileSizeRows; ++i) {
        const file_size_row& row = file_size_table[i];
        SCOPED_TRACE(row.file_size);
        EXPECT_NE(row.make[0], 0);
        for (int j = i + 1; j < kFileSizeRows; ++j)
            EXPECT_NE(row.file_size, file_size_table[j].file_size);
        if (!row.raw_width) continue;
        const uint64_t bits =
            (row.file_size - row.data_offset) * 8 / (uint64_t(row.raw_width) * row.raw_height);
        EXPECT_TRUE(bits == 6 || bits == 8 || bits == 10 || bits == 12 || bits == 16) << bits;
    }
}

TEST(IdentifyHeaders, CorruptNokiaRawIsTheLoadStatus) {
    testsupport::TempHome home;
    const auto path = testsupport::writeFile(home.path(), "IMG.raw", nokiaRaw(0, 100, 50).data());
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    uint64_t pixelSize = 1;
    EXPECT_FALSE(decoder.loadFile(path.string(), &pixelSize));
    EXPECT_EQ(decoder.dcStatus(), "Corrupt NokiaRaw file");
    EXPECT_EQ(pixelSize, 0u);
}

// Every header cut short or filled with noise ends identification with a state or the one
// text identification raises; the sanitizers watch for reads outside the file or the state.
TEST(IdentifyHeaders, ShortAndNoisyHeadersEndCleanly) {
    const std::string magics[] = {"NOKIARAW",
                                  "ARRI",
                                  "XPDS",
                                  "FUJIFILM",
                                  "qktk",
                                  "PXN",
                                  "RIFF",
                                  "PWAD",
                                  "CI",
                                  "IIII",
                                  "MMMM",
                                  "II*",
                                  "MM",
                                  std::string("\x00\x01\x00\x01\x00\x40", 6),
                                  std::string("\xFF\xD8\xFF\xE1\x00\x10"
                                              "Exif",
                                              10),
                                  std::string("\0\0\0\0RED1", 8),
                                  std::string("\0\0\0\0ftypcrx ", 12)};
    uint32_t seed = 12345;
    auto noise = [&seed] { return uint8_t((seed = seed * 1103515245 + 12345) >> 16); };
    for (const std::string& magic : magics) {
        for (size_t size : {size_t(0), magic.size(), size_t(31), size_t(33), size_t(304), size_t(700),
                            size_t(2100), size_t(5000)}) {
            SCOPED_TRACE(testing::Message() << magic << " in " << size << " bytes");
            Bytes file(size);
            for (size_t i = 0; i < size; ++i)
                file.u8(i, noise());
            file.text(0, magic).resize(std::max(size, magic.size()));
            auto s = identifykit::freshState();
            testing::internal::CaptureStderr(); // refusals of codecs not carried
            try {
                identifykit::identifyInto(*s, file.data());
            } catch (const DecoderText& thrown) {
                EXPECT_STREQ(thrown.text, "Corrupt NokiaRaw file");
            }
            testing::internal::GetCapturedStderr();
            if (s->raw_count) {
                EXPECT_GE(s->visible_width, 22);
                EXPECT_LE(uint64_t(s->margin_left) + s->visible_width, s->sensor_width);
            }
        }
    }
}

// Raspberry Pi camera JPEGs hold their sensor data after a "BRCMn" block a fixed distance
// before the end; a file shorter than that distance must not be read before its start.
TEST(IdentifyHeaders, OmniVisionBlockIsLookedForOnlyInsideTheFile) {
    constexpr size_t kFromEnd = 6404096;
    auto recognise = [](const Bytes& file) {
        auto s = identifykit::freshState();
        std::strcpy(s->camera_model, "ov5647"); // what the JPEG's EXIF block names
        s->sensor_width = 2592;
        testsupport::MemoryFile memory(file.data());
        s->input_file = memory.get();
        s->raw_count = 1;
        recognise_container(*s);
        s->input_file = nullptr;
        return s;
    };
    auto pi = recognise(Bytes(kFromEnd + 64).text(64, std::string("BRCMn\0", 6)));
    EXPECT_STREQ(pi->camera_make, "OmniVision");
    EXPECT_EQ(pi->sensor_data_offset, 64u + 32768u);
    EXPECT_EQ(pi->visible_width, 2592);
    EXPECT_EQ(pi->sensor_width, 2611);
    EXPECT_EQ(pi->raw_loader, nokia_load_raw);
    EXPECT_EQ(pi->cfa_pattern, 0x16161616u);
    EXPECT_EQ(pi->raw_count, 1u);

    auto shortFile = recognise(Bytes(1000).text(0, "BRCMn"));
    EXPECT_STREQ(shortFile->camera_make, "");
    EXPECT_EQ(shortFile->raw_count, 0u);
}
