#include "platform/Plist.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "tests/platform/CommaLocale.h"
#include "tests/support/TempHome.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

Value roundTrip(const Value& v) {
    Value back;
    Error error;
    EXPECT_TRUE(readXmlPlist(writeXmlPlist(v), back, &error)) << error.failureReason;
    return back;
}

std::string fileText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

TEST(Plist, ValuesReadBackEqualWithTheirKind) {
    const Value cases[] = {
        Value(Dictionary{{"outer", Dictionary{{"inner", Dictionary{{"x", 1}}}, {"empty", Dictionary{}}}}}),
        Value(Array{Value(INT64_MIN), Value(-1), Value(0), Value(INT64_MAX)}),
        Value(Array{Value(10.0), Value(-0.5), Value(1e300), Value(0.1)}),
        Value(Array{Value(true), Value(false)}),
        // Whole seconds on both sides of the 2001 epoch of the format.
        Value(Array{Value(Date{0}), Value(Date{1700000000}), Value(Date{978307199})}),
        Value(Array{Value(Data{}), Value(Data{0x00, 0xff, 0x10, '<', '&'})}),
        Value(Array{Value("Grüße, 日本"), Value("<&>\"'"), Value(""), Value(Array{})}),
        Value(42),
        Value("a root string"),
    };
    for (const auto& v : cases) {
        Value back = roundTrip(v);
        EXPECT_EQ(back, v) << writeXmlPlist(v);
    }
    EXPECT_TRUE(roundTrip(Value(10.0)).isReal());
}

TEST(Plist, NullsAreDropped) {
    Value v(Dictionary{{"keep", 1}, {"gone", Value()}, {"list", Array{Value(), Value("x")}}});
    Value expected(Dictionary{{"keep", 1}, {"list", Array{Value("x")}}});
    EXPECT_EQ(roundTrip(v), expected);
    EXPECT_EQ(writeXmlPlist(Value()), "");
}

TEST(Plist, WritesTheStandardXmlLayout) {
    Value v(Dictionary{{"Lumivar_Filter_inputEV", 10.0},
                       {"count", -3},
                       {"flag", true},
                       {"when", Date{978307200 + 86400}},
                       {"bytes", Data{'h', 'i'}},
                       {"list", Array{Value(1), Value("a&b")}}});
    EXPECT_EQ(writeXmlPlist(v), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                "<plist version=\"1.0\">\n"
                                "<dict>\n"
                                "\t<key>Lumivar_Filter_inputEV</key>\n"
                                "\t<real>10</real>\n"
                                "\t<key>bytes</key>\n"
                                "\t<data>\n"
                                "\taGk=\n"
                                "\t</data>\n"
                                "\t<key>count</key>\n"
                                "\t<integer>-3</integer>\n"
                                "\t<key>flag</key>\n"
                                "\t<true/>\n"
                                "\t<key>list</key>\n"
                                "\t<array>\n"
                                "\t\t<integer>1</integer>\n"
                                "\t\t<string>a&amp;b</string>\n"
                                "\t</array>\n"
                                "\t<key>when</key>\n"
                                "\t<date>2001-01-02T00:00:00Z</date>\n"
                                "</dict>\n"
                                "</plist>\n");
}

TEST(Plist, ReadsWhatOtherWritersProduce) {
    // No XML declaration, wrapped base64, a comment and an empty array in the short form.
    const char* xml = "<plist version=\"1.0\"><dict>\n"
                      "<!-- <array> in a comment is not an element -->\n"
                      "<key>n</key><integer>-7</integer><key>r</key><real>2.50</real>\n"
                      "<key>d</key><data>\n\taGVs\n\tbG8=\n\t</data><key>e</key><array/>\n"
                      "<key>t</key><date>2020-02-29T12:00:00Z</date>\n"
                      "</dict></plist>";
    Value out;
    ASSERT_TRUE(readXmlPlist(xml, out));
    Value expected(Dictionary{{"n", -7},
                              {"r", 2.5},
                              {"d", Data{'h', 'e', 'l', 'l', 'o'}},
                              {"e", Array{}},
                              {"t", Date{1582977600}}});
    EXPECT_EQ(out, expected);
}

TEST(Plist, MalformedInputGivesAnError) {
    std::string deep = "<plist version=\"1.0\">";
    for (int i = 0; i < 200000; ++i)
        deep += "<array>";
    const std::pair<std::string, PlistErrorCode> cases[] = {
        {"", PlistErrorCode::Malformed},
        {"not a property list", PlistErrorCode::Malformed},
        {"<plist version=\"1.0\"><dict><key>a</key>", PlistErrorCode::Malformed},
        {"<plist version=\"1.0\"><array></dict></plist>", PlistErrorCode::Malformed},
        {"<plist version=\"1.0\"><string>a&bogus;</string></plist>", PlistErrorCode::Malformed},
        {std::string("bplist00\0\x01\x02", 11), PlistErrorCode::Malformed},
        {deep, PlistErrorCode::TooDeep},
    };
    for (const auto& [xml, code] : cases) {
        Value out;
        Error error;
        EXPECT_FALSE(readXmlPlist(xml, out, &error)) << xml.substr(0, 60);
        EXPECT_EQ(error.domain, kPlistErrorDomain);
        EXPECT_EQ(error.code, int64_t(code));
        EXPECT_FALSE(error.failureReason.empty());
    }
}

TEST(Plist, ReadsRealsWithADecimalPointUnderACommaLocale) {
    testsupport::CommaLocale comma;
    LV_REQUIRE_COMMA_LOCALE(comma);
    Value out;
    ASSERT_TRUE(readXmlPlist("<plist version=\"1.0\"><real>2.5</real></plist>", out));
    EXPECT_EQ(out, Value(2.5));
    EXPECT_NE(writeXmlPlist(Value(0.25)).find("<real>0.25</real>"), std::string::npos);
}

TEST(PlistFile, WritesOverInPlaceAndLeavesNoTemporaryFile) {
    testsupport::TempHome home;
    fs::path file = home.path() / "settings.plist";
    ASSERT_TRUE(writePlistFile(file, Value(Array{Value(1)})));
    Error error;
    ASSERT_TRUE(writePlistFile(file, Value(Dictionary{{"k", "v"}}), &error)) << error.failureReason;

    Value out;
    ASSERT_TRUE(readPlistFile(file, out));
    EXPECT_EQ(out, Value(Dictionary{{"k", "v"}}));
    EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), fs::directory_iterator()), 1);
}

TEST(PlistFile, WritingThroughALinkReplacesTheFileItPointsTo) {
    testsupport::TempHome home;
    fs::create_directories(home.path() / "dotfiles");
    fs::path real = home.path() / "dotfiles" / "Lumivar.plist";
    fs::path link = home.path() / "Lumivar.plist";
    ASSERT_TRUE(writePlistFile(real, Value(1)));
    fs::create_symlink(real, link);

    ASSERT_TRUE(writePlistFile(link, Value(2)));
    EXPECT_TRUE(fs::is_symlink(link));
    Value out;
    ASSERT_TRUE(readPlistFile(real, out));
    EXPECT_EQ(out, Value(2));
}

TEST(PlistFile, FailuresLeaveTheFolderAsItWas) {
    testsupport::TempHome home;
    // A folder in the way: the rename fails after the temporary file was written.
    fs::create_directories(home.path() / "taken" / "child");
    Error error;
    EXPECT_FALSE(writePlistFile(home.path() / "taken", Value(1), &error));
    EXPECT_EQ(error.domain, kPosixErrorDomain);
    EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), fs::directory_iterator()), 1);

    EXPECT_FALSE(writePlistFile(home.path() / "missing" / "x.plist", Value(1), &error));
    EXPECT_EQ(error.code, ENOENT);
    EXPECT_FALSE(writePlistFile(home.path() / "null.plist", Value(), &error));
    EXPECT_EQ(error.code, int64_t(PlistErrorCode::NullRoot));
    EXPECT_FALSE(fs::exists(home.path() / "null.plist"));
}

TEST(PlistFile, ReadFailuresNameTheFile) {
    testsupport::TempHome home;
    Value out;
    Error error;
    EXPECT_FALSE(readPlistFile(home.path() / "absent.plist", out, &error));
    EXPECT_EQ(error.domain, kPosixErrorDomain);
    EXPECT_EQ(error.code, ENOENT);

    EXPECT_FALSE(readPlistFile(home.path(), out, &error));
    EXPECT_EQ(error.domain, kPosixErrorDomain);

    // A pipe with no writer must not block the reader.
    fs::path fifo = home.path() / "fifo.plist";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(readPlistFile(fifo, out, &error));
    EXPECT_EQ(error.domain, kPosixErrorDomain);

    fs::path bad = home.path() / "bad.plist";
    std::ofstream(bad) << "<plist><dict>";
    EXPECT_FALSE(readPlistFile(bad, out, &error));
    EXPECT_EQ(error.domain, kPlistErrorDomain);
    EXPECT_NE(error.failureReason.find("bad.plist"), std::string::npos);
    EXPECT_EQ(fileText(bad), "<plist><dict>");
}
