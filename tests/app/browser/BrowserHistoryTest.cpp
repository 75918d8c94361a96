// Back and forward through the folders shown.
#include <gtest/gtest.h>

#include "app/browser/BrowserHistory.h"

using browser::BrowserHistory;

TEST(BrowserHistory, BackAndForwardWalkTheFoldersShown) {
    BrowserHistory h;
    EXPECT_EQ(h.change("/a", BrowserHistory::New), "/a");
    EXPECT_FALSE(h.canGoBack()); // a history of one folder
    EXPECT_FALSE(h.canGoForward());
    h.change("/b", BrowserHistory::New);
    h.change("/c", BrowserHistory::New);
    EXPECT_TRUE(h.canGoBack());
    EXPECT_EQ(h.change(h.previous(), BrowserHistory::Back), "/b");
    EXPECT_EQ(h.current(), "/b");
    EXPECT_TRUE(h.canGoForward());
    EXPECT_EQ(h.change(h.previous(), BrowserHistory::Back), "/a");
    EXPECT_FALSE(h.canGoBack());
    EXPECT_EQ(h.forwardArray().size(), 2u);
    EXPECT_EQ(h.change(std::nullopt, BrowserHistory::Forward), "/b");
    EXPECT_EQ(h.change(std::nullopt, BrowserHistory::Forward), "/c");
    EXPECT_FALSE(h.canGoForward());
    EXPECT_EQ(h.change(std::nullopt, BrowserHistory::Forward), std::nullopt);
    EXPECT_EQ(h.current(), "/c");
    EXPECT_EQ(h.change(std::nullopt, BrowserHistory::New), "/c"); // no folder: the current one
    EXPECT_EQ(h.change("/c", BrowserHistory::New), "/c");         // the same folder again
    EXPECT_EQ(h.backArray().size(), 3u);
}
