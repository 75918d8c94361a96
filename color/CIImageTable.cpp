#include "color/CIImageTable.h"

#include <lcms2.h>

#include <algorithm>
#include <cstring>

#include "color/IccProfileData.h"
#include "platform/Log.h"

namespace {

constexpr int32_t kSpaceRGB = int32_t(fourCharCode("RGB "));
// Beyond this a side is a mistake rather than a table.
constexpr double kMaxSide = 4294967295.0;

bool pixelCount(double width, double height, uint64_t& columns, uint64_t& rows) {
    if (!(width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide)) return false;
    columns = uint64_t(width);
    rows = uint64_t(height);
    return true;
}

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using ProfileHandle = std::unique_ptr<void, ProfileCloser>;

ProfileHandle openProfile(ColorSyncProfileWrap& profile) {
    auto bytes = profile.csRef();
    if (!bytes) return nullptr;
    return ProfileHandle(cmsOpenProfileFromMem(bytes->data(), cmsUInt32Number(bytes->size())));
}

// Float samples of the profile's colour space (Lab as L* 0 to 100), with the floats of a
// pixel beyond its colour channels carried as extra channels; 0 when they do not fit.
cmsUInt32Number floatFormat(cmsHPROFILE profile, int64_t pixelStep) {
    const cmsUInt32Number format = cmsFormatterForColorspaceOfProfile(profile, 4, TRUE);
    const int64_t channels = T_CHANNELS(format);
    if (format == 0 || channels > pixelStep || pixelStep - channels > 7) return 0;
    return format | EXTRA_SH(cmsUInt32Number(pixelStep - channels));
}

// Converts every pixel of `from` into `to` (same geometry), each profile with the
// rendering intent of its header.
bool transformTable(ColorSyncProfileWrap& source, ColorSyncProfileWrap& destination,
                    const TarnwellFloatBitmap& from, TarnwellFloatBitmap& to) {
    icc::installErrorHandler();
    ProfileHandle src = openProfile(source), dest = openProfile(destination);
    if (!src || !dest) return false;
    const cmsUInt32Number inFormat = floatFormat(src.get(), from.pixelStep);
    const cmsUInt32Number outFormat = floatFormat(dest.get(), to.pixelStep);
    if (!inFormat || !outFormat) return false;
    const uint64_t widest = uint64_t(std::max(from.rowStep, to.rowStep)) * sizeof(float);
    if (widest > UINT32_MAX || from.rows > UINT32_MAX) return false;
    cmsHPROFILE profiles[2] = {src.get(), dest.get()};
    cmsBool bpc[2] = {FALSE, FALSE};
    cmsUInt32Number intents[2] = {source.renderingIntent(), destination.renderingIntent()};
    cmsFloat64Number adaptation[2] = {1.0, 1.0};
    cmsHTRANSFORM transform = cmsCreateExtendedTransform(
        nullptr, 2, profiles, bpc, intents, adaptation, nullptr, 0, inFormat, outFormat, cmsFLAGS_COPY_ALPHA);
    if (!transform) return false;
    const auto rowBytes = [](const TarnwellFloatBitmap& t) {
        return cmsUInt32Number(t.rowStep * sizeof(float));
    };
    cmsDoTransformLineStride(transform, from.storage(), to.storage(), cmsUInt32Number(from.columns),
                             cmsUInt32Number(from.rows), rowBytes(from), rowBytes(to), 0, 0);
    cmsDeleteTransform(transform);
    return true;
}

} // namespace

std::unique_ptr<CIImageTable> CIImageTable::create(double width, double height, const Profile& profile,
                                                   int components, int reserved, int32_t alphaFlags) {
    std::unique_ptr<CIImageTable> table(new CIImageTable);
    uint64_t columns = 0, rows = 0;
    if (pixelCount(width, height, columns, rows)) {
        table->table_ =
            TarnwellFloatBitmap::allocate(columns, rows, components, reserved, kSpaceRGB, alphaFlags);
        if (!table->table_) LV_LOG("%s no memory for %g x %g", __PRETTY_FUNCTION__, width, height);
    }
    table->hasSpaceForAlpha_ = reserved == 4;
    table->setColorSpace(profile);
    return table;
}

std::unique_ptr<CIImageTable> CIImageTable::createWithSizeAsImage(double width, double height,
                                                                  Profile profile, bool hasAlpha) {
    return create(width, height, profile, hasAlpha ? 4 : 3, 4, hasAlpha ? 1 : 0);
}

std::unique_ptr<CIImageTable> CIImageTable::createWithSizeAsTable(double width, double height,
                                                                  Profile profile) {
    return create(width, height, profile, 3, 3, 0);
}

float* CIImageTable::at(uint64_t row, uint64_t col) const {
    if (!table_ || row >= table_->rows || col >= table_->columns) return nullptr;
    return table_->storage() + row * table_->rowStep + col * table_->pixelStep;
}

void CIImageTable::setElement3(uint64_t row, uint64_t col, const std::array<float, 3>& value) {
    float* p = at(row, col);
    if (!p) return;
    std::memcpy(p, value.data(), sizeof value);
    if (isImage() && table_->pixelStep >= 4) p[3] = 1.0f;
}

void CIImageTable::setElement4(uint64_t row, uint64_t col, const std::array<float, 4>& value) {
    float* p = at(row, col);
    if (!p) return;
    // A fourth float in a three-float pixel would land on the next pixel, or past the block.
    std::memcpy(p, value.data(), sizeof(float) * (table_->pixelStep >= 4 ? 4 : 3));
}

float* CIImageTable::getValues(uint64_t col, uint64_t row) const { return at(row, col); }

CIImageTable::Buffers CIImageTable::getBuffers() const {
    if (!table_) return {};
    return {table_->planes[0], table_->planes[1], table_->planes[2],
            table_->pixelStep >= 4 ? table_->planes[3] : nullptr, table_->pixelStep};
}

platform::Size CIImageTable::getSize() const {
    if (!table_) return {};
    return {double(table_->columns), double(table_->rows)};
}

bool CIImageTable::isRGBDerivedSpace() const {
    if (!table_) return false;
    const auto space = uint32_t(table_->space);
    return space == fourCharCode("RGB ") || space == fourCharCode("sRGB") || space == fourCharCode("HSV ") ||
           space == fourCharCode("HLS ");
}

void CIImageTable::setColorSpace(Profile profile) {
    colorSpace_ = std::move(profile);
    cgColorSpace_ = colorSpace_ ? colorSpace_->cgColorSpace() : nullptr;
    if (colorSpace_ && table_) table_->space = int32_t(colorSpace_->spaceType());
}

int32_t CIImageTable::convertToColorSpace(const Profile& profile) {
    if (!colorSpace_ || isImage() || !isValid()) {
        setColorSpace(profile);
        return 0;
    }
    if (!profile) return kConversionFailed;
    const TarnwellFloatBitmap& from = *table_;
    auto converted = TarnwellFloatBitmap::allocate(from.columns, from.rows, int(from.pixelStep),
                                                   hasSpaceForAlpha_ ? 4 : int(from.pixelStep), from.space,
                                                   from.alphaFlags);
    if (!converted || !transformTable(*colorSpace_, *profile, from, *converted)) {
        LV_LOG("%s cannot convert \"%s\" to \"%s\"", __PRETTY_FUNCTION__, colorSpace_->description().c_str(),
               profile->description().c_str());
        return kConversionFailed;
    }
    table_ = std::move(converted);
    setColorSpace(profile);
    return 0;
}

void CIImageTable::widenToRGBA() {
    float* s = table_->storage();
    // From the last pixel backwards, so that no pixel is overwritten before it is moved.
    for (uint64_t i = table_->columns * table_->rows; i-- > 0;) {
        const float r = s[3 * i], g = s[3 * i + 1], b = s[3 * i + 2];
        s[4 * i] = r;
        s[4 * i + 1] = g;
        s[4 * i + 2] = b;
        s[4 * i + 3] = 1.0f;
    }
    table_->setComponents(4);
}

platform::Image::Ptr CIImageTable::genImage() {
    if (!isValid() || !hasSpaceForAlpha_ || !isRGBDerivedSpace()) return nullptr;
    if (table_->pixelStep == 3) widenToRGBA();
    const double width = double(table_->columns), height = double(table_->rows);
    auto image = platform::Image::createBlank({0, 0, width, height}, cgColorSpace_);
    if (!image) return nullptr;
    const size_t rowBytes = size_t(table_->rowStep) * sizeof(float);
    for (uint64_t r = 0; r < table_->rows; ++r)
        std::memcpy(image->mutableRow(r), table_->storage() + r * table_->rowStep, rowBytes);
    return image;
}
