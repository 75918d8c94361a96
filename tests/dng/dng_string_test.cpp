#include "dng/dng_string.h"

#include "DngErrorMatchers.h"

#include <string>
#include <vector>

namespace {
std::string Bytes(const dng_string& s) { return s.Get(); }
dng_string Make(const char* text) {
    dng_string s;
    s.Set(text);
    return s;
}
} // namespace

TEST(DngString, SetGetAndEmpty) {
    dng_string s = Make("abc");
    s.Set("");
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_STREQ(s.Get(), "");
    s.Set("longer text");
    s.Set("short");
    EXPECT_STREQ(s.Get(), "short");
    s.Set(s.Get() + 2); // from inside its own storage
    EXPECT_STREQ(s.Get(), "ort");
    s.Set(nullptr);
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_TRUE(dng_string() == Make(""));

    dng_string copy = Make("copy me");
    dng_string& alias = copy;
    copy = alias;
    EXPECT_STREQ(copy.Get(), "copy me");
}

TEST(DngString, Utf8ByteSequences) {
    struct Case {
        std::string in;
        std::string out;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"\xC3\x28", "\xEF\xBF\xBD", false}, // the whole 2-byte sequence goes, '(' too
        {"\xC1\xBF", "\x7F", true},          // overlong 0x7F is accepted
        {"\xC0\x80", "\xEF\xBF\xBD", false}, // overlong NUL is not
        {"a\x80"
         "b",
         "a\xEF\xBF\xBD"
         "b",
         false},                                         // stray continuation byte
        {"\xE2\x82", "\xEF\xBF\xBD", false},             // truncated at the end
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", true},  // U+1F600
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD", false},     // above U+10FFFF
        {"\xF8\x88\x80\x80\x80", "\xEF\xBF\xBD", false}, // 5-byte form
        {"\xE2\x82\xAC", "\xE2\x82\xAC", true},
        {"plain", "plain", true},
    };
    for (const auto& c : cases) {
        dng_string s;
        s.Set_UTF8(c.in.c_str());
        EXPECT_EQ(Bytes(s), c.out) << "input " << testing::PrintToString(c.in);
        EXPECT_EQ(dng_string::IsValidUTF8(c.in.c_str()), c.valid) << testing::PrintToString(c.in);
    }
    EXPECT_TRUE(dng_string::IsValidUTF8(""));
}

TEST(DngString, Utf16RoundTrips) {
    struct Case {
        std::vector<uint16_t> units;
        std::string utf8;
    };
    const std::vector<Case> cases = {
        {{0xFFFE, 0x4100, 0}, "A"}, // byte-swapped with its mark
        {{0xFEFF, 0x0041, 0x00E9, 0}, "A\xC3\xA9"},
        {{0xD800, 0}, "\xED\xA0\x80"}, // lone high surrogate kept as its own value
        {{0xDC00, 0x41, 0},
         "\xED\xB0\x80"
         "A"},
        {{0xD83D, 0xDE00, 0}, "\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        dng_string s;
        s.Set_UTF16(c.units.data());
        EXPECT_EQ(Bytes(s), c.utf8);
    }

    dng_memory_data buffer;
    EXPECT_EQ(Make("\xF0\x9F\x98\x80").Get_UTF16(buffer), 2u);
    EXPECT_EQ(buffer.Buffer_uint16()[0], 0xD83D);
    EXPECT_EQ(buffer.Buffer_uint16()[1], 0xDE00);
    EXPECT_EQ(buffer.Buffer_uint16()[2], 0);

    dng_string cleared = Make("x");
    cleared.Set_UTF16(nullptr);
    EXPECT_TRUE(cleared.IsEmpty());
}

TEST(DngString, TruncateKeepsWholeSequences) {
    dng_string s = Make("ab\xE2\x82\xAC");
    s.Truncate(3);
    EXPECT_EQ(Bytes(s), "ab");
    s = Make("\xC3\xA9");
    s.Truncate(1);
    EXPECT_TRUE(s.IsEmpty());
    s = Make("abc");
    s.Truncate(5);
    EXPECT_EQ(Bytes(s), "abc");
}

TEST(DngString, EditingOperations) {
    dng_string s = Make("a\r\n\r\nb");
    s.SetLineEndings('\n');
    EXPECT_EQ(Bytes(s), "a\n\nb");
    s = Make("a\n\rb");
    s.SetLineEndings('\n');
    EXPECT_EQ(Bytes(s), "a\nb");
    s = Make("a\rb\nc");
    s.SetLineEndings(0);
    EXPECT_EQ(Bytes(s), "abc");

    s = Make("1.5, 2e3;;x-4");
    s.NormalizeNumberList();
    EXPECT_EQ(Bytes(s), "1.5,2e3,-4");
    s = Make(" 7");
    s.NormalizeNumberList();
    EXPECT_EQ(Bytes(s), ",7");
    s = Make("3\xC3\xA9\xE2\x82\xAC"
             "4");
    s.NormalizeNumberList();
    EXPECT_EQ(Bytes(s), "3,4");

    s = Make("a\x01\tb\r\n\x7F\xC3\xA9");
    s.StripLowASCII();
    EXPECT_EQ(Bytes(s), "ab\r\n\x7F\xC3\xA9");

    s = Make("name   ");
    EXPECT_TRUE(s.TrimTrailingBlanks());
    EXPECT_EQ(Bytes(s), "name");
    EXPECT_FALSE(s.TrimTrailingBlanks());

    s.Append("");
    s.Append("-2");
    EXPECT_EQ(Bytes(s), "name-2");
}

TEST(DngString, Comparisons) {
    const dng_string s = Make("abc");
    EXPECT_TRUE(s.Matches("ABC"));
    EXPECT_FALSE(s.Matches("ABC", true));
    EXPECT_FALSE(s.Matches("AB"));
    EXPECT_TRUE(s.StartsWith("aB"));
    EXPECT_TRUE(s.EndsWith("BC"));
    EXPECT_FALSE(s.EndsWith("xabc"));

    int32_t offset = 99;
    EXPECT_TRUE(Make("Canon EOS").Contains("eos", false, &offset));
    EXPECT_EQ(offset, 6);
    EXPECT_FALSE(Make("Canon EOS").Contains("eos", true, &offset));
    EXPECT_EQ(offset, -1);
    EXPECT_FALSE(Make("ab").Contains("abc", false, &offset));
}

TEST(DngString, LegacyEncodings) {
    dng_string s;
    s.Set_SystemEncoding("caf\xE9"); // Latin-style legacy text
    EXPECT_EQ(Bytes(s), "caf\xC3\xA9");
    s.Set_UTF8_or_System("caf\xC3\xA9");
    EXPECT_EQ(Bytes(s), "caf\xC3\xA9");
    s.Set_UTF8_or_System("ascii");
    EXPECT_EQ(Bytes(s), "ascii");

    dng_memory_data buffer;
    EXPECT_EQ(Make("caf\xC3\xA9").Get_SystemEncoding(buffer), 4u);
    EXPECT_EQ(std::string(buffer.Buffer_char()), "caf\xE9");
    EXPECT_EQ(Make("plain").Get_SystemEncoding(buffer), 5u);
    EXPECT_EQ(std::string(buffer.Buffer_char()), "plain");

    s.Set_JIS("\xC6\xFC\xCB\xDC"); // "Japan" in the 8-bit form of JIS X 0208
    EXPECT_EQ(Bytes(s), "\xE6\x97\xA5\xE6\x9C\xAC");
    s.Set_JIS("\xFF\xFF\xFF");
    EXPECT_TRUE(s.IsEmpty()) << "unconvertible text leaves an empty string";
}

TEST(DngStringList, InsertKeepsOrderAndOwnsCopies) {
    dng_string_list list;
    for (const char* text : {"b", "d"})
        list.Append(Make(text));
    list.Insert(0, Make("a"));
    list.Insert(2, Make("c"));
    ASSERT_EQ(list.Count(), 4u);
    const char* expected[] = {"a", "b", "c", "d"};
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_STREQ(list[i].Get(), expected[i]);
    for (uint32_t i = 0; i < 100; ++i)
        list.Append(Make("more"));
    EXPECT_EQ(list.Count(), 104u);
    EXPECT_DNG_ERROR(list.Insert(200, Make("x")), dng_error_unknown);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
}
