#include <gtest/gtest.h>

#include "app/main/LumivarCommandLine.h"

TEST(LumivarCommandLine, OptionsAndFiles) {
    const auto line = LumivarCommandLine::parse(
        {"a.dng", "--automation", "run.txt", "--screenshots", "shots", "-", "--", "--automation"});
    EXPECT_TRUE(line.error.empty());
    EXPECT_EQ(line.automation, std::filesystem::path("run.txt"));
    EXPECT_EQ(line.screenshots, std::filesystem::path("shots"));
    EXPECT_EQ(line.files, (std::vector<std::filesystem::path>{"a.dng", "-", "--automation"}));

    const struct {
        std::vector<std::string> arguments;
        const char* error;
    } bad[] = {
        {{"--automation"}, "--automation needs a path"},
        {{"--screenshots", ""}, "--screenshots needs a path"},
        {{"--automation", "a", "--automation", "b"}, "--automation is given twice"},
        {{"--zoom"}, "unknown option --zoom"},
    };
    for (const auto& c : bad)
        EXPECT_EQ(LumivarCommandLine::parse(c.arguments).error, c.error);
    EXPECT_TRUE(LumivarCommandLine::parse({"-h"}).help);
}
