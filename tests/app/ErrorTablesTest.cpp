// Every error domain's table: each code once, each with a text.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/core/Keys.h"
#include "dng/dng_exceptions.h"
#include "export/ExportErrors.h"
#include "export/JpegDestination.h"
#include "platform/Plist.h"
#include "raw/wrapper/RawOpenErrors.h"

namespace {

template <typename Table> void expectDistinctCodesWithTexts(const Table& table) {
    SCOPED_TRACE(std::string(table.domain));
    EXPECT_FALSE(table.domain.empty());
    std::set<int64_t> codes;
    for (const auto& row : table.rows) {
        EXPECT_TRUE(codes.insert(int64_t(row.code)).second) << "code " << int64_t(row.code) << " twice";
        EXPECT_FALSE(row.text.empty()) << "code " << int64_t(row.code) << " has no text";
        const platform::Error error = table.error(row.code);
        EXPECT_EQ(error.domain, table.domain);
        EXPECT_EQ(error.code, int64_t(row.code));
    }
}

} // namespace

TEST(ErrorTables, EachDomainNamesEachCodeOnceWithItsText) {
    expectDistinctCodesWithTexts(app::errors::Table);
    expectDistinctCodesWithTexts(raw::errors::Table);
    expectDistinctCodesWithTexts(kDngErrors);
    expectDistinctCodesWithTexts(exporting::errors::Table);
    expectDistinctCodesWithTexts(kJpegDestinationErrors);
    expectDistinctCodesWithTexts(platform::kPlistErrors);

    // The domains themselves are told apart by their names alone.
    const std::set<std::string_view> domains{
        app::errors::Domain,        raw::errors::Domain,         kDngErrorDomain,
        exporting::errors::Domain,  kJpegDestinationErrorDomain, platform::kPlistErrorDomain,
        platform::kPosixErrorDomain};
    EXPECT_EQ(domains.size(), 7u);
}

TEST(ErrorTables, TextsTakeTheirArgumentsInOrder) {
    const platform::Error notFound =
        app::errors::Table.error(app::errors::RawFileNotFound, {"IMG_%s_0001", "/photos"});
    EXPECT_EQ(notFound.failureReason,
              "Could not find the raw file corresponding to IMG_%s_0001 in search location /photos. Set the "
              "search location in Preferences to the folder containing your raw image files.");
    // Another part's reason stands in for the text; without one the text is kept.
    EXPECT_EQ(raw::errors::Table.withReason(raw::errors::DecodeFailed, "Unsupported file type").failureReason,
              "Unsupported file type");
    EXPECT_EQ(raw::errors::Table.withReason(raw::errors::DecodeFailed, "").failureReason,
              "Raw format not recognized.");
}
