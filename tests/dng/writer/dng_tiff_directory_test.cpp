#include "dng/dng_camera_profile.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_exif.h"
#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_mosaic_info.h"
#include "dng/dng_tag_sets.h"
#include "dng/dng_tiff_directory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(dng_memory_stream& stream) {
    std::vector<uint8_t> out(stream.Length());
    stream.SetReadPosition(0);
    stream.Get(out.data(), uint32_t(out.size()));
    return out;
}

template <typename Tag> std::vector<uint8_t> TagBytes(const Tag& tag, bool bigEndian = false) {
    dng_memory_stream stream(gDefaultDNGMemoryAllocator);
    stream.SetBigEndian(bigEndian);
    tag.Put(stream);
    return Bytes(stream);
}

dng_string Text(const char* s) {
    dng_string t;
    t.Set(s);
    return t;
}

} // namespace

TEST(DngTiffDirectory, KeepsCodeOrderAndEqualCodesInArrivalOrder) {
    tag_uint16 a(300, 1), b(256, 2), c(300, 3), d(254, 4);
    dng_tiff_directory dir;
    for (const tiff_tag* t :
         {(const tiff_tag*)&a, (const tiff_tag*)&b, (const tiff_tag*)&c, (const tiff_tag*)&d})
        dir.Add(t);
    ASSERT_EQ(dir.Entries(), 4u);
    EXPECT_EQ(dir.Entry(0), &d);
    EXPECT_EQ(dir.Entry(1), &b);
    EXPECT_EQ(dir.Entry(2), &a);
    EXPECT_EQ(dir.Entry(3), &c);

    std::vector<std::unique_ptr<tag_uint16>> many;
    dng_tiff_directory full;
    for (uint16_t i = 0; i < 100; ++i) {
        many.push_back(std::make_unique<tag_uint16>(i, i));
        full.Add(many.back().get());
    }
    tag_uint16 extra(500, 0);
    EXPECT_THROW(full.Add(&extra), dng_exception);
}

TEST(DngTiffDirectory, SizesAndOutOfLineValues) {
    dng_tiff_directory empty;
    EXPECT_EQ(empty.Size(), 0u);
    dng_memory_stream none(gDefaultDNGMemoryAllocator);
    empty.Put(none);
    EXPECT_EQ(none.Length(), 0u);

    tag_uint16 shortTag(259, 7);
    dng_tiff_directory one;
    one.Add(&shortTag);
    EXPECT_EQ(one.Size(), 18u);
    dng_memory_stream stream(gDefaultDNGMemoryAllocator);
    one.Put(stream);
    EXPECT_EQ(Bytes(stream), (std::vector<uint8_t>{1, 0, 3, 1, 3, 0, 1, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0}));

    tag_string text(305, Text("abcd")); // 5 bytes: out of line, padded to 6
    one.Add(&text);
    EXPECT_EQ(one.Size(), 2u + 24 + 4 + 6);
    dng_memory_stream at100(gDefaultDNGMemoryAllocator);
    at100.SetWritePosition(100);
    one.Put(at100);
    const std::vector<uint8_t> bytes = Bytes(at100);
    // The text's offset counts from the stream's start: 100 + 2 + 24 + 4.
    EXPECT_EQ(bytes[100 + 2 + 12 + 8], 130);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[130]), 4), "abcd");
    EXPECT_EQ(bytes.size(), 136u);
}

TEST(DngTiffDirectory, TextTags) {
    tag_encoded_text ascii(37510, Text("abc"));
    EXPECT_EQ(ascii.Count(), 11u);
    EXPECT_EQ(TagBytes(ascii), (std::vector<uint8_t>{'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'a', 'b', 'c'}));

    tag_encoded_text unicode(37510, Text("\xC3\xA9t\xC3\xA9")); // "été"
    EXPECT_EQ(unicode.Count(), 8u + 2 * 3);
    const std::vector<uint8_t> u = TagBytes(unicode, true);
    EXPECT_EQ(std::string(u.begin(), u.begin() + 8), std::string("UNICODE\0", 8));
    EXPECT_EQ(u[8], 0x00);
    EXPECT_EQ(u[9], 0xE9);

    EXPECT_EQ(tag_string(270, Text("\xC3\xA9"), false).Type(), ttByte);
    EXPECT_EQ(tag_string(270, Text("\xC3\xA9"), true).Type(), ttAscii);
    EXPECT_EQ(tag_string(270, Text("abc")).Count(), 4u);
}

TEST(DngTiffDirectory, CfaPatternTagsOfAnAsymmetricPattern) {
    // G R / B G: the EXIF tag goes column by column, the DNG tag row by row.
    uint8_t pattern[8][8] = {};
    pattern[0][0] = 1, pattern[0][1] = 0, pattern[1][0] = 2, pattern[1][1] = 1;
    tag_cfa_pattern exifTag(41730, 2, 2, &pattern[0][0]);
    EXPECT_EQ(exifTag.Count(), 8u);
    EXPECT_EQ(TagBytes(exifTag), (std::vector<uint8_t>{2, 0, 2, 0, 1, 2, 0, 1}));

    dng_mosaic_info info;
    info.fCFAPatternSize = dng_point(2, 2);
    std::memcpy(info.fCFAPattern, pattern, sizeof(pattern));
    info.fColorPlanes = 3;
    info.fCFAPlaneColor[0] = 0, info.fCFAPlaneColor[1] = 1, info.fCFAPlaneColor[2] = 2;
    dng_tiff_directory dir;
    mosaic_tag_set set(dir, info);
    const tiff_tag* cfa = nullptr;
    for (uint32_t i = 0; i < dir.Entries(); ++i)
        if (dir.Entry(i)->Code() == 33422) cfa = dir.Entry(i);
    ASSERT_NE(cfa, nullptr);
    EXPECT_EQ(TagBytes(*cfa), (std::vector<uint8_t>{1, 0, 2, 1}));
    EXPECT_EQ(dir.Entry(dir.Entries() - 1)->Code(), 50733); // BayerGreenSplit for 2 x 2, 3 colours
}

TEST(DngTiffDirectory, IptcMatrixAndByteOrder) {
    const uint8_t iptc[3] = {1, 2, 3};
    tag_iptc tag(iptc, 3);
    EXPECT_EQ(tag.Count(), 1u);
    EXPECT_EQ(TagBytes(tag), (std::vector<uint8_t>{1, 2, 3, 0}));

    tag_matrix matrix(50721, dng_matrix_3by3(0.5, -0.00005, 0, 0, 1, 0, 0, 0, 1));
    EXPECT_EQ(matrix.Count(), 9u);
    const std::vector<uint8_t> m = TagBytes(matrix, true);
    EXPECT_EQ(m[3], 5000 & 0xFF);                                  // 0.5 as 5000/10000, big-endian
    EXPECT_EQ((m[8] << 24 | m[9] << 16 | m[10] << 8 | m[11]), -1); // -0.00005 rounds away from zero

    uint16_t shorts[2] = {0x0102, 0x0304};
    EXPECT_EQ(TagBytes(tag_uint16_ptr(258, shorts, 2), true), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(TagBytes(tag_uint16_ptr(258, shorts, 2), false), (std::vector<uint8_t>{2, 1, 4, 3}));
}

TEST(DngTiffDirectory, ExtendedColorProfileStream) {
    dng_camera_profile profile;
    profile.SetName("Four");
    profile.SetCalibrationIlluminant1(21);
    dng_matrix four(4, 3);
    for (uint32_t r = 0; r < 4; ++r)
        four[r][r % 3] = 1.0;
    profile.SetColorMatrix1(four);
    dng_memory_stream stream(gDefaultDNGMemoryAllocator);
    stream.SetBigEndian();
    tiff_dng_extended_color_profile extended(profile);
    extended.Put(stream);
    const std::vector<uint8_t> bytes = Bytes(stream);
    ASSERT_GE(bytes.size(), 10u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
              (std::vector<uint8_t>{'M', 'M', 0x43, 0x52, 0, 0, 0, 8}));
}

TEST(DngTiffDirectory, ExifSetAddsPointersOnlyForNonEmptyDirectories) {
    dng_exif exif;
    dng_tiff_directory main;
    {
        exif_tag_set empty(main, exif);
        EXPECT_EQ(main.Entries(), 0u);
    }
    exif.fMake.Set("Lumivar");
    exif.fISOSpeedRatings[0] = 100000; // beyond SHORT: written as 65535
    dng_tiff_directory main2;
    exif_tag_set set(main2, exif);
    ASSERT_EQ(main2.Entries(), 2u);
    EXPECT_EQ(main2.Entry(0)->Code(), 271);
    EXPECT_EQ(main2.Entry(1)->Code(), 34665);
    EXPECT_TRUE(set.GPSIFD().IsEmpty());
    EXPECT_EQ(TagBytes(*set.ExifIFD().Entry(0)), (std::vector<uint8_t>{0xFF, 0xFF}));
}
