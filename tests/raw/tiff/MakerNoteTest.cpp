// Maker notes and vendor blocks: where each note keeps its directory, the Canon colour
// data, Leaf MOS, Minolta MRM, Imacon, and the enciphered Sony private directory.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "raw/core/InputReaders.h"
#include "raw/loaders/Loaders.h"
#include "raw/tiff/TiffParser.h"
#include "tests/raw/TiffParseFixture.h"
#include "tests/support/TiffBuilder.h"

using namespace raw;
using namespace testsupport;

namespace {

struct Bytes {
    bool big;
    std::vector<uint8_t> out;
    Bytes& text(const std::string& t) {
        out.insert(out.end(), t.begin(), t.end());
        return *this;
    }
    Bytes& u16(uint32_t v) { return put(v, 2); }
    Bytes& u32(uint32_t v) { return put(v, 4); }
    Bytes& put(uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            out.push_back(uint8_t(v >> 8 * (big ? n - 1 - i : i)));
        return *this;
    }
    Bytes& pad(size_t size) {
        out.resize(size, 0);
        return *this;
    }
};

// A one-entry maker-note directory: tag 8 (LONG) carries the shot order.
std::vector<uint8_t> shot_order_directory(bool big, uint16_t entries = 1) {
    return Bytes{big, {}}.u16(entries).u16(8).u16(4).u32(1).u32(4321).u32(0).out;
}

struct NoteCase {
    const char* name;
    std::string header;
    bool file_big, note_big;
    uint32_t expected;
};

TEST(MakerNote, HeadersLocateTheDirectory) {
    const NoteCase cases[] = {
        {"plain", "", false, false, 4321},
        {"Nikon", std::string("Nikon\0\x02\x10\0\0MM\0\x2a\0\0\0\x08", 18), false, true, 4321},
        {"OLYMPUS", std::string("OLYMPUS\0II\x03\0", 12), true, false, 4321},
        {"PENTAX", std::string("PENTAX \0MM", 10), false, true, 4321},
        {"SONY", std::string("SONY DSC \0\0\0", 12), true, false, 4321},
        {"FUJIFILM", std::string("FUJIFILM\x0c\0\0\0", 12), true, false, 4321},
        {"OLYMP", std::string("OLYMP\0\x01\0", 8), true, true, 4321},
        {"AOC", std::string("AOC\0II", 6), false, false, 4321},
        {"CMT3", std::string("CMT3MM\0\0\0\0\0\0", 12), false, true, 4321},
        {"KDK", "KDK INFO  ", false, false, 0},
        {"IIII", "IIII      ", false, false, 0},
    };
    for (const NoteCase& c : cases) {
        std::vector<uint8_t> bytes(c.header.begin(), c.header.end());
        std::vector<uint8_t> dir = shot_order_directory(c.note_big);
        bytes.insert(bytes.end(), dir.begin(), dir.end());
        bytes.resize(bytes.size() + 16, 0);
        TiffParse p(bytes);
        DecoderState& s = p.state();
        s.byte_order = c.file_big ? kBigEndian : kLittleEndian;
        parse_maker_note(s, 0, 0);
        EXPECT_EQ(s.shot_order, c.expected) << c.name;
        EXPECT_EQ(s.byte_order, c.file_big ? kBigEndian : kLittleEndian) << c.name << ": byte order restored";
    }
}

TEST(MakerNote, RefusedNotes) {
    TiffParse nokia(shot_order_directory(false));
    std::strcpy(nokia.state().camera_make, "Nokia");
    nokia.state().byte_order = kLittleEndian;
    parse_maker_note(nokia.state(), 0, 0);
    EXPECT_EQ(nokia.state().shot_order, 0u);

    TiffParse crowded(shot_order_directory(false, 2001));
    crowded.state().byte_order = kLittleEndian;
    parse_maker_note(crowded.state(), 0, 0);
    EXPECT_EQ(crowded.state().shot_order, 0u);
}

TEST(MakerNote, WhiteBalanceWordsOfHeaderlessNotes) {
    Bytes note{true, {}};
    note.text("KC").pad(20).u16(300).u16(400).u16(256).u16(256).pad(64);
    TiffParse p(note.out);
    p.state().byte_order = kLittleEndian;
    parse_maker_note(p.state(), 0, 0);
    const float expected[4] = {300, 256, 400, 256};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(p.state().as_shot_multipliers[c], expected[c]);
    EXPECT_EQ(p.state().byte_order, kLittleEndian);
}

TEST(MakerNote, CanonShotInfoAndColourData) {
    Bytes note{false, {}};
    note.u16(2);
    note.u16(4).u16(3).u32(34).u32(50);        // shot information at 50
    note.u16(16385).u16(3).u32(1816).u32(200); // colour data at 200
    note.u32(0).pad(50);
    note.u16(0).u16(0).u16(160).u16(0).u16(192).u16(160).u16(0).u16(3).u16(0).u16(7).pad(200);
    size_t block = note.out.size();
    note.u16(1).pad(block + 142).u16(100).u16(200).u16(300).u16(400);
    note.pad(block + 658).u16(10).u16(11).u16(12).u16(13);
    note.pad(block + 1594).u16(15000).pad(block + 1816 * 2);
    TiffParse p(note.out);
    DecoderState& s = p.state();
    s.byte_order = kLittleEndian;
    parse_maker_note(s, 0, 0);
    EXPECT_FLOAT_EQ(s.iso_value, 100);
    EXPECT_FLOAT_EQ(s.f_number, 8);
    EXPECT_FLOAT_EQ(s.exposure_time, 1 / 32.0f);
    EXPECT_EQ(s.shot_order, 7u);
    const float multipliers[4] = {100, 200, 400, 300};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(s.as_shot_multipliers[c], multipliers[c]) << c;
    const uint16_t blacks[4] = {10, 11, 13, 12}; // the zero blacks were read again further on
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(s.channel_black[c], blacks[c]) << c;
    EXPECT_EQ(s.white_level, 15000u);
}

// One "PKTS" item of a Leaf MOS block.
std::vector<uint8_t> leaf_item(const std::string& name, const std::vector<uint8_t>& data) {
    Bytes b{true, {}};
    b.text("PKTS").u32(0).text(name).pad(48).u32(uint32_t(data.size()));
    b.out.insert(b.out.end(), data.begin(), data.end());
    return b.out;
}
std::vector<uint8_t> leaf_text(const std::string& name, const std::string& text) {
    return leaf_item(name, std::vector<uint8_t>(text.begin(), text.end()));
}
std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(LeafMos, BackNestedItemsAndRotationInDegrees) {
    auto profile = leaf_item("CaptProf", join({leaf_text("CaptProf_number_of_planes", "1"),
                                               leaf_text("CaptProf_mosaic_pattern", "0 1 0 0"),
                                               leaf_text("CaptProf_raw_data_rotation", "0")}));
    TiffParse p(
        join({leaf_text("ShootObj_back_type", "13"), profile, leaf_text("ImgProf_rotation_angle", "90"),
              leaf_text("NeutObj_neutrals", "1000 500 1000 2000")}));
    DecoderState& s = p.state();
    s.byte_order = kBigEndian;
    s.as_shot_multipliers[0] = 0;
    parse_leaf_mos(s, 0);
    EXPECT_STREQ(s.camera_model, "Aptus 75");
    EXPECT_EQ(s.cfa_pattern, 0x61616161u);
    EXPECT_EQ(s.orientation_code, 6) << "90 degrees is flip code 6";
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[0], 2.0f);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[2], 0.5f);

    for (const char* back : {"10", "39", "-1", "99999999999"}) {
        TiffParse q(leaf_text("ShootObj_back_type", back));
        q.state().byte_order = kBigEndian;
        std::strcpy(q.state().camera_model, "Leaf");
        parse_leaf_mos(q.state(), 0);
        EXPECT_STREQ(q.state().camera_model, "Leaf") << back;
    }
}

TEST(MinoltaMrm, SizesWhiteBalanceAndByteOrder) {
    Bytes b{true, {}};
    b.u32(0x004D524D).u32(40);
    b.u32(0x00505244).u32(12).pad(8 + 8 + 8).u16(2000).u16(3000);
    b.u32(0x00574247).u32(12).u32(0).u16(1).u16(2).u16(3).u16(4);
    TiffParse p(b.out);
    DecoderState& s = p.state();
    s.byte_order = kLittleEndian;
    parse_minolta_mrm(s, 0);
    EXPECT_EQ(s.sensor_height, 2000);
    EXPECT_EQ(s.sensor_width, 3000);
    const float expected[4] = {1, 2, 4, 3};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(s.as_shot_multipliers[c], expected[c]);
    EXPECT_EQ(s.byte_order, kLittleEndian);

    Bytes bad{true, {}};
    bad.u32(0x004D524D).u32(40).u32(0x00505244).u32(0xFFFFFFF0u).pad(64);
    TiffParse q(bad.out);
    q.state().sensor_width = 77;
    parse_minolta_mrm(q.state(), 0);
    EXPECT_EQ(q.state().sensor_width, 77) << "a negative length ends the block at once";
}

TEST(Imacon, GeometryAndRotationInDegrees) {
    Bytes v{false, {}};
    v.pad(40).u32(2000).u32(1000).u32(3).u32(1).u32(2).u32(2).pad(40 + 24 + 52);
    for (float m : {1.0f, 2.0f, 3.0f}) {
        uint32_t bits;
        std::memcpy(&bits, &m, 4);
        v.u32(bits);
    }
    v.pad(v.out.size() + 114).u16(1 << 7).pad(v.out.size() + 16);
    TiffBuilder tiff;
    tiff.addIfd().raw(46274, 7, uint32_t(v.out.size()), v.out);
    TiffParse p(tiff.build());
    DecoderState& s = p.state();
    parse_tiff_file(s, 0);
    EXPECT_EQ(s.sensor_width, 2000);
    EXPECT_EQ(s.visible_width, 1996);
    EXPECT_EQ(s.visible_height, 996);
    EXPECT_EQ(s.margin_left, 3);
    EXPECT_EQ(s.orientation_code, 6);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[2], 3.0f);
    EXPECT_EQ(s.cfa_pattern, 0x61616161u);
    EXPECT_EQ(s.raw_loader, plain_words_load_raw);
    EXPECT_STREQ(s.camera_model, "Ixpress 1-Mp");
}

TEST(SonyKeystream, IsItsOwnInverseAndContinuesAcrossCalls) {
    auto s = std::make_unique<DecoderState>();
    std::vector<uint32_t> data(300), copy;
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint32_t(i * 2654435761u);
    copy = data;
    sony_keystream(*s, data.data(), 100, 1, 0x1234);
    sony_keystream(*s, data.data() + 100, 200, 0, 0);
    EXPECT_NE(data, copy);
    sony_keystream(*s, data.data(), 300, 1, 0x1234);
    EXPECT_EQ(data, copy);
}

TEST(SonyPrivate, EncipheredDirectoryIsParsedWithAbsoluteOffsets) {
    // IFD0 at 8 with three entries (8 + 42 = 50); the private block follows at 50.
    const uint32_t block = 50, key = 0xBEEF;
    Bytes priv{false, {}};
    priv.u16(1).u16(29459).u16(3).u32(4).u32(block + 18).u32(0).u16(10).u16(20).u16(30).u16(40);
    std::vector<uint32_t> words(priv.out.size() / 4);
    std::memcpy(words.data(), priv.out.data(), words.size() * 4);
    auto scratch = std::make_unique<DecoderState>();
    sony_keystream(*scratch, words.data(), uint32_t(words.size()), 1, key);
    std::memcpy(priv.out.data(), words.data(), words.size() * 4);

    Bytes file{false, {}};
    file.text("II").u16(42).u32(8).u16(3);
    file.u16(29184).u16(4).u32(1).u32(block);
    file.u16(29185).u16(4).u32(1).u32(uint32_t(priv.out.size()));
    file.u16(29217).u16(4).u32(1).u32(key);
    file.u32(0);
    file.out.insert(file.out.end(), priv.out.begin(), priv.out.end());
    TiffParse p(file.out);
    parse_tiff_file(p.state(), 0);
    const float expected[4] = {20, 10, 30, 40};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(p.state().as_shot_multipliers[c], expected[c]) << c;
    EXPECT_EQ(p.state().input_file, p.file->get());
}

} // namespace

namespace {

TEST(KodakDirectory, PresetWhiteBalanceIsoAndEntryLimits) {
    Bytes dir{false, {}};
    dir.u16(3);
    dir.u16(64013).u16(1).u32(1).u32(1);  // preset 1
    dir.u16(64040).u16(4).u32(3).u32(50); // its three multipliers at 50
    dir.u16(6020).u16(3).u32(1).u32(200);
    dir.u32(0).pad(50).u32(300).u32(256).u32(400).pad(80);
    TiffParse p(dir.out);
    DecoderState& s = p.state();
    s.byte_order = kLittleEndian;
    parse_kodak_directory(s, 0);
    EXPECT_EQ(s.as_shot_multipliers[0], 300);
    EXPECT_EQ(s.as_shot_multipliers[2], 400);
    EXPECT_EQ(s.iso_value, 200);

    for (uint16_t entries : {0, 1025}) {
        std::vector<uint8_t> bytes = dir.out;
        bytes[0] = uint8_t(entries);
        bytes[1] = uint8_t(entries >> 8);
        TiffParse q(bytes);
        q.state().byte_order = kLittleEndian;
        parse_kodak_directory(q.state(), 0);
        EXPECT_EQ(q.state().iso_value, 0) << entries;
    }
}

TEST(PrivateText, NeutralLineGivesMultipliersInAnyLocale) {
    const std::string text = "Camera: X\nNeutral 0.5 1 0.8\nEnd";
    TiffBuilder tiff;
    tiff.addIfd().raw(50454, 1, uint32_t(text.size() + 1),
                      std::vector<uint8_t>(text.c_str(), text.c_str() + text.size() + 1));
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // where installed, a locale whose decimal mark is a comma
    TiffParse p(tiff.build());
    parse_tiff_file(p.state(), 0);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_FLOAT_EQ(p.state().as_shot_multipliers[0], 0.5f);
    EXPECT_FLOAT_EQ(p.state().as_shot_multipliers[1], 1.0f);
    EXPECT_FLOAT_EQ(p.state().as_shot_multipliers[2], 0.8f);
}

} // namespace
