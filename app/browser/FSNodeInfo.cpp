#include "app/browser/FSNodeInfo.h"

#include <QImageReader>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>
#include <string_view>
#include <unistd.h>

#include "app/browser/BrowserImages.h"
#include "app/browser/Thumbnailer.h"
#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"
#include "platform/UserDefaults.h"

namespace fs = std::filesystem;

namespace browser {
namespace {

int64_t fileSelectSetting() {
    const platform::Value v =
        platform::UserDefaults::standard().objectForKey(app::defaults::BrowserFileSelect);
    return v.isNull() ? 1
                      : platform::UserDefaults::standard().integerForKey(app::defaults::BrowserFileSelect);
}

const std::set<QString>& readableImageMimeTypes() {
    static const std::set<QString> types = [] {
        std::set<QString> names;
        for (const QByteArray& name : QImageReader::supportedMimeTypes())
            if (name.startsWith("image/")) names.insert(QString::fromLatin1(name));
        return names;
    }();
    return types;
}

// Names as a photographer reads them: case aside, and runs of digits by their value, so
// IMG_9 comes before IMG_10.
bool namedBefore(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit((unsigned char)a[i]) && std::isdigit((unsigned char)b[j])) {
            const size_t startA = i, startB = j;
            while (i < a.size() && std::isdigit((unsigned char)a[i]))
                ++i;
            while (j < b.size() && std::isdigit((unsigned char)b[j]))
                ++j;
            std::string_view da(a.data() + startA, i - startA), db(b.data() + startB, j - startB);
            while (da.size() > 1 && da.front() == '0')
                da.remove_prefix(1);
            while (db.size() > 1 && db.front() == '0')
                db.remove_prefix(1);
            if (da.size() != db.size()) return da.size() < db.size();
            if (da != db) return da < db;
            continue;
        }
        const int ca = std::tolower((unsigned char)a[i]), cb = std::tolower((unsigned char)b[j]);
        if (ca != cb) return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
    return a < b; // equal but for case or leading zeros: still one order
}

fs::path resolved(const fs::path& p) {
    std::error_code ec;
    fs::path r = fs::weakly_canonical(p, ec);
    return ec ? p.lexically_normal() : r;
}

} // namespace

bool isReadableImageType(const fs::path& file) {
    static std::mutex lock; // the reader's plugin list is built once, here
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromStdString(file.filename().string()),
                                                           QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault()) return false;
    std::lock_guard guard(lock);
    const std::set<QString>& readable = readableImageMimeTypes();
    if (readable.count(type.name())) return true;
    return std::any_of(readable.begin(), readable.end(),
                       [&](const QString& name) { return type.inherits(name); });
}

bool isImageFile(const fs::path& file, bool isDirectory, int64_t fileSelect) {
    if (fileSelect > 1 || isDirectory) return true;
    if (app::isRawExtension(file.extension().string())) return true;
    if (fileSelect <= 0) return false;
    return isReadableImageType(file);
}

fs::path picturesFolder() {
    return fs::path(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdString());
}

std::shared_ptr<Thumbnailer> sharedDefaultThumbnailer() {
    static const std::shared_ptr<Thumbnailer> shared = std::make_shared<DefaultThumbnailer>();
    return shared;
}

FSNodeInfo::Ptr FSNodeInfo::create(fs::path url, std::vector<fs::path> doNotRecurse) {
    Ptr node(new FSNodeInfo());
    node->fullURL_ = std::move(url);
    node->noRecurse_ = std::move(doNotRecurse);
    node->readAttributes();
    return node;
}

FSNodeInfo::Ptr FSNodeInfo::create(FSNodeInfo* parent, const std::string& name) {
    Ptr node(new FSNodeInfo());
    node->fullURL_ = parent ? parent->fullURL_ / name : fs::path(name);
    if (parent) node->noRecurse_ = parent->noRecurse_;
    node->parentNode_ = parent;
    node->readAttributes();
    return node;
}

void FSNodeInfo::readAttributes() {
    std::error_code ec;
    isLink_ = fs::is_symlink(fs::symlink_status(fullURL_, ec));
    const fs::file_status status = fs::status(fullURL_, ec);
    isDirectory_ = !ec && fs::is_directory(status);
    isReadable_ = ::access(fullURL_.c_str(), R_OK) == 0;
    if (!ec && fs::is_regular_file(status)) {
        const auto size = fs::file_size(fullURL_, ec);
        fileSize_ = ec ? 0 : uint64_t(size);
    }
    const auto time = fs::last_write_time(fullURL_, ec);
    modificationDate_ =
        ec ? 0
           : int64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count());
}

bool FSNodeInfo::isImageFile() const {
    return browser::isImageFile(fullURL_, isDirectory_, fileSelectSetting());
}

bool FSNodeInfo::isVisible() const {
    const std::string name = lastPathComponent();
    return !name.empty() && name.front() != '.' && isImageFile();
}

bool FSNodeInfo::isDoNotRecurseFolder() const {
    const fs::path self = resolved(fullURL_);
    return std::any_of(noRecurse_.begin(), noRecurse_.end(),
                       [&](const fs::path& p) { return resolved(p) == self; });
}

const std::vector<FSNodeInfo::Ptr>& FSNodeInfo::subNodes() {
    if (childrenBuilt_) return subNodes_;
    childrenBuilt_ = true;
    const bool filesOnly = isDoNotRecurseFolder();
    std::error_code ec;
    for (fs::directory_iterator it(fullURL_, ec), end; !ec && it != end; it.increment(ec)) {
        Ptr child = create(this, it->path().filename().string());
        child->delegate_ = delegate_;
        if (child->isVisible() && !(filesOnly && child->isDirectory_)) subNodes_.push_back(std::move(child));
    }
    // By name: the order a directory lists in here is its hash order, of no use to anyone.
    std::sort(subNodes_.begin(), subNodes_.end(), [](const Ptr& a, const Ptr& b) {
        return namedBefore(a->lastPathComponent(), b->lastPathComponent());
    });
    return subNodes_;
}

void FSNodeInfo::invalidateChildren() {
    for (const Ptr& child : subNodes_)
        child->parentNode_ = nullptr;
    subNodes_.clear();
    childrenBuilt_ = false;
}

void FSNodeInfo::detachDelegate() {
    delegate_ = nullptr;
    for (const Ptr& child : subNodes_)
        child->detachDelegate();
}

std::string FSNodeInfo::imageSubtitle() const {
    std::string ext = fullURL_.extension().string();
    return ext.empty() ? ext : ext.substr(1);
}

int FSNodeInfo::imageVersion() const {
    if (!delegate_) return 0;
    const std::optional<QImage> cached = delegate_->masterIconCache()->object(cacheKey());
    return cached && !cached->isNull() ? 1 : 0;
}

std::string FSNodeInfo::returnSize() const {
    static const char* const kFormats[] = {"%1.0f B", "%1.1f KB", "%1.1f MB", "%1.1f GB", "%1.1f TB"};
    double value = double(fileSize_);
    size_t unit = 0;
    while (value >= 1023 && unit + 1 < std::size(kFormats)) {
        value /= 1024;
        ++unit;
    }
    char text[64];
    std::snprintf(text, sizeof text, kFormats[unit], value);
    return text;
}

std::shared_ptr<Thumbnailer> FSNodeInfo::thumbnailerToUse() const {
    return delegate_ ? delegate_->thumbnailer() : sharedDefaultThumbnailer();
}

QImage FSNodeInfo::iconImageOfSize(QSize size) {
    if (!nodeImage_.isNull()) return nodeImage_;
    QImage image = imageWithPreviewOfFileAtPath(fullURL_, false, kThumbnailSize);
    if (image.isNull()) image = GetFinderThumbnailImage(fullURL_, kThumbnailSize, true);
    if (!size.isEmpty()) image = fittedTo(image, size);
    if (isLink_) image = withLinkBadge(image);
    nodeImage_ = image;
    return nodeImage_;
}

QImage FSNodeInfo::imageWithPreviewOfFileAtPath(const fs::path& url, bool asIcon, QSize size) {
    if (url.empty() || !cachedImage_.isNull()) return cachedImage_;
    if (!delegate_) {
        cachedImage_ = GetQLThumbnailImage(url, size, asIcon);
        if (cachedImage_.isNull()) cachedImage_ = GetFinderThumbnailImage(url, size, asIcon);
        return cachedImage_;
    }
    const std::shared_ptr<ThumbnailCache> cache = delegate_->masterIconCache();
    const ThumbnailKey key = cacheKey();
    if (const std::optional<QImage> cached = cache->object(key)) {
        // A null entry says the file has no thumbnail: its icon, and no second attempt.
        cachedImage_ = cached->isNull() ? GetFinderThumbnailImage(url, size, asIcon) : *cached;
        return cachedImage_;
    }
    cachedImage_ = GetFinderThumbnailImage(url, size, asIcon);
    std::weak_ptr<FSNodeInfo> weak = weak_from_this();
    std::shared_ptr<Thumbnailer> thumbnailer = delegate_->thumbnailer();
    delegate_->iconProcessingQueue().async([weak, cache, thumbnailer, url, size, key] {
        if (weak.expired()) return; // the folder changed before its turn came
        QImage image = thumbnailer->thumbnail(url, size);
        cache->setObject(image, key);
        if (image.isNull()) return;
        platform::MainQueue::shared().async([weak, image = std::move(image)] {
            const Ptr node = weak.lock();
            if (!node) return;
            node->setCachedImage(image);
            node->clearNodeImage();
            if (node->delegate_) node->delegate_->iconDidChange(*node);
        });
    });
    return cachedImage_;
}

QImage FSNodeInfo::GetQLThumbnailImage(const fs::path& url, QSize size, bool /*asIcon*/) {
    return thumbnailerToUse()->thumbnail(url, size);
}

QImage FSNodeInfo::GetFinderThumbnailImage(const fs::path& url, QSize size, bool /*asIcon*/) {
    const std::shared_ptr<Thumbnailer> thumbnailer = thumbnailerToUse();
    QImage icon = thumbnailer->fileIcon(url, size);
    if (icon.isNull()) icon = thumbnailer->typeIcon(imageSubtitle(), size);
    if (icon.isNull()) icon = isDirectory_ ? defaultFolderImage(size) : defaultFileImage(size);
    return icon;
}

} // namespace browser
