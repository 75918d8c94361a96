#include "app/browser/Thumbnailer.h"

#include <QImage>
#include <cstring>

#include "photocd/wrapper/PhotoCdImageWrapper.h"

namespace browser {

QImage photoCdThumbnail(const std::filesystem::path& file) {
    // The wrapper at its smallest level; the path is its identity.
    PhotoCdImageWrapper wrapper(file, file.string(), true);
    const std::shared_ptr<platform::Bitmap> rep = wrapper.getImageRep(nullptr);
    if (!rep) return {};
    namespace bi = platform::bitmap_info;
    const platform::BitmapLayout& l = rep->layout();
    const bool rgba16 = l.bitsPerComponent == 16 && l.bitsPerPixel == 64 &&
                        (l.bitmapInfo & bi::kByteOrderMask) != bi::kByteOrder16Big;
    if (!rgba16 || l.width == 0 || l.height == 0 || l.width > 65535 || l.height > 65535) return {};
    QImage image(int(l.width), int(l.height), QImage::Format_RGBX64);
    if (image.isNull()) return {};
    // Opaque for thumbnails: the alpha samples are all white.
    for (size_t row = 0; row < l.height; ++row)
        std::memcpy(image.scanLine(int(row)), rep->data() + row * l.bytesPerRow, l.width * 8);
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace browser
