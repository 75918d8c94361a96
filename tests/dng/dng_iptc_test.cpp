#include "dng/dng_iptc.h"

#include "dng/dng_memory.h"

#include "tests/support/TiffBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Spool(const dng_iptc& iptc, bool pad = false) {
    std::unique_ptr<dng_memory_block> block = iptc.Spool(gDefaultDNGMemoryAllocator, pad);
    const uint8_t* p = block->Buffer_uint8();
    return Bytes(p, p + block->LogicalSize());
}

void AppendDataset(Bytes& out, uint8_t record, uint8_t dataset, const std::string& data) {
    out.insert(out.end(), {0x1C, record, dataset, uint8_t(data.size() >> 8), uint8_t(data.size())});
    out.insert(out.end(), data.begin(), data.end());
}

dng_string Text(const char* s) {
    dng_string t;
    t.Set(s);
    return t;
}

dng_string Latin1(const char* s) {
    dng_string t;
    t.Set_SystemEncoding(s);
    return t;
}

dng_string Jis(const char* s) {
    dng_string t;
    t.Set_JIS(s);
    return t;
}

// UTF-8 of a Japanese text given in its JIS X 0208 (EUC) bytes: "Tokyo".
const char* const kTokyoJIS = "\xC5\xEC\xB5\xFE";
const char* const kTokyoUTF8 = "\xE6\x9D\xB1\xE4\xBA\xAC";

void Fill(dng_iptc& iptc) {
    iptc.fTitle = Text("Harbour at dawn \xE2\x80\x94 Z\xC3\xBCrich");
    iptc.fUrgency = 5;
    iptc.fCategory = Text("TRV");
    iptc.fSupplementalCategories.Append(Text("Boats"));
    iptc.fKeywords.Append(Latin1("caf\xE9"));
    iptc.fKeywords.Append(Jis(kTokyoJIS));
    iptc.fKeywords.Append(Text("fog"));
    iptc.fInstructions = Text("Line one\nline two");
    dng_date_time_info created;
    created.SetDateTime(dng_date_time(2023, 11, 4, 6, 45, 12));
    created.SetZone(60);
    iptc.fDateTimeCreated = created;
    iptc.fDigitalCreationDateTime.SetDate(2023, 11, 5);
    iptc.fAuthors.Append(Text("Ann Example"));
    iptc.fAuthorsPosition = Text("Staff");
    iptc.fCity = Text("Z\xC3\xBCrich");
    iptc.fState = Text("ZH");
    iptc.fCountry = Text("Switzerland");
    iptc.fCountryCode = Text("CHE");
    iptc.fLocation = Text("Quay");
    iptc.fTransmissionReference = Text("JOB-7");
    iptc.fHeadline = Text("Morning");
    iptc.fCredit = Text("Agency");
    iptc.fSource = Text("Own work");
    iptc.fCopyrightNotice = Text("\xC2\xA9 2023 Ann");
    iptc.fDescription = Text("A quiet harbour.");
    iptc.fDescriptionWriter = Text("AE");
}

void ExpectSameList(const dng_string_list& a, const dng_string_list& b, const char* what) {
    ASSERT_EQ(a.Count(), b.Count()) << what;
    for (uint32_t i = 0; i < a.Count(); ++i)
        EXPECT_STREQ(a[i].Get(), b[i].Get()) << what << " " << i;
}

void ExpectSameDate(const dng_date_time_info& a, const dng_date_time_info& b) {
    EXPECT_EQ(a.IsValid(), b.IsValid());
    EXPECT_EQ(a.DateTime(), b.DateTime());
    EXPECT_EQ(a.IsDateOnly(), b.IsDateOnly());
    EXPECT_EQ(a.TimeZone(), b.TimeZone());
}

void ExpectSame(const dng_iptc& a, const dng_iptc& b) {
    for (auto field : {&dng_iptc::fTitle, &dng_iptc::fCategory, &dng_iptc::fInstructions,
                       &dng_iptc::fAuthorsPosition, &dng_iptc::fCity, &dng_iptc::fState, &dng_iptc::fCountry,
                       &dng_iptc::fCountryCode, &dng_iptc::fLocation, &dng_iptc::fTransmissionReference,
                       &dng_iptc::fHeadline, &dng_iptc::fCredit, &dng_iptc::fSource,
                       &dng_iptc::fCopyrightNotice, &dng_iptc::fDescription, &dng_iptc::fDescriptionWriter})
        EXPECT_STREQ((a.*field).Get(), (b.*field).Get());
    EXPECT_EQ(a.fUrgency, b.fUrgency);
    ExpectSameList(a.fSupplementalCategories, b.fSupplementalCategories, "supplemental categories");
    ExpectSameList(a.fKeywords, b.fKeywords, "keywords");
    ExpectSameList(a.fAuthors, b.fAuthors, "authors");
    ExpectSameDate(a.fDateTimeCreated, b.fDateTimeCreated);
    ExpectSameDate(a.fDigitalCreationDateTime, b.fDigitalCreationDateTime);
}

std::filesystem::path TempFile(const char* name) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("lumivar-iptc-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    return folder / name;
}

std::string RunAndRead(const std::string& command, const std::filesystem::path& output) {
    if (std::system((command + " > '" + output.string() + "' 2>&1").c_str()) != 0) return "";
    std::ifstream in(output);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(DngIptc, EmptyRecordSpoolsTheCharacterSetAndVersionOnly) {
    dng_iptc iptc;
    EXPECT_TRUE(iptc.IsEmpty());
    const Bytes expected = {0x1C, 1, 90, 0, 3, 0x1B, 0x25, 0x47, 0x1C, 2, 0, 0, 2, 0, 4};
    EXPECT_EQ(Spool(iptc), expected);
    Bytes padded = expected;
    padded.push_back(0);
    EXPECT_EQ(Spool(iptc, true), padded);
}

TEST(DngIptc, SpoolAndParseKeepEveryFieldAndEncoding) {
    dng_iptc iptc;
    Fill(iptc);
    EXPECT_FALSE(iptc.IsEmpty());
    EXPECT_STREQ(iptc.fKeywords[0].Get(), "caf\xC3\xA9");
    EXPECT_STREQ(iptc.fKeywords[1].Get(), kTokyoUTF8);

    const Bytes block = Spool(iptc, true);
    EXPECT_EQ(block.size() % 4, 0u);
    dng_iptc back;
    back.Parse(block.data(), uint32_t(block.size()));
    ExpectSame(iptc, back);
}

TEST(DngIptc, WriterCutsTextsOnCharacterEdgesAndWritesUrgencyAsADigit) {
    dng_iptc iptc;
    std::string keyword(63, 'k');
    keyword += "\xC3\xA9"; // a two-byte character across the 64-byte limit
    iptc.fKeywords.Append(Text(keyword.c_str()));
    iptc.fUrgency = 5;
    const Bytes block = Spool(iptc);
    const Bytes urgency = {0x1C, 2, 10, 0, 1, '5'};
    EXPECT_NE(std::search(block.begin(), block.end(), urgency.begin(), urgency.end()), block.end());
    dng_iptc back;
    back.Parse(block.data(), uint32_t(block.size()));
    ASSERT_EQ(back.fKeywords.Count(), 1u);
    EXPECT_EQ(std::string(back.fKeywords[0].Get()), std::string(63, 'k'));

    iptc.fUrgency = -1;
    const Bytes none = Spool(iptc);
    EXPECT_EQ(std::search(none.begin(), none.end(), urgency.begin(), urgency.begin() + 3), none.end());
}

TEST(DngIptc, ParserChoosesTheTextEncoding) {
    struct Case {
        bool declareUTF8;
        bool otherCharset;
        std::string title;
        const char* expected;
    };
    const Case cases[] = {
        {false, false, "Caf\xC3\xA9", "Caf\xC3\xA9"},        // valid UTF-8 without a declaration
        {false, false, "Caf\xE9", "Caf\xC3\xA9"},            // not UTF-8: the system's legacy encoding
        {true, false, "Caf\xC3\xA9", "Caf\xC3\xA9"},         // declared UTF-8
        {false, true, "Caf\xC3\xA9", "Caf\xC3\x83\xC2\xA9"}, // another set declared: legacy bytes
    };
    for (const Case& c : cases) {
        Bytes block;
        if (c.declareUTF8) AppendDataset(block, 1, 90, "\x1B%G");
        if (c.otherCharset) AppendDataset(block, 1, 90, "\x1B.A");
        AppendDataset(block, 2, 5, c.title);
        AppendDataset(block, 2, 25, "\x01tab\tbed  \r\nend  ");
        dng_iptc iptc;
        iptc.Parse(block.data(), uint32_t(block.size()));
        EXPECT_STREQ(iptc.fTitle.Get(), c.expected) << c.title;
        ASSERT_EQ(iptc.fKeywords.Count(), 1u);
        EXPECT_STREQ(iptc.fKeywords[0].Get(), "tabbed  \nend") << "control bytes, line ends, trailing blanks";
    }
}

TEST(DngIptc, ParserSkipsMalformedDatasets) {
    Bytes block;
    AppendDataset(block, 2, 55, "202311"); // a date must be 8 characters
    AppendDataset(block, 2, 10, "12");     // urgency is one digit
    AppendDataset(block, 2, 60, "064512"); // a time without its date still counts
    AppendDataset(block, 3, 5, "other record");
    AppendDataset(block, 2, 5, "Title");
    dng_iptc iptc;
    iptc.Parse(block.data(), uint32_t(block.size()));
    EXPECT_EQ(iptc.fUrgency, -1);
    EXPECT_STREQ(iptc.fTitle.Get(), "Title");
    EXPECT_EQ(iptc.fDateTimeCreated.DateTime().fYear, 0u);
    EXPECT_EQ(iptc.fDateTimeCreated.DateTime().fHour, 6u);
}

TEST(DngIptc, WalkStopsWhereOnlyAHeaderRemains) {
    Bytes withData;
    AppendDataset(withData, 2, 5, "T");
    dng_iptc last;
    last.Parse(withData.data(), uint32_t(withData.size()));
    EXPECT_STREQ(last.fTitle.Get(), "T") << "a last dataset with data is read";

    Bytes emptyAtEnd;
    AppendDataset(emptyAtEnd, 2, 5, "T");
    AppendDataset(emptyAtEnd, 2, 5, "");
    dng_iptc iptc;
    iptc.Parse(emptyAtEnd.data(), uint32_t(emptyAtEnd.size()));
    EXPECT_STREQ(iptc.fTitle.Get(), "T") << "a bare header at the end is not read";
}

TEST(DngIptc, HostileBlocksEndTheParseWithoutReadingPastThem) {
    dng_iptc full;
    Fill(full);
    const Bytes block = Spool(full);
    // Every truncation: each prefix is copied to a block of its own size, so ASan sees an overread.
    for (size_t n = 0; n <= block.size(); ++n) {
        const Bytes copy(block.begin(), block.begin() + std::ptrdiff_t(n));
        dng_iptc iptc;
        iptc.Parse(copy.data(), uint32_t(n));
    }

    // A length past the end, and an extended (top bit set) length, end the walk after "Kept".
    for (const Bytes& tail :
         {Bytes{0x1C, 2, 120, 0xFF, 0xF0, 'x'}, Bytes{0x1C, 2, 120, 0x80, 0x04, 0, 0, 0, 9}}) {
        Bytes hostile;
        AppendDataset(hostile, 2, 5, "Kept");
        hostile.insert(hostile.end(), tail.begin(), tail.end());
        AppendDataset(hostile, 2, 105, "Never");
        dng_iptc iptc;
        iptc.Parse(hostile.data(), uint32_t(hostile.size()));
        EXPECT_STREQ(iptc.fTitle.Get(), "Kept");
        EXPECT_TRUE(iptc.fDescription.IsEmpty());
        EXPECT_TRUE(iptc.fHeadline.IsEmpty());
    }

    // An oversized block of noise with markers sprinkled in.
    std::mt19937 random(7);
    Bytes noise(1 << 20);
    for (uint8_t& b : noise)
        b = uint8_t(random() % 3 == 0 ? 0x1C : random());
    dng_iptc iptc;
    iptc.Parse(noise.data(), uint32_t(noise.size()));
    iptc.Parse(nullptr, 100);
}

TEST(DngIptc, ExiftoolReadsTheSpooledBlock) {
    if (std::system("command -v exiftool > /dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool not installed";
    dng_iptc iptc;
    Fill(iptc);
    const Bytes block = Spool(iptc, true);
    testsupport::TiffBuilder tiff;
    tiff.addIfd().longs(256, {1}).longs(257, {1}).bytes(33723, block, 7);
    const auto file = TempFile("iptc.tif");
    {
        const Bytes bytes = tiff.build();
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    const std::string json =
        RunAndRead("exiftool -j -IPTC:all '" + file.string() + "'", TempFile("iptc.json"));
    const std::string expectations[] = {"\"CodedCharacterSet\": \"UTF8\"",
                                        "\"ApplicationRecordVersion\": 4",
                                        "\"ObjectName\": \"Harbour at dawn \xE2\x80\x94 Z\xC3\xBCrich\"",
                                        "\"Urgency\": \"5 (normal urgency)\"",
                                        "\"Category\": \"TRV\"",
                                        "\"SupplementalCategories\": \"Boats\"",
                                        std::string("\"Keywords\": [\"caf\xC3\xA9\",\"") + kTokyoUTF8 +
                                            "\",\"fog\"]",
                                        "\"SpecialInstructions\": \"Line one\\rline two\"",
                                        "\"DateCreated\": \"2023:11:04\"",
                                        "\"TimeCreated\": \"06:45:12+01:00\"",
                                        "\"DigitalCreationDate\": \"2023:11:05\"",
                                        "\"By-line\": \"Ann Example\"",
                                        "\"By-lineTitle\": \"Staff\"",
                                        "\"City\": \"Z\xC3\xBCrich\"",
                                        "\"Sub-location\": \"Quay\"",
                                        "\"Province-State\": \"ZH\"",
                                        "\"Country-PrimaryLocationCode\": \"CHE\"",
                                        "\"Country-PrimaryLocationName\": \"Switzerland\"",
                                        "\"OriginalTransmissionReference\": \"JOB-7\"",
                                        "\"Headline\": \"Morning\"",
                                        "\"Credit\": \"Agency\"",
                                        "\"Source\": \"Own work\"",
                                        "\"CopyrightNotice\": \"\xC2\xA9 2023 Ann\"",
                                        "\"Caption-Abstract\": \"A quiet harbour.\"",
                                        "\"Writer-Editor\": \"AE\""};
    for (const std::string& expected : expectations)
        EXPECT_NE(json.find(expected), std::string::npos) << expected << "\n" << json;
    std::filesystem::remove_all(file.parent_path());
}
