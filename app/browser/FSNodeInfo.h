#pragma once
// One file or folder of the browser: its attributes, whether the browser shows it, its
// visible children, and the image its grid cell shows (an icon at once, the real thumbnail
// later from the delegate's icon queue).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <QSize>

#include "app/browser/ThumbnailCache.h"

namespace platform {
class SerialQueue;
}

namespace browser {

class FSNodeInfo;
class Thumbnailer;

class FSNodeInfoDelegate {
  public:
    virtual ~FSNodeInfoDelegate() = default;
    // The node's thumbnail arrived (main thread).
    virtual void iconDidChange(FSNodeInfo& node) = 0;
    virtual std::shared_ptr<ThumbnailCache> masterIconCache() = 0;
    virtual platform::SerialQueue& iconProcessingQueue() = 0;
    virtual std::shared_ptr<Thumbnailer> thumbnailer() = 0;
};

// "BrowserFileSelect": 0 raw files only, 1 also every image type Qt reads, 2 and above every
// file. Folders always pass.
bool isImageFile(const std::filesystem::path& file, bool isDirectory, int64_t fileSelect);
// Whether Qt has an image reader for the file's type, judged by its name.
bool isReadableImageType(const std::filesystem::path& file);
// The user's Pictures folder: the browser lists no subfolders there.
std::filesystem::path picturesFolder();

class FSNodeInfo : public std::enable_shared_from_this<FSNodeInfo> {
  public:
    using Ptr = std::shared_ptr<FSNodeInfo>;
    static constexpr QSize kThumbnailSize{128, 128};

    // initWithURL:doNotRecurse:
    static Ptr create(std::filesystem::path url, std::vector<std::filesystem::path> doNotRecurse);
    // initWithParent:atRelativePath: (a node of the name alone without a parent)
    static Ptr create(FSNodeInfo* parent, const std::string& name);

    bool isImageFile() const;
    bool isVisible() const;
    // Built on first use, sorted by name, kept until invalidateChildren().
    const std::vector<Ptr>& subNodes();
    void invalidateChildren();

    bool isLink() const { return isLink_; }
    bool isDirectory() const { return isDirectory_; }
    bool isReadable() const { return isReadable_; }
    const std::filesystem::path& getURL() const { return fullURL_; }
    std::string lastPathComponent() const { return fullURL_.filename().string(); }
    std::string absolutePath() const { return fullURL_.string(); }
    const std::vector<std::filesystem::path>& doNotRecurse() const { return noRecurse_; }
    FSNodeInfo* parentNode() const { return parentNode_; }
    uint64_t fileSize() const { return fileSize_; }
    int64_t modificationDate() const { return modificationDate_; }
    FSNodeInfoDelegate* delegate() const { return delegate_; }
    void setDelegate(FSNodeInfoDelegate* delegate) { delegate_ = delegate; }
    // Clears the delegate of this node and of every child built so far.
    void detachDelegate();
    const QImage& cachedImage() const { return cachedImage_; }
    void setCachedImage(QImage image) { cachedImage_ = std::move(image); }
    // The key of this version of the file in the thumbnail cache.
    ThumbnailKey cacheKey() const { return {absolutePath(), fileSize_, modificationDate_}; }

    // Grid item: the cell's image, identity, title (name without extension), subtitle
    // (extension), and version (1 once the cache holds the thumbnail, so the cell redraws).
    QImage imageRepresentation() { return iconImageOfSize(QSize()); }
    std::string imageUID() const { return absolutePath(); }
    std::string imageTitle() const { return fullURL_.stem().string(); }
    std::string imageSubtitle() const;
    int imageVersion() const;
    bool isSelectable() const { return true; }
    bool isDraggable() const { return isVisible(); }
    std::string fsType() const { return isDirectory_ ? "Directory" : "Non-Directory"; }
    // "%1.0f B" up to "%1.1f TB", dividing by 1024 while the value is 1023 or more.
    std::string returnSize() const;

    QImage iconImageOfSize(QSize size);
    QImage imageWithPreviewOfFileAtPath(const std::filesystem::path& url, bool asIcon, QSize size);
    QImage GetQLThumbnailImage(const std::filesystem::path& url, QSize size, bool asIcon);
    QImage GetFinderThumbnailImage(const std::filesystem::path& url, QSize size, bool asIcon);
    // Forgets the image handed out, so the next request builds it from the cached thumbnail.
    void clearNodeImage() { nodeImage_ = QImage(); }

  private:
    FSNodeInfo() = default;
    void readAttributes();
    bool isDoNotRecurseFolder() const;
    std::shared_ptr<Thumbnailer> thumbnailerToUse() const;

    FSNodeInfoDelegate* delegate_ = nullptr;
    FSNodeInfo* parentNode_ = nullptr;
    std::filesystem::path fullURL_;
    bool isLink_ = false;
    bool isDirectory_ = false;
    bool isReadable_ = false;
    bool childrenBuilt_ = false;
    std::vector<Ptr> subNodes_;
    uint64_t fileSize_ = 0;
    int64_t modificationDate_ = 0;
    QImage nodeImage_;
    std::vector<std::filesystem::path> noRecurse_;
    QImage cachedImage_;
};

// Without a delegate, nodes make their thumbnails with this one (DefaultThumbnailer).
std::shared_ptr<Thumbnailer> sharedDefaultThumbnailer();

} // namespace browser
