#include "platform/CropFilter.h"

namespace platform {

namespace {

// Core Image's "everything" rectangle.
constexpr double kHuge = 1.79769e308;

} // namespace

CropFilter::CropFilter()
    : ImageFilter(
          {FilterAttribute::image(kInputImage),
           FilterAttribute::vector(kInputRectangle, makeVector({-kHuge / 2, -kHuge / 2, kHuge, kHuge}))}) {}

Image::Ptr CropFilter::computeOutput(const Image& input) {
    const auto requested = rectFromVector(value(kInputRectangle));
    if (!requested) return nullptr;
    const Rect area = input.clippedArea(*requested);
    if (area.isEmpty()) return nullptr;
    const Bitmap& source = *input.bitmap();
    BitmapLayout layout = source.layout();
    layout.width = size_t(area.width);
    layout.height = size_t(area.height);
    const auto* first =
        reinterpret_cast<const uint8_t*>(input.pixel(int64_t(area.x), int64_t(area.maxY() - 1)));
    auto view = Bitmap::createView(layout, first, input.bitmap(), source.colorSpace());
    return Image::create(std::move(view), area);
}

} // namespace platform
