#include "app/browser/BrowserDataSource.h"

#include <QString>
#include <algorithm>

#include "platform/AppIdentifier.h"
#include "platform/SerialQueue.h"

namespace browser {

BrowserDataSource::BrowserDataSource(std::shared_ptr<Thumbnailer> thumbnailer, QObject* parent)
    : QAbstractListModel(parent), thumbnailer_(std::move(thumbnailer)) {}

BrowserDataSource::~BrowserDataSource() {
    // Thumbnails still queued find their nodes gone and skip; none calls back into us.
    if (rootNodeInfo_) rootNodeInfo_->detachDelegate();
    rootNodeInfo_.reset();
    sQueue_.reset();
}

void BrowserDataSource::setPath(const std::filesystem::path& url,
                                std::vector<std::filesystem::path> doNotRecurse) {
    beginResetModel();
    if (rootNodeInfo_) rootNodeInfo_->detachDelegate();
    rootNodeInfo_ = FSNodeInfo::create(url, std::move(doNotRecurse));
    rootNodeInfo_->setDelegate(this);
    endResetModel();
}

void BrowserDataSource::invalidateFolder() {
    beginResetModel();
    if (rootNodeInfo_) {
        for (const FSNodeInfo::Ptr& child : rootNodeInfo_->subNodes())
            child->detachDelegate();
        rootNodeInfo_->invalidateChildren();
    }
    endResetModel();
}

const std::vector<FSNodeInfo::Ptr>& BrowserDataSource::nodes() const {
    static const std::vector<FSNodeInfo::Ptr> none;
    return rootNodeInfo_ ? rootNodeInfo_->subNodes() : none;
}

int BrowserDataSource::numberOfItemsInImageBrowser() const { return int(nodes().size()); }

FSNodeInfo::Ptr BrowserDataSource::itemAtIndex(int index) const {
    const auto& all = nodes();
    return index >= 0 && size_t(index) < all.size() ? all[size_t(index)] : nullptr;
}

int BrowserDataSource::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : numberOfItemsInImageBrowser();
}

QVariant BrowserDataSource::data(const QModelIndex& index, int role) const {
    const FSNodeInfo::Ptr node = itemAtIndex(index.row());
    if (!node || index.column() != 0) return {};
    switch (role) {
    case Qt::DisplayRole: {
        const QString title = QString::fromStdString(node->imageTitle());
        const QString subtitle = QString::fromStdString(node->imageSubtitle());
        return subtitle.isEmpty() ? title : title + QLatin1Char('\n') + subtitle;
    }
    case Qt::DecorationRole:
        return node->iconImageOfSize(FSNodeInfo::kThumbnailSize);
    case Qt::ToolTipRole:
        return QString::fromStdString(node->lastPathComponent());
    case PathRole:
        return QString::fromStdString(node->absolutePath());
    case TitleRole:
        return QString::fromStdString(node->imageTitle());
    case SubtitleRole:
        return QString::fromStdString(node->imageSubtitle());
    case VersionRole:
        return node->imageVersion();
    case IsDirectoryRole:
        return node->isDirectory();
    default:
        return {};
    }
}

void BrowserDataSource::iconDidChange(FSNodeInfo& node) {
    // Only the node's cell redraws, so the selection stays as it is.
    const auto& all = nodes();
    const auto at =
        std::find_if(all.begin(), all.end(), [&](const FSNodeInfo::Ptr& n) { return n.get() == &node; });
    if (at == all.end()) return;
    const QModelIndex cell = index(int(at - all.begin()));
    Q_EMIT dataChanged(cell, cell, {Qt::DecorationRole, VersionRole});
}

std::shared_ptr<ThumbnailCache> BrowserDataSource::masterIconCache() {
    if (!masterCache_) masterCache_ = std::make_shared<ThumbnailCache>(ThumbnailCache::kDefaultLimit);
    return masterCache_;
}

platform::SerialQueue& BrowserDataSource::iconProcessingQueue() {
    if (!sQueue_)
        sQueue_ = std::make_unique<platform::SerialQueue>(std::string(kApplicationIdentifier) + ".iconQueue");
    return *sQueue_;
}

} // namespace browser
