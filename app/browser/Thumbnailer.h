#pragma once
// Thumbnails and icons of the browser's files. The model asks through this interface, so it
// and its tests run with a fake; DefaultThumbnailer is the real one.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

#include <QImage>
#include <QSize>

namespace browser {

class Thumbnailer {
  public:
    virtual ~Thumbnailer() = default;
    // The file's real thumbnail fitting `size`, or a null image when there is none. Runs on
    // the icon queue, one file at a time.
    virtual QImage thumbnail(const std::filesystem::path& file, QSize size) = 0;
    // The desktop's icon for the file (folders included), or for files of the extension;
    // null when the icon theme has none. Main thread.
    virtual QImage fileIcon(const std::filesystem::path& file, QSize size) = 0;
    virtual QImage typeIcon(std::string_view extension, QSize size) = 0;
};

// Thumbnails from the camera's embedded JPEG preview for raw extensions (the sensor data
// developed at half size when the file has no preview), from a Photo CD source for "pcd"
// when one is given, and from Qt's image readers for every other image.
class DefaultThumbnailer : public Thumbnailer {
  public:
    // Decodes a Photo CD file at its smallest level; null when it cannot.
    using PhotoCdSource = std::function<QImage(const std::filesystem::path&)>;

    DefaultThumbnailer();
    void setPhotoCdSource(PhotoCdSource source) { photoCd_ = std::move(source); }

    QImage thumbnail(const std::filesystem::path& file, QSize size) override;
    QImage fileIcon(const std::filesystem::path& file, QSize size) override;
    QImage typeIcon(std::string_view extension, QSize size) override;

  private:
    PhotoCdSource photoCd_;
};

// The raw file's embedded preview, decoded at the smallest scale whose longer side still
// reaches `minimumSide` and turned by the file's orientation; null when it has none.
QImage embeddedPreviewThumbnail(const std::filesystem::path& file, int minimumSide = 128);
// The sensor data developed at half size, for a raw file without a preview; null when the
// decoder cannot develop it.
QImage reducedDecodeThumbnail(const std::filesystem::path& file);
// A JPEG stream decoded that way; `orientation` is the decoder's code (raw/wrapper/EmbeddedPreview.h).
QImage decodePreviewJpeg(std::span<const uint8_t> jpeg, int minimumSide, int orientation);
QImage orientedImage(const QImage& image, int orientation);
// A Photo CD image pack at its smallest level, through the Photo CD image wrapper.
QImage photoCdThumbnail(const std::filesystem::path& file);
// Any image Qt reads, decoded at a size fitting `size` (the reader scales while it decodes
// where the format allows), turned by its own orientation tag.
QImage imageReaderThumbnail(const std::filesystem::path& file, QSize size);

} // namespace browser
