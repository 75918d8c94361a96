#include <gtest/gtest.h>

#include <set>
#include <string>

#include "raw/loaders/LoaderTable.h"
#include "raw/loaders/Loaders.h"

using namespace raw;

TEST(LoaderTable, EveryLoaderOnceUnderItsOwnName) {
    std::set<Routine> routines;
    std::set<std::string> names;
    for (const loader_entry& e : loader_table()) {
        EXPECT_TRUE(routines.insert(e.loader).second) << e.name << " shares its routine";
        EXPECT_TRUE(names.insert(e.name).second) << e.name;
        EXPECT_EQ(find_loader_entry(e.loader), &e) << e.name;
    }
    EXPECT_EQ(find_loader_entry(ppm_thumb), nullptr);
    // The entries of formats that are not read are told apart by their routine.
    for (Routine r : {empty_loader, red_jpeg2000_entry, kodak_jpeg_entry, lossy_dng_entry})
        EXPECT_EQ(find_loader_entry(r)->writes, LoaderOutput::nothing);
    EXPECT_EQ(find_loader_entry(ycbcr12_pair_load_raw)->writes, LoaderOutput::pixels);
}
