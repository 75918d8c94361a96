#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStandardItemModel>
#include <QThread>
#include <QTreeView>
#include <thread>

#include "app/ui/InspectorController.h"
#include "platform/ImageProperties.h"

using platform::Dictionary;

namespace {

Dictionary metadataOf(const char* model, double exposure) {
    using namespace platform;
    return {{kCGImagePropertyTIFFDictionary, Dictionary{{kCGImagePropertyTIFFModel, model}}},
            {kCGImagePropertyExifDictionary, Dictionary{{kCGImagePropertyExifExposureTime, exposure}}}};
}

QString cell(QStandardItemModel* model, int group, int row, int column) {
    return model->item(group)->child(row, column)->text();
}

} // namespace

TEST(InspectorController, ShowsTheRowsInTwoColumns) {
    InspectorController inspector;
    inspector.setData(metadataOf("Pixel 7", 0.0625));
    QStandardItemModel* model = inspector.treeModel();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->columnCount(), 2);
    EXPECT_EQ(model->item(0)->text(), "EXIF Metadata");
    EXPECT_EQ(cell(model, 0, 0, 0), "Exposure Time");
    EXPECT_EQ(cell(model, 0, 0, 1), "1/16");
    EXPECT_EQ(model->item(1)->text(), "TIFF Metadata");
    EXPECT_EQ(cell(model, 1, 0, 1), "Pixel 7");
    EXPECT_TRUE(inspector.outlineView()->isExpanded(model->index(0, 0)));

    inspector.setData(metadataOf("D30", 5));
    EXPECT_EQ(cell(model, 0, 0, 1), "5.0");
    EXPECT_EQ(model->rowCount(), 2);
}

// The engine announces new metadata on its own queue; the outline changes on the GUI thread.
TEST(InspectorController, DataFromAnotherThreadIsShownOnTheGuiThread) {
    InspectorController inspector;
    std::thread engineQueue([&] { inspector.setData(metadataOf("From a worker", 1.0 / 250)); });
    engineQueue.join();
    EXPECT_EQ(inspector.treeModel()->rowCount(), 0) << "nothing touched off the GUI thread";
    QCoreApplication::processEvents();
    ASSERT_EQ(inspector.treeModel()->rowCount(), 2);
    EXPECT_EQ(cell(inspector.treeModel(), 1, 0, 1), "From a worker");
    EXPECT_EQ(inspector.theData(), metadataOf("From a worker", 1.0 / 250));
}

TEST(InspectorController, ACallQueuedForAnInspectorThatWentIsDropped) {
    auto inspector = std::make_unique<InspectorController>();
    std::thread engineQueue([&] { inspector->setData(metadataOf("Late", 1)); });
    engineQueue.join();
    inspector.reset();
    QCoreApplication::processEvents(); // must not touch the destroyed inspector
    SUCCEED();
}
