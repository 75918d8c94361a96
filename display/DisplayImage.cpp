#include "display/DisplayImage.h"

#include <QColorSpace>
#include <lcms2.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "color/BuiltinProfiles.h"
#include "platform/Log.h"

namespace bi = platform::bitmap_info;

namespace {

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "ARGB32 is B, G, R, A in memory on this host");

struct Layout {
    uint32_t bits = 0; // per component
    bool isFloat = false;
    bool little = false; // sample byte order
    uint32_t alpha = 0;
};

Layout readLayout(const platform::Bitmap& bitmap) {
    const uint32_t info = bitmap.bitmapInfo();
    const uint32_t order = info & bi::kByteOrderMask;
    Layout layout{uint32_t(bitmap.bitsPerComponent()), (info & bi::kFloatComponents) != 0, false,
                  info & bi::kAlphaInfoMask};
    layout.little = order == bi::kByteOrder16Little || order == bi::kByteOrder32Little;
    if (bitmap.bitsPerPixel() != 4 * bitmap.bitsPerComponent()) layout.bits = 0;
    return layout;
}

bool alphaLast(uint32_t alpha) {
    return alpha == bi::kAlphaPremultipliedLast || alpha == bi::kAlphaLast || alpha == bi::kAlphaNoneSkipLast;
}

// Little CMS's description of the four samples of a pixel, alpha last. Premultiplied
// samples go through as they are: the engine's tiles are opaque, where premultiplying
// changes nothing (and Little CMS 2.14 mishandles premultiplied 16-bit samples).
std::optional<cmsUInt32Number> inputFormat(const Layout& l) {
    if (!alphaLast(l.alpha)) return std::nullopt;
    if (l.bits == 8 && !l.isFloat) return TYPE_RGBA_8;
    if (l.bits == 16 && !l.isFloat) return l.little ? TYPE_RGBA_16 : TYPE_RGBA_16_SE;
    if (l.bits == 32 && l.isFloat && l.little) return TYPE_RGBA_FLT;
    return std::nullopt;
}

bool premultiplied(const Layout& l) { return l.alpha == bi::kAlphaPremultipliedLast; }

using Transform = std::shared_ptr<void>;

struct ProfileCloser {
    void operator()(void* p) const {
        if (p) cmsCloseProfile(p);
    }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

Profile openSource(const platform::ColorSpace* space) {
    using Kind = platform::ColorSpace::Kind;
    if (space && space->kind() == Kind::ICC && !space->iccData().empty()) {
        const auto& icc = space->iccData();
        if (Profile p{cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()))}) return p;
        LV_LOG("%s unreadable profile \"%s\", shown as sRGB", __PRETTY_FUNCTION__, space->name().c_str());
    }
    if (space && space->kind() == Kind::GenericLinearRGB) {
        const auto bytes = BuiltinProfiles::linearRGB();
        return Profile{cmsOpenProfileFromMem(bytes.data(), cmsUInt32Number(bytes.size()))};
    }
    return Profile{cmsCreate_sRGBProfile()};
}

// The profile's bytes, or the name of a named space.
std::string spaceKey(const platform::ColorSpace* space) {
    using Kind = platform::ColorSpace::Kind;
    if (space && space->kind() == Kind::ICC) return {space->iccData().begin(), space->iccData().end()};
    return space && space->kind() == Kind::GenericLinearRGB ? "linear" : "sRGB";
}

// Transforms are made once per source space and pixel format, and shared by the threads
// that convert tiles (made without Little CMS's pixel cache, so they may be).
Transform transformFor(const platform::ColorSpace* space, cmsUInt32Number format) {
    static std::mutex lock;
    static auto* cache = new std::map<std::pair<cmsUInt32Number, std::string>, Transform>();
    constexpr size_t kMaxTransforms = 32;
    auto key = std::make_pair(format, spaceKey(space));
    std::lock_guard guard(lock);
    if (auto found = cache->find(key); found != cache->end()) return found->second;
    Profile source = openSource(space);
    Profile sRGB{cmsCreate_sRGBProfile()};
    if (!source || !sRGB) return nullptr;
    void* made = cmsCreateTransform(source.get(), format, sRGB.get(), TYPE_BGRA_8, INTENT_PERCEPTUAL,
                                    cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA);
    if (!made) {
        LV_LOG("%s no transform from \"%s\" to sRGB", __PRETTY_FUNCTION__,
               space ? space->name().c_str() : "");
        return nullptr;
    }
    Transform transform(made, [](void* t) { cmsDeleteTransform(t); });
    if (cache->size() >= kMaxTransforms) cache->clear();
    cache->emplace(std::move(key), transform);
    return transform;
}

QImage::Format qtFormat(const platform::Bitmap& bitmap) {
    const Layout l = readLayout(bitmap);
    if (!alphaLast(l.alpha)) return QImage::Format_Invalid;
    const int alpha = l.alpha == bi::kAlphaPremultipliedLast ? 0 : l.alpha == bi::kAlphaLast ? 1 : 2;
    if (l.bits == 8 && !l.isFloat) {
        const QImage::Format f[] = {QImage::Format_RGBA8888_Premultiplied, QImage::Format_RGBA8888,
                                    QImage::Format_RGBX8888};
        return f[alpha];
    }
    if (l.bits == 16 && !l.isFloat && l.little) {
        const QImage::Format f[] = {QImage::Format_RGBA64_Premultiplied, QImage::Format_RGBA64,
                                    QImage::Format_RGBX64};
        return f[alpha];
    }
    if (l.bits == 32 && l.isFloat && l.little) {
        const QImage::Format f[] = {QImage::Format_RGBA32FPx4_Premultiplied, QImage::Format_RGBA32FPx4,
                                    QImage::Format_RGBX32FPx4};
        return f[alpha];
    }
    return QImage::Format_Invalid;
}

// The engine's tiles are monochrome and must look it: matching into the screen's space
// leaves a grey's channels a level apart now and then, so every pixel that was grey takes
// its matched green in red and blue too. Samples are compared as bytes, whatever their
// type and order.
void keepGreysGrey(const platform::Bitmap& bitmap, QImage& image) {
    const size_t sample = size_t(bitmap.bitsPerComponent()) / 8, pixel = 4 * sample;
    for (int y = 0; y < image.height(); ++y) {
        const uint8_t* in = bitmap.data() + size_t(y) * bitmap.bytesPerRow();
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x, in += pixel)
            if (std::memcmp(in, in + sample, sample) == 0 && std::memcmp(in, in + 2 * sample, sample) == 0) {
                const int g = qGreen(out[x]);
                out[x] = qRgba(g, g, g, qAlpha(out[x]));
            }
    }
}

// The general way, for profiles Qt cannot read: exact, but an order of magnitude slower.
QImage matchedByLittleCms(const platform::Bitmap& bitmap) {
    const Layout layout = readLayout(bitmap);
    const auto format = inputFormat(layout);
    if (!format) return {};
    Transform transform = transformFor(bitmap.colorSpace().get(), *format);
    if (!transform) return {};
    QImage image(int(bitmap.width()), int(bitmap.height()),
                 premultiplied(layout) ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
    if (image.isNull()) return {};
    cmsDoTransformLineStride(transform.get(), bitmap.data(), image.bits(), cmsUInt32Number(bitmap.width()),
                             cmsUInt32Number(bitmap.height()), cmsUInt32Number(bitmap.bytesPerRow()),
                             cmsUInt32Number(image.bytesPerLine()), 0, 0);
    if (layout.alpha == bi::kAlphaNoneSkipLast) // the fourth sample was padding, not alpha
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] |= 0xff000000u;
        }
    keepGreysGrey(bitmap, image);
    return image;
}

// Qt reads matrix-and-curve profiles, the kind the engine renders into, and matches them
// through tables, many times faster than a general transform. None for other profiles.
std::optional<QColorSpace> qtColorSpace(const platform::ColorSpace* space) {
    using Kind = platform::ColorSpace::Kind;
    if (!space || space->kind() == Kind::SRGB) return QColorSpace(QColorSpace::SRgb);
    static std::mutex lock;
    static auto* cache = new std::map<std::string, QColorSpace>();
    std::lock_guard guard(lock);
    auto key = spaceKey(space);
    auto found = cache->find(key);
    if (found == cache->end()) {
        const auto bytes =
            space->kind() == Kind::GenericLinearRGB ? BuiltinProfiles::linearRGB() : space->iccData();
        const QColorSpace read = QColorSpace::fromIccProfile(
            QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
        found = cache->emplace(std::move(key), read).first;
    }
    if (!found->second.isValid()) return std::nullopt;
    return found->second;
}

} // namespace

QImage displayImage(const platform::Bitmap& bitmap) {
    if (!bitmap.data() || bitmap.width() == 0 || bitmap.height() == 0) return {};
    QImage view = bitmapView(bitmap);
    const auto space = view.isNull() ? std::nullopt : qtColorSpace(bitmap.colorSpace().get());
    if (!space) return matchedByLittleCms(bitmap);
    view.setColorSpace(*space);
    const QImage sRGB =
        *space == QColorSpace(QColorSpace::SRgb) ? view : view.convertedToColorSpace(QColorSpace::SRgb);
    const Layout layout = readLayout(bitmap);
    const QImage::Format format = layout.alpha == bi::kAlphaNoneSkipLast ? QImage::Format_RGB32
                                  : premultiplied(layout)                ? QImage::Format_ARGB32_Premultiplied
                                                                         : QImage::Format_ARGB32;
    QImage image = sRGB.convertToFormat(format);
    if (image.constBits() == view.constBits()) image = image.copy(); // never the bitmap's own pixels
    keepGreysGrey(bitmap, image);
    return image;
}

QImage bitmapView(const platform::Bitmap& bitmap) {
    const QImage::Format format = qtFormat(bitmap);
    if (format == QImage::Format_Invalid || !bitmap.data()) return {};
    return QImage(bitmap.data(), int(bitmap.width()), int(bitmap.height()), qsizetype(bitmap.bytesPerRow()),
                  format);
}

QImage mutableBitmapView(platform::Bitmap& bitmap) {
    const QImage::Format format = qtFormat(bitmap);
    if (format == QImage::Format_Invalid || !bitmap.mutableData()) return {};
    return QImage(bitmap.mutableData(), int(bitmap.width()), int(bitmap.height()),
                  qsizetype(bitmap.bytesPerRow()), format);
}
