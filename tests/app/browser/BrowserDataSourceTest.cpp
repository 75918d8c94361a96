// The grid model: an icon at once, the thumbnail from the icon queue, the cache by file version.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <thread>

#include "app/browser/BrowserDataSource.h"
#include "app/browser/ThumbnailCache.h"
#include "app/core/AppTables.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"
#include "platform/UserDefaults.h"
#include "tests/app/browser/BrowserTestSupport.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using browser::BrowserDataSource;
using browsertest::FakeThumbnailer;
using browsertest::solid;

namespace {

QImage decoration(BrowserDataSource& model, int row) {
    return model.data(model.index(row), Qt::DecorationRole).value<QImage>();
}

int rowOf(BrowserDataSource& model, const std::string& name) {
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.itemAtIndex(row)->lastPathComponent() == name) return row;
    return -1;
}

class GridModel : public testing::Test {
  protected:
    void SetUp() override {
        app::registerApplicationDefaults(platform::UserDefaults::standard());
        fake->images["a.jpg"] = solid(QSize(200, 100), Qt::red);
        testsupport::writeFile(folder.path(), "a.jpg", std::string("jpeg"));
        testsupport::writeFile(folder.path(), "b.dng", std::string("raw without preview"));
        model.setPath(folder.path(), {});
    }
    // Runs the icon queue dry and then the main queue.
    void settle() {
        model.iconProcessingQueue().sync([] {});
        platform::MainQueue::shared().drain();
    }
    testsupport::TempHome home;
    testsupport::TempFolder folder;
    std::shared_ptr<FakeThumbnailer> fake = std::make_shared<FakeThumbnailer>();
    BrowserDataSource model{fake};
};

TEST_F(GridModel, CellShowsIconFirstThenThumbnailFromTheQueue) {
    ASSERT_EQ(model.rowCount(), 2);
    const int a = rowOf(model, "a.jpg");
    std::vector<int> changed;
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& from, const QModelIndex&) { changed.push_back(from.row()); });
    // The queue is held until the icon has been checked: a thumbnail made meanwhile would
    // already count as version 1.
    std::promise<void> release;
    model.iconProcessingQueue().async([held = release.get_future().share()] { held.wait(); });
    EXPECT_EQ(decoration(model, a).pixelColor(64, 64), QColor(Qt::blue)); // the icon, at once
    EXPECT_EQ(model.data(model.index(a), BrowserDataSource::VersionRole).toInt(), 0);
    release.set_value();
    settle();
    EXPECT_EQ(changed, std::vector<int>{a});
    const QImage thumb = decoration(model, a);
    EXPECT_EQ(thumb.size(), QSize(128, 64));
    EXPECT_EQ(thumb.pixelColor(10, 10), QColor(Qt::red));
    EXPECT_EQ(model.data(model.index(a), BrowserDataSource::VersionRole).toInt(), 1);
    ASSERT_EQ(fake->threads.size(), 1u);
    EXPECT_NE(fake->threads[0], std::this_thread::get_id());

    // No thumbnail: the icon stays, and the file is not tried again.
    const int b = rowOf(model, "b.dng");
    decoration(model, b);
    settle();
    EXPECT_EQ(decoration(model, b).pixelColor(64, 64), QColor(Qt::blue));
    model.invalidateFolder();
    decoration(model, rowOf(model, "b.dng"));
    settle();
    EXPECT_EQ(fake->calls, 2);
}

TEST_F(GridModel, CacheOutlivesReloadsButNotARewrite) {
    decoration(model, rowOf(model, "a.jpg"));
    settle();
    model.invalidateFolder();
    EXPECT_EQ(decoration(model, rowOf(model, "a.jpg")).pixelColor(10, 10), QColor(Qt::red));
    EXPECT_EQ(fake->calls, 1);

    fake->images["a.jpg"] = solid(QSize(100, 200), Qt::yellow);
    testsupport::writeFile(folder.path(), "a.jpg", std::string("a longer jpeg"));
    fs::last_write_time(folder / "a.jpg", fs::last_write_time(folder / "a.jpg") + std::chrono::seconds(2));
    model.invalidateFolder();
    decoration(model, rowOf(model, "a.jpg"));
    settle();
    EXPECT_EQ(fake->calls, 2);
    const QImage thumb = decoration(model, rowOf(model, "a.jpg"));
    EXPECT_EQ(thumb.size(), QSize(64, 128));
    EXPECT_EQ(thumb.pixelColor(10, 10), QColor(Qt::yellow));
}

TEST_F(GridModel, FolderChangeBeforeTheQueueRunsDropsTheWork) {
    auto release = std::make_shared<std::atomic<bool>>(false);
    model.iconProcessingQueue().async([release] {
        while (!*release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    decoration(model, rowOf(model, "a.jpg"));
    model.setPath(home.path(), {}); // the old nodes are gone before their turn
    *release = true;
    settle();
    EXPECT_EQ(fake->calls, 0);
}

TEST_F(GridModel, LinksGetTheBadgeAndTextsComeFromTheNode) {
    fs::create_symlink(folder / "a.jpg", folder / "link.jpg");
    model.invalidateFolder();
    const int link = rowOf(model, "link.jpg");
    const QImage badged = decoration(model, link);
    EXPECT_EQ(badged.pixelColor(100, 20), QColor(Qt::blue));
    EXPECT_NE(badged.pixelColor(20, 110), QColor(Qt::blue)); // the badge's corner
    EXPECT_EQ(model.data(model.index(link), Qt::DisplayRole).toString(), QString("link\njpg"));
    EXPECT_EQ(model.data(model.index(link), BrowserDataSource::PathRole).toString().toStdString(),
              (folder / "link.jpg").string());
}

TEST(ThumbnailCacheLimit, KeepsTheMostRecentlyUsed) {
    browser::ThumbnailCache cache(3);
    const auto key = [](int i) { return browser::ThumbnailKey{"/f" + std::to_string(i), 1, 2}; };
    for (int i = 0; i < 3; ++i)
        cache.setObject(solid(QSize(1, 1), Qt::red), key(i));
    ASSERT_TRUE(cache.object(key(0))); // 0 is now the most recent
    cache.setObject(solid(QSize(1, 1), Qt::red), key(3));
    EXPECT_EQ(cache.count(), 3u);
    EXPECT_TRUE(cache.contains(key(0)));
    EXPECT_FALSE(cache.contains(key(1)));
    EXPECT_FALSE(cache.contains({"/f0", 1, 3})); // another version of the file
    EXPECT_EQ(BrowserDataSource().masterIconCache()->countLimit(), 1000u);
}

} // namespace
