#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/Paths.h"
#include "platform/Plist.h"
#include "tests/support/TempHome.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

Value storedFile(const fs::path& file) {
    Value root;
    EXPECT_TRUE(readPlistFile(file, root));
    return root;
}

} // namespace

TEST(UserDefaults, StoredValuesWinOverRegisteredOnes) {
    testsupport::TempHome home;
    auto& defaults = UserDefaults::standard();
    defaults.registerDefaults(
        {{"DisableFrameBuffer", "NO"}, {"ResolutionSelect", 4}, {"ShowSplashScreen", "YES"}});
    EXPECT_TRUE(defaults.boolForKey("ShowSplashScreen"));
    EXPECT_FALSE(defaults.boolForKey("DisableFrameBuffer"));
    EXPECT_EQ(defaults.integerForKey("ResolutionSelect"), 4);

    defaults.setBool(true, "DisableFrameBuffer");
    defaults.setBool(true, "LumivarIsRunning");
    EXPECT_TRUE(defaults.boolForKey("DisableFrameBuffer"));
    defaults.removeObjectForKey("DisableFrameBuffer");
    EXPECT_FALSE(defaults.boolForKey("DisableFrameBuffer"));
    EXPECT_EQ(defaults.objectForKey("DisableFrameBuffer"), Value("NO"));

    // Only stored values reach the file, at once.
    EXPECT_EQ(storedFile(paths::config() / "Lumivar.plist"), Value(Dictionary{{"LumivarIsRunning", true}}));
}

TEST(UserDefaults, TypedGettersConvertOrRefuse) {
    testsupport::TempHome home;
    UserDefaults defaults(home.path() / "d.plist");
    defaults.setObject(Value(Dictionary{{"a", 1}}), "dict");
    defaults.setObject(Value(Array{Value("x")}), "list");
    defaults.setDouble(2.5, "real");
    defaults.setObject(Value("7"), "text");

    EXPECT_EQ(defaults.stringForKey("real"), "2.5");
    EXPECT_EQ(defaults.stringForKey("text"), "7");
    EXPECT_EQ(defaults.stringForKey("dict"), std::nullopt);
    EXPECT_EQ(defaults.stringForKey("absent"), std::nullopt);
    EXPECT_EQ(defaults.integerForKey("text"), 7);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("real"), 2.5);
    EXPECT_EQ(defaults.integerForKey("absent"), 0);
    EXPECT_EQ(defaults.dictionaryForKey("dict"), (Dictionary{{"a", 1}}));
    EXPECT_EQ(defaults.dictionaryForKey("list"), std::nullopt);
    EXPECT_EQ(defaults.arrayForKey("list"), (Array{Value("x")}));
    EXPECT_EQ(defaults.arrayForKey("text"), std::nullopt);
    EXPECT_TRUE(defaults.objectForKey("absent").isNull());
}

TEST(UserDefaults, ValuesSurviveARestartWithTheirKinds) {
    testsupport::TempHome home;
    UserDefaults::standard().setDouble(10.0, "zoom");
    UserDefaults::standard().setInteger(-3, "offset");
    UserDefaults::standard().setObject(Value("/photos/raw"), "rawSearchDirectoryBookmark");
    UserDefaults::resetStandardUserDefaults();

    auto& reloaded = UserDefaults::standard();
    EXPECT_EQ(reloaded.objectForKey("zoom"), Value(10.0));
    EXPECT_EQ(reloaded.objectForKey("offset"), Value(-3));
    EXPECT_EQ(reloaded.stringForKey("rawSearchDirectoryBookmark"), "/photos/raw");
}

TEST(UserDefaults, AnUnreadableFileStartsEmptyAndIsReplaced) {
    testsupport::TempHome home;
    fs::path file = home.path() / "d.plist";
    std::ofstream(file) << "<plist><dict><key>broken";
    UserDefaults defaults(file);
    EXPECT_TRUE(defaults.objectForKey("broken").isNull());
    defaults.setBool(true, "ok");
    EXPECT_EQ(storedFile(file), Value(Dictionary{{"ok", true}}));
}

TEST(UserDefaults, SynchronizeRetriesAFailedWrite) {
    testsupport::TempHome home;
    fs::path folder = home.path() / "config";
    std::ofstream(folder) << "a file where the folder should be";
    UserDefaults defaults(folder / "d.plist");
    defaults.setInteger(5, "n");
    EXPECT_EQ(defaults.integerForKey("n"), 5);
    Error error;
    EXPECT_FALSE(defaults.synchronize(&error));
    EXPECT_EQ(error.domain, kPosixErrorDomain);

    fs::remove(folder);
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_EQ(storedFile(folder / "d.plist"), Value(Dictionary{{"n", 5}}));
}

TEST(UserDefaults, ObserversSeeChangesOfTheEffectiveValue) {
    testsupport::TempHome home;
    UserDefaults defaults(home.path() / "d.plist");
    defaults.registerDefaults({{"BrowserFileSelect", 1}});
    std::vector<std::pair<Value, Value>> seen;
    auto token = defaults.addObserver("BrowserFileSelect",
                                      [&](const Value& o, const Value& n) { seen.emplace_back(o, n); });
    auto other =
        defaults.addObserver("ShowOnlyPCDFiles", [](const Value&, const Value&) { FAIL() << "other key"; });

    defaults.setInteger(2, "BrowserFileSelect");
    defaults.setInteger(2, "BrowserFileSelect"); // unchanged: no call
    defaults.removeObjectForKey("BrowserFileSelect");
    defaults.setInteger(1, "Unrelated");
    EXPECT_EQ(seen, (std::vector<std::pair<Value, Value>>{{Value(1), Value(2)}, {Value(2), Value(1)}}));

    defaults.removeObserver(token);
    defaults.removeObserver(other);
    defaults.setInteger(3, "BrowserFileSelect");
    EXPECT_EQ(seen.size(), 2u);
}
