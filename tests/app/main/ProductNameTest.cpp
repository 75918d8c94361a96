// Every text the program shows or writes says "Lumivar": the built program's read-only data
// holds no stand-in name but the internal "Tarnwell_..." notification names, and an exported
// TIFF's Software tag, read by tiffinfo, names Lumivar.
#include <gtest/gtest.h>

#include <QProcess>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <elf.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "app/core/AppTables.h"
#include "app/core/MyDocument.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;

namespace {

// The bytes of the ELF file's sections that hold constant data.
std::string constantData(const fs::path& program) {
    std::ifstream in(program, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < sizeof(Elf64_Ehdr) || std::memcmp(file.data(), ELFMAG, SELFMAG) != 0) return {};
    Elf64_Ehdr header;
    std::memcpy(&header, file.data(), sizeof header);
    const auto section = [&](size_t i) {
        Elf64_Shdr s{};
        const uint64_t at = header.e_shoff + uint64_t(i) * header.e_shentsize;
        if (at + sizeof s <= file.size()) std::memcpy(&s, file.data() + at, sizeof s);
        return s;
    };
    const Elf64_Shdr names = section(header.e_shstrndx);
    std::string data;
    for (size_t i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr s = section(i);
        if (names.sh_offset + s.sh_name >= file.size()) continue;
        const std::string name = file.c_str() + names.sh_offset + s.sh_name;
        if ((name == ".rodata" || name == ".data" || name == ".data.rel.ro") && s.sh_type == SHT_PROGBITS &&
            s.sh_offset + s.sh_size <= file.size())
            data += file.substr(s.sh_offset, s.sh_size);
    }
    return data;
}

// Each place the stand-in name stands as a word of a text, with its neighbourhood. Followed by
// a letter, digit or underscore it is part of a name in the code (a class, a function, the
// "Tarnwell_..." notifications), which the sanitizers' and the type tables keep as text.
// The stand-in names, lower case.
constexpr const char* kStandInNames[] = {"tarnwell", "glintave", "zadediviv", "duzev urer"};

std::set<std::string> standInTexts(const std::string& data, const std::string& word) {
    std::string lower(data.size(), '\0');
    std::transform(data.begin(), data.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    std::set<std::string> found;
    for (size_t at = lower.find(word); at != std::string::npos; at = lower.find(word, at + 1)) {
        const char next = at + word.size() < data.size() ? data[at + word.size()] : ' ';
        if (std::isalnum(static_cast<unsigned char>(next)) || next == '_') continue;
        size_t begin = at, end = at;
        while (begin > 0 && std::isprint(static_cast<unsigned char>(data[begin - 1])))
            --begin;
        while (end < data.size() && std::isprint(static_cast<unsigned char>(data[end])))
            ++end;
        found.insert(data.substr(begin, end - begin));
    }
    return found;
}

} // namespace

TEST(ProductName, TheProgramsTextsSayLumivar) {
    const std::string data = constantData(LUMIVAR_PROGRAM);
    ASSERT_GT(data.size(), 10000u) << LUMIVAR_PROGRAM;
    ASSERT_NE(data.find("Tarnwell_PresetsChanged"), std::string::npos); // the scan sees the texts
    // The one text kept on purpose: the prefix of profile descriptions that catalogs written
    // earlier hold, read to find their profiles, never written.
    const std::set<std::string> kept{"ZadeDiviv "};
    for (const char* word : kStandInNames)
        for (const std::string& text : standInTexts(data, word))
            if (!kept.count(text)) ADD_FAILURE() << "a text with a stand-in name: " << text;
    EXPECT_NE(data.find("Lumivar could not create the export file"), std::string::npos);
}

TEST(ProductName, AnExportedTiffNamesLumivarAsItsSoftware) {
    testsupport::TempHome home;
    const fs::path chart = home.path() / "chart.dng", tiff = home.path() / "chart.tif";
    fs::copy_file(fs::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng", chart);
    auto document = MyDocument::create();
    platform::Error error;
    ASSERT_TRUE(document->read(chart.string(), &error)) << error.failureReason;
    ASSERT_TRUE(document->exportToURL(tiff, app::kTypeTIFF, platform::Rect{0, 0, 0, 0}, true, &error))
        << error.failureReason;
    document->close();

    QProcess tiffinfo;
    tiffinfo.start("tiffinfo", {QString::fromStdString(tiff.string())});
    ASSERT_TRUE(tiffinfo.waitForFinished(60000));
    const std::string info = tiffinfo.readAllStandardOutput().toStdString();
    ASSERT_EQ(tiffinfo.exitCode(), 0) << info;
    const size_t software = info.find("Software: ");
    ASSERT_NE(software, std::string::npos) << info;
    const std::string line = info.substr(software, info.find('\n', software) - software);
    EXPECT_NE(line.find("Lumivar"), std::string::npos) << line;
    for (const char* word : kStandInNames)
        EXPECT_TRUE(standInTexts(info, word).empty()) << info;
}
