#include "color/ColorMatchTransform.h"

#include <cmath>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include <lcms2.h>

#include "color/IccProfileData.h"
#include "color/MatrixShaperTransform.h"
#include "engine/core/ImageBuffer.h"
#include "platform/DispatchGroup.h"
#include "platform/Log.h"
#include "platform/ParallelRows.h"

namespace {

struct ProfileHandle {
    cmsHPROFILE profile = nullptr;
    ~ProfileHandle() {
        if (profile) cmsCloseProfile(profile);
    }
};

// Rows per task: enough work to outweigh the scheduling.
constexpr size_t kRowsPerBand = 16;

struct TransformDelete {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using TransformHandle = std::unique_ptr<void, TransformDelete>;

// The matrix/shaper shortcut is taken only when it gives Little CMS's own float results
// on a grid of colours, in range and beyond it, so a profile whose adaptation Little CMS
// handles in a way the shortcut does not model keeps the slow, right answer.
constexpr float kTolerance = 1e-5f;
// Little CMS evaluates tabulated curves on 16-bit codes even in float, so a value near a
// code boundary may land one code away.
constexpr float kTableStep = 1.0f / 65535.0f;

bool agreesWithLittleCMS(const color_detail::MatrixShaperTransform& fast, cmsHTRANSFORM reference) {
    const float levels[] = {0.0f, 1e-4f, 0.003f, 0.04f, 0.18f, 0.5f, 0.9f, 1.0f, 1.7f};
    std::vector<float> expected, actual;
    for (float r : levels)
        for (float g : levels)
            for (float b : levels)
                expected.insert(expected.end(), {r, g, b, 1.0f});
    actual = expected;
    const size_t count = expected.size() / 4;
    cmsDoTransform(reference, expected.data(), expected.data(), cmsUInt32Number(count));
    fast.convertFloat(actual.data(), count, reference);
    for (size_t i = 0; i < expected.size(); ++i)
        if (!(std::fabs(actual[i] - expected[i]) <= kTolerance * std::fabs(expected[i]) + kTableStep))
            return false;
    return true;
}

// Without a cache: the transform is shared by the row bands.
TransformHandle lcmsTransform(cmsHPROFILE profiles[2], cmsUInt32Number intents[2], cmsUInt32Number format) {
    cmsBool bpc[2] = {FALSE, FALSE};
    cmsFloat64Number adaptation[2] = {1.0, 1.0};
    return TransformHandle(cmsCreateExtendedTransform(nullptr, 2, profiles, bpc, intents, adaptation, nullptr,
                                                      0, format, format,
                                                      cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA));
}

// A float transform between the profiles, for the checks below: the conversion's own when
// it is a float one.
TransformHandle floatTransform(cmsHPROFILE profiles[2], cmsUInt32Number intents[2]) {
    return lcmsTransform(profiles, intents, TYPE_RGBA_FLT);
}

// Whether the conversion means greys to stay grey: the profiles' white points are joined
// (every intent but absolute colorimetry between different whites), and only the
// fixed-point colorants leave a grey's channels up to a few 1e-5 apart.
constexpr float kGreyDrift = 1e-3f;

bool greysStayGrey(cmsHTRANSFORM floatTransform) {
    std::vector<float> greys;
    for (float v : {0.01f, 0.18f, 0.5f, 1.0f})
        greys.insert(greys.end(), {v, v, v, 1.0f});
    cmsDoTransform(floatTransform, greys.data(), greys.data(), cmsUInt32Number(greys.size() / 4));
    for (size_t i = 0; i < greys.size(); i += 4) {
        const float g = greys[i + 1];
        if (!(g > 0) || !(std::fabs(greys[i] - g) <= kGreyDrift * g) ||
            !(std::fabs(greys[i + 2] - g) <= kGreyDrift * g))
            return false;
    }
    return true;
}

// Grey pixels of `count` RGBA samples of type T, before a conversion in place.
template <class T> void markGreys(const T* rgba, size_t count, std::vector<uint8_t>& grey) {
    grey.resize(count);
    for (size_t i = 0; i < count; ++i, rgba += 4)
        grey[i] = rgba[0] == rgba[1] && rgba[1] == rgba[2];
}

template <class T> void copyGreen(T* rgba, const std::vector<uint8_t>& grey) {
    for (size_t i = 0; i < grey.size(); ++i, rgba += 4)
        if (grey[i]) rgba[0] = rgba[2] = rgba[1];
}

} // namespace

std::unique_ptr<ColorMatchTransform>
ColorMatchTransform::create(ColorSyncProfileWrap& source, ColorSyncProfileWrap& destination, Depth depth) {
    icc::installErrorHandler();
    auto srcBytes = source.csRef(), destBytes = destination.csRef();
    if (!srcBytes || !destBytes || source.spaceType() != ColorSyncProfileWrap::kSpaceRGB ||
        destination.spaceType() != ColorSyncProfileWrap::kSpaceRGB) {
        LV_LOG("%s profiles without RGB data: \"%s\" to \"%s\"", __PRETTY_FUNCTION__,
               source.description().c_str(), destination.description().c_str());
        return nullptr;
    }
    ProfileHandle src{cmsOpenProfileFromMem(srcBytes->data(), cmsUInt32Number(srcBytes->size()))};
    ProfileHandle dest{cmsOpenProfileFromMem(destBytes->data(), cmsUInt32Number(destBytes->size()))};
    if (!src.profile || !dest.profile) return nullptr;
    cmsHPROFILE profiles[2] = {src.profile, dest.profile};
    cmsUInt32Number intents[2] = {source.renderingIntent(), destination.renderingIntent()};
    const bool isFloat = depth == Depth::Float32;

    // Little CMS's float transform (the conversion itself at float depth, else the reference
    // the shortcut is checked against) and the shortcut's tables are each mostly inverting
    // the destination's curves: they are made side by side, the tables from profiles of
    // their own, so that no Little CMS profile object is shared between threads.
    std::unique_ptr<color_detail::MatrixShaperTransform> fast;
    TransformHandle floatHandle;
    {
        platform::ConcurrentQueue* queue = platform::ConcurrentQueue::current();
        platform::DispatchGroup group(queue ? *queue : platform::ConcurrentQueue::shared());
        group.async([&] {
            ProfileHandle s{cmsOpenProfileFromMem(srcBytes->data(), cmsUInt32Number(srcBytes->size()))};
            ProfileHandle d{cmsOpenProfileFromMem(destBytes->data(), cmsUInt32Number(destBytes->size()))};
            if (s.profile && d.profile)
                fast = color_detail::MatrixShaperTransform::create(s.profile, d.profile, intents[1]);
        });
        floatHandle = floatTransform(profiles, intents);
        group.wait();
    }
    if (fast && !(floatHandle && agreesWithLittleCMS(*fast, floatHandle.get()))) {
        if (floatHandle)
            LV_LOG("%s matrix/shaper tables disagree with Little CMS; converting with it",
                   __PRETTY_FUNCTION__);
        fast.reset();
    }
    const bool greys = floatHandle && greysStayGrey(floatHandle.get());
    if (fast && greys) fast->keepGreysGrey();

    // The 16-bit shortcut converts without Little CMS, so its transform is made only when
    // Little CMS converts the pixels.
    TransformHandle transform;
    if (isFloat)
        transform = std::move(floatHandle);
    else if (!fast)
        transform = lcmsTransform(profiles, intents, TYPE_RGBA_16);
    if (!transform && !fast) {
        LV_LOG("%s could not join \"%s\" to \"%s\"", __PRETTY_FUNCTION__, source.description().c_str(),
               destination.description().c_str());
        return nullptr;
    }
    return std::unique_ptr<ColorMatchTransform>(
        new ColorMatchTransform(transform.release(), depth, std::move(fast), greys));
}

ColorMatchTransform::ColorMatchTransform(void* transform, Depth depth,
                                         std::unique_ptr<color_detail::MatrixShaperTransform> fast,
                                         bool greys)
    : transform_(transform), depth_(depth), fast_(std::move(fast)), greys_(greys) {}

ColorMatchTransform::~ColorMatchTransform() {
    if (transform_) cmsDeleteTransform(transform_);
}

void ColorMatchTransform::convert(uint8_t* firstPixel, size_t width, size_t height, size_t rowBytes) const {
    if (!firstPixel || width == 0 || height == 0) return;
    platform::parallelRows(height, kRowsPerBand, [&](const platform::RowRange& rows) {
        uint8_t* first = firstPixel + rows.begin() * rowBytes;
        if (fast_)
            convertRows(first, width, rows.size(), rowBytes);
        else if (greys_)
            convertRowsKeepingGreys(first, width, rows.size(), rowBytes);
        else
            cmsDoTransformLineStride(transform_, first, first, cmsUInt32Number(width),
                                     cmsUInt32Number(rows.size()), cmsUInt32Number(rowBytes),
                                     cmsUInt32Number(rowBytes), 0, 0);
    });
}

// Little CMS row by row, each row's greys remembered before and made exact after.
void ColorMatchTransform::convertRowsKeepingGreys(uint8_t* first, size_t width, size_t rows,
                                                  size_t rowBytes) const {
    std::vector<uint8_t> grey;
    for (size_t row = 0; row < rows; ++row) {
        uint8_t* line = first + row * rowBytes;
        if (depth_ == Depth::Float32)
            markGreys(reinterpret_cast<const float*>(line), width, grey);
        else
            markGreys(reinterpret_cast<const uint16_t*>(line), width, grey);
        cmsDoTransform(transform_, line, line, cmsUInt32Number(width));
        if (depth_ == Depth::Float32)
            copyGreen(reinterpret_cast<float*>(line), grey);
        else
            copyGreen(reinterpret_cast<uint16_t*>(line), grey);
    }
}

void ColorMatchTransform::convertRows(uint8_t* first, size_t width, size_t rows, size_t rowBytes) const {
    for (size_t row = 0; row < rows; ++row) {
        uint8_t* line = first + row * rowBytes;
        if (depth_ == Depth::Float32)
            fast_->convertFloat(reinterpret_cast<float*>(line), width, transform_);
        else
            fast_->convert16(reinterpret_cast<uint16_t*>(line), width);
    }
}

// Display tiles and export strips convert one after another between the same profiles, and
// making a transform (Little CMS inverting tabulated curves, our tables) can cost more than
// converting a tile. Profiles are compared by their bytes, so a freed profile's address
// never finds another's transform.
std::shared_ptr<const ColorMatchTransform>
ColorMatchTransform::cached(ColorSyncProfileWrap& source, ColorSyncProfileWrap& destination, Depth depth) {
    struct Entry {
        std::shared_ptr<const ColorSyncProfileWrap::Bytes> source, destination;
        Depth depth;
        std::shared_ptr<const ColorMatchTransform> transform;
    };
    constexpr size_t kEntries = 8;
    static std::mutex lock;
    static std::deque<Entry> entries;
    auto srcBytes = source.csRef(), destBytes = destination.csRef();
    if (srcBytes && destBytes) {
        std::lock_guard guard(lock);
        for (const auto& e : entries)
            if (e.depth == depth && *e.source == *srcBytes && *e.destination == *destBytes)
                return e.transform;
    }
    std::shared_ptr<const ColorMatchTransform> transform = create(source, destination, depth);
    if (!transform) return nullptr;
    std::lock_guard guard(lock);
    entries.push_front({srcBytes, destBytes, depth, transform});
    if (entries.size() > kEntries) entries.pop_back();
    return transform;
}

bool ColorMatchTransform::convertBuffer(ImageBuffer& buffer,
                                        const std::shared_ptr<ColorSyncProfileWrap>& source,
                                        const std::shared_ptr<ColorSyncProfileWrap>& destination) {
    if (!source || !destination) return false;
    if (!buffer.bitmapData() || !buffer.bitmapData()->bytes()) return false;
    if (source != destination) {
        auto transform = cached(*source, *destination, buffer.isFloat() ? Depth::Float32 : Depth::UInt16);
        if (!transform) return false;
        transform->convert(buffer.pixelAddress(0, 0), buffer.imageWidth(), buffer.imageHeight(),
                           buffer.rowStepInBytes());
    }
    buffer.setBufferProfile(destination);
    return true;
}
