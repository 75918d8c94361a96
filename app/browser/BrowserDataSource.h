#pragma once
// The thumbnail grid's model: the shown folder's visible items, one row each. Thumbnails are
// made on one serial icon queue and kept in a cache of 1000 images that outlives folder
// changes (the model lives as long as its window).
#include <filesystem>
#include <memory>
#include <vector>

#include <QAbstractListModel>

#include "app/browser/FSNodeInfo.h"

namespace platform {
class SerialQueue;
}

namespace browser {

class BrowserDataSource : public QAbstractListModel, public FSNodeInfoDelegate {
    Q_OBJECT
  public:
    enum Role {
        PathRole = Qt::UserRole + 1, // absolute path (the item's identity)
        TitleRole,                   // name without extension
        SubtitleRole,                // extension
        VersionRole,                 // 1 once the thumbnail has arrived
        IsDirectoryRole,
    };

    explicit BrowserDataSource(std::shared_ptr<Thumbnailer> thumbnailer = sharedDefaultThumbnailer(),
                               QObject* parent = nullptr);
    ~BrowserDataSource() override;

    // A new root for the folder replaces the old one; the grid reloads.
    void setPath(const std::filesystem::path& url, std::vector<std::filesystem::path> doNotRecurse);
    FSNodeInfo::Ptr getRoot() const { return rootNodeInfo_; }
    // The folder changed on disk: the root drops its children and the grid reloads.
    void invalidateFolder();

    int numberOfItemsInImageBrowser() const;
    FSNodeInfo::Ptr itemAtIndex(int index) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void iconDidChange(FSNodeInfo& node) override;
    std::shared_ptr<ThumbnailCache> masterIconCache() override;
    platform::SerialQueue& iconProcessingQueue() override;
    std::shared_ptr<Thumbnailer> thumbnailer() override { return thumbnailer_; }

  private:
    const std::vector<FSNodeInfo::Ptr>& nodes() const;

    FSNodeInfo::Ptr rootNodeInfo_;
    std::unique_ptr<platform::SerialQueue> sQueue_;
    std::shared_ptr<ThumbnailCache> masterCache_;
    std::shared_ptr<Thumbnailer> thumbnailer_;
};

} // namespace browser
