#include "dng/dng_date_time.h"
#include "dng/dng_matrix.h"
#include "dng/dng_stream.h"
#include "dng/dng_string.h"
#include "dng/dng_tag_readers.h"
#include "dng/dng_tag_types.h"

#include "DngErrorMatchers.h"

#include <string>
#include <vector>

namespace {

// A stream over a copy of the given bytes.
struct ByteStream {
    std::string bytes;
    dng_stream stream;
    explicit ByteStream(std::string b, bool bigEndian = false)
        : bytes(std::move(b)), stream(bytes.data(), uint32_t(bytes.size())) {
        stream.SetBigEndian(bigEndian);
    }
};

TEST(TagChecks, Table) {
    EXPECT_TRUE(TagTypeIs(0, 1, ttShort, ttShort, ttLong));
    EXPECT_TRUE(TagTypeIs(0, 1, ttLong, ttShort, ttLong));
    EXPECT_FALSE(TagTypeIs(0, 1, ttByte, ttShort, ttLong));
    // Unused slots hold 0, so a type-0 tag passes a short list.
    EXPECT_TRUE(TagTypeIs(0, 1, 0, ttShort));
    EXPECT_FALSE(TagTypeIs(0, 1, 0, ttShort, ttLong, ttByte, ttFloat));

    const struct {
        uint32_t count, min, max;
        bool ok;
    } counts[] = {{1, 2, 3, false}, {2, 2, 3, true},   {3, 2, 3, true}, {4, 2, 3, false},
                  {9, 9, 0, true},  {10, 9, 0, false}, {9, 9, 4, true}, {0, 0, 0, true}};
    for (const auto& c : counts)
        EXPECT_EQ(TagCountInRange(0, 1, c.count, c.min, c.max), c.ok)
            << c.count << " " << c.min << " " << c.max;

    EXPECT_FALSE(HasColorChannels(0, 1, 1));
    EXPECT_TRUE(HasColorChannels(0, 1, 3));
    EXPECT_TRUE(IsMainImage(0, 1, 0));
    EXPECT_FALSE(IsMainImage(0, 1, 1));
    EXPECT_TRUE(IsRawPhotometric(0, 1, 32803));
    EXPECT_TRUE(IsRawPhotometric(0, 1, 34892));
    EXPECT_FALSE(IsRawPhotometric(0, 1, 2));
    EXPECT_TRUE(IsCFAPhotometric(0, 1, 32803));
    EXPECT_FALSE(IsCFAPhotometric(0, 1, 34892));
}

TEST(TagReaders, StringTag) {
    const struct {
        std::string bytes;
        uint32_t count;
        bool trim;
        std::string expected;
    } cases[] = {
        {std::string("\0", 1), 1, true, ""},
        {"abc  ", 5, true, "abc"},
        {"abc  ", 5, false, "abc  "},
        {std::string("ab\0cd", 5), 5, true, "ab"},
        {"xyz", 0, true, ""},
        {"caf\xC3\xA9", 5, true, "caf\xC3\xA9"},
    };
    for (const auto& c : cases) {
        ByteStream in(c.bytes);
        dng_string s;
        s.Set("old");
        ReadStringTag(in.stream, 0, 1, c.count, s, c.trim);
        EXPECT_EQ(std::string(s.Get()), c.expected) << c.bytes;
    }
}

TEST(TagReaders, StringLongerThanTheFileFailsBeforeAllocating) {
    ByteStream in("abc");
    dng_string s;
    EXPECT_DNG_ERROR(ReadStringTag(in.stream, 0, 1, 0xFFFFFFF0u, s), dng_error_end_of_file);
    EXPECT_DNG_ERROR(ReadCharsetStringTag(in.stream, 0, 1, 0x7FFFFFFFu, s), dng_error_end_of_file);
}

TEST(TagReaders, StringPairTag) {
    const struct {
        std::string bytes;
        std::string first, second;
    } cases[] = {
        {std::string("Maker \0Model \0", 14), "Maker", "Model"},
        {std::string("Only\0", 5), "Only", ""},
        {std::string("\0\0Late", 6), "", ""},
    };
    for (const auto& c : cases) {
        ByteStream in(c.bytes);
        dng_string a, b;
        b.Set("stale");
        ReadStringPairTag(in.stream, 0, 1, uint32_t(c.bytes.size()), a, b);
        EXPECT_EQ(std::string(a.Get()), c.first);
        EXPECT_EQ(std::string(b.Get()), c.second);
    }
}

TEST(TagReaders, CharsetStringTag) {
    const struct {
        std::string bytes;
        bool bigEndian;
        std::string expected;
    } cases[] = {
        {std::string("ASCII\0\0\0hello  ", 15), false, "hello"},
        {std::string("ascii\0\0\0hello", 13), false, "hello"},
        {std::string("UNICODE\0h\0i\0", 12), false, "hi"},
        {std::string("unicode\0\0h\0i", 12), true, "hi"},
        {std::string("\0\0\0\0\0\0\0\0plain", 13), false, "plain"},
        {std::string("\0\0\0\0\0\0\0\0\x01\x02", 10), false, ""},
        {"short", false, ""},
    };
    for (const auto& c : cases) {
        ByteStream in(c.bytes, c.bigEndian);
        dng_string s;
        s.Set("old");
        ReadCharsetStringTag(in.stream, 0, 1, uint32_t(c.bytes.size()), s);
        EXPECT_EQ(std::string(s.Get()), c.expected) << c.bytes;
    }
}

std::string Shorts(std::initializer_list<uint16_t> values) {
    std::string out;
    for (uint16_t v : values)
        out.append({char(v & 0xFF), char(v >> 8)});
    return out;
}

TEST(TagReaders, MatrixAndVectorTags) {
    ByteStream in(Shorts({1, 2, 3, 4, 5, 6}));
    dng_matrix m(1, 1);
    m[0][0] = 9;
    EXPECT_FALSE(ReadMatrixTag(in.stream, 0, 1, ttShort, 12, 3, 3, m));
    EXPECT_EQ(m.Rows(), 1u);
    EXPECT_EQ(m[0][0], 9.0);
    EXPECT_TRUE(ReadMatrixTag(in.stream, 0, 1, ttShort, 6, 2, 3, m));
    ASSERT_EQ(m.Rows(), 2u);
    ASSERT_EQ(m.Cols(), 3u);
    EXPECT_EQ(m[0][2], 3.0);
    EXPECT_EQ(m[1][0], 4.0);

    ByteStream rational(std::string("\x03\0\0\0\x02\0\0\0", 8));
    dng_vector v;
    EXPECT_FALSE(ReadVectorTag(rational.stream, 0, 1, ttRational, 1, 3, v));
    EXPECT_TRUE(v.IsEmpty());
    EXPECT_TRUE(ReadVectorTag(rational.stream, 0, 1, ttRational, 1, 1, v));
    EXPECT_DOUBLE_EQ(v[0], 1.5);

    ByteStream truncated(Shorts({1, 2}));
    EXPECT_DNG_ERROR(ReadMatrixTag(truncated.stream, 0, 1, ttShort, 4, 2, 2, m), dng_error_end_of_file);
}

TEST(TagReaders, DateTimeTag) {
    const struct {
        std::string text;
        uint32_t type, count;
        bool ok, valid;
    } cases[] = {
        {"2024:02:29 13:45:07", ttAscii, 20, true, true},
        {"                   ", ttAscii, 20, true, false},
        {"    :  :     :  :  ", 0, 20, true, false},
        {"0000:00:00 00:00:00", ttAscii, 20, true, false},
        {"unknown date here!!", ttAscii, 20, false, false},
        {"2024:02:29 13:45:07", ttShort, 20, false, false},
        {"2024:02:29 13:45:07", ttAscii, 19, false, false},
    };
    for (const auto& c : cases) {
        ByteStream in(c.text + std::string(1, '\0'));
        dng_date_time_info dt;
        dt.SetDateTime(dng_date_time(2000, 1, 1, 0, 0, 0));
        EXPECT_EQ(ReadDateTimeTag(in.stream, 0, 1, c.type, c.count, dt), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(dt.IsValid(), c.valid) << c.text;
        }
    }
    ByteStream in(std::string("2024:02:29 13:45:07\0", 20));
    dng_date_time_info dt;
    ASSERT_TRUE(ReadDateTimeTag(in.stream, 0, 1, ttAscii, 20, dt));
    EXPECT_EQ(dt.DateTime(), dng_date_time(2024, 2, 29, 13, 45, 7));
}

} // namespace
