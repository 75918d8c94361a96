#include "app/browser/Thumbnailer.h"

#include <QAbstractFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QMimeDatabase>
#include <algorithm>
#include <turbojpeg.h>

#include "app/browser/BrowserImages.h"
#include "app/core/AppTables.h"
#include "raw/wrapper/EmbeddedPreview.h"
#include "raw/wrapper/ReducedDecode.h"

namespace browser {
namespace {

QString qstr(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

std::string lowerExtension(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

QImage iconImage(const QIcon& icon, QSize size) {
    if (icon.isNull()) return {};
    return icon.pixmap(size.isEmpty() ? QSize(128, 128) : size).toImage();
}

// The smallest of libjpeg-turbo's DCT scales whose longer side is at least `minimumSide`;
// the full size when even that is smaller.
tjscalingfactor scaleFor(int width, int height, int minimumSide) {
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    tjscalingfactor best{1, 1};
    int bestSide = std::max(width, height);
    for (int i = 0; factors && i < count; ++i) {
        const int side = std::max(TJSCALED(width, factors[i]), TJSCALED(height, factors[i]));
        if (side >= minimumSide && side < bestSide) {
            best = factors[i];
            bestSide = side;
        }
    }
    return best;
}

} // namespace

QImage orientedImage(const QImage& image, int orientation) {
    if (image.isNull() || (orientation & 7) == 0) return image;
    QImage turned = image.mirrored(orientation & 1, orientation & 2);
    if (!(orientation & 4)) return turned;
    turned = turned.convertToFormat(QImage::Format_RGB32);
    QImage swapped(turned.height(), turned.width(), QImage::Format_RGB32);
    for (int y = 0; y < swapped.height(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(swapped.scanLine(y));
        for (int x = 0; x < swapped.width(); ++x)
            out[x] = reinterpret_cast<const QRgb*>(turned.constScanLine(x))[y];
    }
    return swapped;
}

QImage decodePreviewJpeg(std::span<const uint8_t> jpeg, int minimumSide, int orientation) {
    if (jpeg.empty()) return {};
    tjhandle handle = tjInitDecompress();
    if (!handle) return {};
    QImage result;
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    auto* data = const_cast<unsigned char*>(jpeg.data());
    const unsigned long length = static_cast<unsigned long>(jpeg.size());
    if (tjDecompressHeader3(handle, data, length, &width, &height, &subsampling, &colourspace) == 0 &&
        width > 0 && height > 0 && width <= 65535 && height <= 65535) {
        const tjscalingfactor scale = scaleFor(width, height, minimumSide);
        QImage decoded(TJSCALED(width, scale), TJSCALED(height, scale), QImage::Format_RGB888);
        // A damaged stream may still give most of the picture: only an outright failure counts.
        if (!decoded.isNull()) {
            decoded.fill(Qt::gray); // what a stream that ends early leaves undrawn
            const int rc =
                tjDecompress2(handle, data, length, decoded.bits(), decoded.width(),
                              int(decoded.bytesPerLine()), decoded.height(), TJPF_RGB, TJFLAG_FASTDCT);
            if (rc == 0 || tjGetErrorCode(handle) == TJERR_WARNING)
                result = orientedImage(decoded, orientation);
        }
    }
    tjDestroy(handle);
    return result;
}

QImage embeddedPreviewThumbnail(const std::filesystem::path& file, int minimumSide) {
    const std::optional<raw::EmbeddedPreview> preview = raw::readEmbeddedPreview(file);
    if (!preview) return {};
    return decodePreviewJpeg(preview->jpeg, minimumSide, preview->orientation);
}

QImage reducedDecodeThumbnail(const std::filesystem::path& file) {
    const std::optional<raw::ReducedImage> reduced = raw::decodeReduced(file);
    if (!reduced || reduced->width <= 0 || reduced->height <= 0) return {};
    const QImage view(reduced->rgb.data(), reduced->width, reduced->height, reduced->width * 3,
                      QImage::Format_RGB888);
    return view.copy(); // the view does not own the bytes
}

QImage imageReaderThumbnail(const std::filesystem::path& file, QSize size) {
    QImageReader reader(qstr(file));
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid() && !size.isEmpty() && (full.width() > size.width() || full.height() > size.height()))
        reader.setScaledSize(full.scaled(size, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    return fittedTo(image, size);
}

DefaultThumbnailer::DefaultThumbnailer() : photoCd_(photoCdThumbnail) {}

QImage DefaultThumbnailer::thumbnail(const std::filesystem::path& file, QSize size) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return {};
    const std::string ext = lowerExtension(file);
    if (ext == "pcd") {
        if (photoCd_) return fittedTo(photoCd_(file), size);
        return {};
    }
    if (app::isRawExtension(ext)) {
        QImage preview = embeddedPreviewThumbnail(file, std::max(size.width(), size.height()));
        if (preview.isNull()) preview = reducedDecodeThumbnail(file);
        return fittedTo(preview, size);
    }
    return imageReaderThumbnail(file, size);
}

QImage DefaultThumbnailer::fileIcon(const std::filesystem::path& file, QSize size) {
    QAbstractFileIconProvider provider;
    return iconImage(provider.icon(QFileInfo(qstr(file))), size);
}

QImage DefaultThumbnailer::typeIcon(std::string_view extension, QSize size) {
    if (extension.empty()) return {};
    const QMimeType type = QMimeDatabase().mimeTypeForFile(
        QStringLiteral("x.") + QString::fromUtf8(extension.data(), qsizetype(extension.size())),
        QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
    return iconImage(icon, size);
}

} // namespace browser
