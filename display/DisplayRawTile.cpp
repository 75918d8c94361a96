#include "display/DisplayRawTile.h"

#include <QPainter>

#include "display/DisplayImage.h"

std::shared_ptr<platform::Bitmap> DisplayRawTile::createResizedImage(const platform::Bitmap& image, QSize newSize,
                                                                     bool drawTransposed, bool smoothInterpolation) {
    const QImage source = bitmapView(image);
    if (source.isNull() || newSize.isEmpty()) return nullptr;
    platform::BitmapLayout layout = image.layout();
    layout.width = size_t(newSize.width());
    layout.height = size_t(newSize.height());
    layout.bytesPerRow = layout.width * (layout.bitsPerPixel / 8);
    auto canvas = platform::Bitmap::createOwned(layout, image.colorSpace());
    if (!canvas) return nullptr;
    QImage target = mutableBitmapView(*canvas);
    if (target.isNull()) return nullptr;
    const QSize drawn = drawTransposed ? newSize.transposed() : newSize;
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smoothInterpolation);
    // Drawn from the lower-left corner, as bitmap contexts with y upwards place it.
    painter.drawImage(QRectF(0, newSize.height() - drawn.height(), drawn.width(), drawn.height()), source);
    return canvas;
}
