#include "color/ColorMatchTransform.h"

#include <lcms2.h>
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "color/IccProfileData.h"
#include "engine/core/ImageBuffer.h"
#include "platform/Log.h"

namespace {

struct ProfileHandle {
    cmsHPROFILE profile = nullptr;
    ~ProfileHandle() {
        if (profile) cmsCloseProfile(profile);
    }
};

// Rows per task: enough work to outweigh the scheduling.
constexpr size_t kRowsPerBand = 16;

} // namespace

std::unique_ptr<ColorMatchTransform> ColorMatchTransform::create(ColorSyncProfileWrap& source,
                                                                 ColorSyncProfileWrap& destination, Depth depth) {
    icc::installErrorHandler();
    auto srcBytes = source.csRef(), destBytes = destination.csRef();
    if (!srcBytes || !destBytes || source.spaceType() != ColorSyncProfileWrap::kSpaceRGB ||
        destination.spaceType() != ColorSyncProfileWrap::kSpaceRGB) {
        LV_LOG("%s profiles without RGB data: \"%s\" to \"%s\"", __PRETTY_FUNCTION__, source.description().c_str(),
               destination.description().c_str());
        return nullptr;
    }
    ProfileHandle src{cmsOpenProfileFromMem(srcBytes->data(), cmsUInt32Number(srcBytes->size()))};
    ProfileHandle dest{cmsOpenProfileFromMem(destBytes->data(), cmsUInt32Number(destBytes->size()))};
    if (!src.profile || !dest.profile) return nullptr;
    cmsHPROFILE profiles[2] = {src.profile, dest.profile};
    cmsBool bpc[2] = {FALSE, FALSE};
    cmsUInt32Number intents[2] = {source.renderingIntent(), destination.renderingIntent()};
    cmsFloat64Number adaptation[2] = {1.0, 1.0};
    const bool isFloat = depth == Depth::Float32;
    const cmsUInt32Number format = isFloat ? TYPE_RGBA_FLT : TYPE_RGBA_16;
    // No cache: the transform is shared by the row bands.
    cmsHTRANSFORM transform =
        cmsCreateExtendedTransform(nullptr, 2, profiles, bpc, intents, adaptation, nullptr, 0, format, format,
                                   cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA);
    if (!transform) {
        LV_LOG("%s could not join \"%s\" to \"%s\"", __PRETTY_FUNCTION__, source.description().c_str(),
               destination.description().c_str());
        return nullptr;
    }
    return std::unique_ptr<ColorMatchTransform>(new ColorMatchTransform(transform));
}

ColorMatchTransform::~ColorMatchTransform() { cmsDeleteTransform(transform_); }

void ColorMatchTransform::convert(uint8_t* firstPixel, size_t width, size_t height, size_t rowBytes) const {
    if (!firstPixel || width == 0 || height == 0) return;
    tbb::parallel_for(tbb::blocked_range<size_t>(0, height, kRowsPerBand), [&](const tbb::blocked_range<size_t>& rows) {
        uint8_t* first = firstPixel + rows.begin() * rowBytes;
        cmsDoTransformLineStride(transform_, first, first, cmsUInt32Number(width), cmsUInt32Number(rows.size()),
                                 cmsUInt32Number(rowBytes), cmsUInt32Number(rowBytes), 0, 0);
    });
}

bool ColorMatchTransform::convertBuffer(ImageBuffer& buffer, const std::shared_ptr<ColorSyncProfileWrap>& source,
                                        const std::shared_ptr<ColorSyncProfileWrap>& destination) {
    if (!source || !destination) return false;
    if (!buffer.bitmapData() || !buffer.bitmapData()->bytes()) return false;
    if (source != destination) {
        auto transform = create(*source, *destination, buffer.isFloat() ? Depth::Float32 : Depth::UInt16);
        if (!transform) return false;
        transform->convert(buffer.pixelAddress(0, 0), buffer.imageWidth(), buffer.imageHeight(),
                           buffer.rowStepInBytes());
    }
    buffer.setBufferProfile(destination);
    return true;
}
