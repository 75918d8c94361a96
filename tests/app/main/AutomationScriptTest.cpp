// The automation script: which lines parse into which commands, and why the others do not.
#include <gtest/gtest.h>

#include "app/main/AutomationRunner.h"
#include "app/main/AutomationScript.h"

using namespace automation;

TEST(AutomationScript, LinesBecomeCommands) {
    const Script script = parseScript("# a comment\n"
                                      "\n"
                                      "open \"My Photos/IMG 1.dng\"\n"
                                      "  wait-image 12.5  \r\n"
                                      "wait-image\n"
                                      "set Lumivar_Filter_inputEV -0.5\n"
                                      "expect displayName \"say \\\"cheese\\\"\"\n"
                                      "screenshot fit histogram\n"
                                      "zoom 2\n"
                                      "drag 10 20 -30 40.5\n"
                                      "wheel 0 -1\n"
                                      "mode eyedropper\n"
                                      "fit\n"
                                      "close\n"
                                      "quit");
    ASSERT_TRUE(script.errors.empty()) << script.errors.front();
    ASSERT_EQ(script.commands.size(), 13u);
    const Command& open = script.commands[0];
    EXPECT_EQ(open.line, 3);
    EXPECT_EQ(open.verb, Verb::Open);
    EXPECT_EQ(open.words, std::vector<std::string>{"My Photos/IMG 1.dng"});
    EXPECT_EQ(script.commands[1].text, "wait-image 12.5");
    EXPECT_EQ(script.commands[1].numbers, std::vector<double>{12.5});
    EXPECT_TRUE(script.commands[2].numbers.empty());
    EXPECT_EQ(script.commands[3].words, (std::vector<std::string>{"Lumivar_Filter_inputEV", "-0.5"}));
    EXPECT_EQ(script.commands[4].words[1], "say \"cheese\"");
    EXPECT_EQ(script.commands[5].words, (std::vector<std::string>{"fit", "histogram"}));
    EXPECT_EQ(script.commands[7].numbers, (std::vector<double>{10, 20, -30, 40.5}));
    EXPECT_EQ(script.commands[12].verb, Verb::Quit);
    EXPECT_EQ(script.commands[12].line, 15);
}

TEST(AutomationScript, TheApplicationsAndTheBrowsersLines) {
    const Script script = parseScript("menu \"File/Export As/JPEG...\"\nchoose a.dng \"b c.dng\"\n"
                                      "type presetName \"Soft light\"\nexpect-item presetPopup Noir\n"
                                      "browse photos\nselect all\nselect a.dng b.dng\nbatch Default out\n"
                                      "wait-batch\nwait-batch 30\ncancel\nscreenshot dialog screen\n");
    ASSERT_TRUE(script.errors.empty()) << script.errors.front();
    ASSERT_EQ(script.commands.size(), 12u);
    EXPECT_EQ(script.commands[0].verb, Verb::Menu);
    EXPECT_EQ(script.commands[0].words[0], "File/Export As/JPEG...");
    EXPECT_EQ(script.commands[1].words, (std::vector<std::string>{"a.dng", "b c.dng"}));
    EXPECT_EQ(script.commands[2].words[1], "Soft light");
    EXPECT_EQ(script.commands[6].words.size(), 2u);
    EXPECT_EQ(script.commands[7].verb, Verb::Batch);
    EXPECT_TRUE(script.commands[8].numbers.empty());
    EXPECT_EQ(script.commands[9].numbers, std::vector<double>{30});
    EXPECT_EQ(Runner::timeLimit(script.commands[8]), Runner::kDefaultBatchWait);
    EXPECT_EQ(script.commands[10].verb, Verb::Cancel);
}

TEST(AutomationScript, BadLinesAreNamedAndNothingElseIsLost) {
    const struct {
        const char* line;
        const char* error;
    } cases[] = {
        {"jump 3", "unknown command \"jump\""},
        {"open", "open takes 1 argument, not 0"},
        {"open a b", "open takes 1 argument, not 2"},
        {"wait-image 1 2", "wait-image takes 0 or 1 arguments, not 2"},
        {"wait-image soon", "wait-image: \"soon\" is not a number"},
        {"wait-image 0", "wait-image: the time must be above 0 seconds"},
        {"zoom -1", "zoom: the factor must be above 0"},
        {"zoom nan", "zoom: \"nan\" is not a number"},
        {"zoom 1e999", "zoom: \"1e999\" is not a number"},
        {"drag 1 2 3", "drag takes 4 arguments, not 3"},
        {"mode zoom", "mode is pan, crop or eyedropper, not \"zoom\""},
        {"set key", "set takes 2 arguments, not 1"},
        {"open \"unfinished", "unterminated quote"},
        {"open \"a\"b", "text right after a closing quote"},
        {"screenshot ../out", "screenshot: a plain file name, without folders"},
        {"screenshot shot menu", "screenshot: the part is window, view, histogram or screen, not \"menu\""},
        {"quit now", "quit takes 0 arguments, not 1"},
        {"rotate left", "rotate is cw or ccw, not \"left\""},
        {"export png out.png", "export is jpeg, tiff, dng or exr, not \"png\""},
        {"slider Lumivar_Filter_monochromeRed high", "slider: the value must be a number"},
        {"preset-save Red", "preset-save takes 2 to 64 arguments, not 1"},
        {"menu File/", "menu: a menu, or a menu and an item, as \"Title/Item\""},
        {"menu /Open", "menu: a menu, or a menu and an item, as \"Title/Item\""},
        {"choose", "choose takes 1 to 64 arguments, not 0"},
        {"batch", "batch takes 1 or 2 arguments, not 0"},
        {"wait-batch 0", "wait-batch: the time must be above 0 seconds"},
        {"cancel now", "cancel takes 0 arguments, not 1"},
        {"type name", "type takes 2 arguments, not 1"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseLine(c.line, 7, error)) << c.line;
        EXPECT_EQ(error, c.error) << c.line;
    }
    const Script script = parseScript("fit\njump\nfit\nzoom x\n");
    EXPECT_EQ(script.errors, (std::vector<std::string>{"line 2: unknown command \"jump\"",
                                                       "line 4: zoom: \"x\" is not a number"}));
    EXPECT_EQ(script.commands.size(), 2u);
}

TEST(AutomationScript, ValuesAndTheirComparison) {
    EXPECT_EQ(parseValue("true"), platform::Value(true));
    EXPECT_EQ(parseValue("false"), platform::Value(false));
    EXPECT_EQ(parseValue("-12"), platform::Value(-12));
    EXPECT_EQ(parseValue("0.25"), platform::Value(0.25));
    EXPECT_EQ(parseValue("12px"), platform::Value("12px"));
    EXPECT_EQ(parseValue("none"), std::nullopt);

    const struct {
        std::optional<platform::Value> actual;
        const char* expected;
        bool match;
    } cases[] = {
        {platform::Value(200.0f), "200", true}, // a stored float against a whole number
        {platform::Value(0.1f), "0.1", true},   // single precision is close enough
        {platform::Value(200.5), "200", false},
        {platform::Value(true), "1", true}, // booleans are numbers
        {platform::Value(int64_t(3)), "true", false},
        {platform::Value("Default"), "Default", true},
        {platform::Value("3"), "3", false}, // text is not a number
        {std::nullopt, "none", true},
        {platform::Value(), "none", true}, // the stored null
        {platform::Value(0), "none", false},
        {std::nullopt, "0", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(valuesMatch(c.actual, parseValue(c.expected)), c.match)
            << describeValue(c.actual) << " against " << c.expected;
    EXPECT_EQ(describeValue(platform::Value(0.5)), "0.5");
    EXPECT_EQ(describeValue(platform::Value("a b")), "\"a b\"");
    EXPECT_EQ(describeValue(std::nullopt), "none");
}
