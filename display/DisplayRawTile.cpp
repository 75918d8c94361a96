#include "display/DisplayRawTile.h"

#include "engine/core/BitmapImage.h"

std::shared_ptr<platform::Bitmap> DisplayRawTile::createResizedImage(const platform::Bitmap& image,
                                                                     QSize newSize, bool drawTransposed,
                                                                     bool smoothInterpolation) {
    if (newSize.isEmpty()) return nullptr;
    constexpr int kNone = 1, kHigh = 3;
    return BitmapImage::createResizedImageBitmap(image, {double(newSize.width()), double(newSize.height())},
                                                 drawTransposed, 1, smoothInterpolation ? kHigh : kNone);
}
