#pragma once
// Engine bitmaps as images for the screen. The display shows sRGB: pixels are matched
// from the bitmap's colour space into 8-bit sRGB once, when a tile arrives, so painting
// only copies them.
#include <QImage>

#include "platform/Bitmap.h"

// A copy of the bitmap's pixels in sRGB, ARGB32 (premultiplied when the bitmap's alpha is);
// null for a layout without a colour-matching form (see bitmapView).
QImage displayImage(const platform::Bitmap& bitmap);

// The bitmap's own pixels seen as a QImage, without copying: valid only while the bitmap
// lives. Null for layouts Qt has no format for (alpha first, big-endian samples).
QImage bitmapView(const platform::Bitmap& bitmap);
// The same over pixels that may be painted on (a bitmap with pixels of its own).
QImage mutableBitmapView(platform::Bitmap& bitmap);
