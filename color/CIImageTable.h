#pragma once
// A small float RGB(A) pixel table with a colour profile: converted between profiles with
// Little CMS and turned into a filter image. Image tables reserve four floats a pixel so
// that they can become RGBA images in place; plain tables hold three.
#include <array>
#include <cstdint>
#include <memory>

#include "color/ColorSyncProfileWrap.h"
#include "color/TarnwellFloatBitmap.h"
#include "platform/Geometry.h"
#include "platform/Image.h"

class CIImageTable {
  public:
    using Profile = std::shared_ptr<ColorSyncProfileWrap>;
    static constexpr int32_t kConversionFailed = int32_t(fourCharCode("????"));

    struct Buffers {
        float* r = nullptr;
        float* g = nullptr;
        float* b = nullptr;
        float* a = nullptr; // null with fewer than four floats a pixel
        int64_t step = 0;
    };

    // No table: invalid.
    CIImageTable() = default;
    // width x height pixels with room for four floats each; with alpha four components and
    // alpha flag 1, else three. Invalid when the size is not positive or memory is short.
    static std::unique_ptr<CIImageTable> createWithSizeAsImage(double width, double height, Profile profile,
                                                               bool hasAlpha);
    // Three floats a pixel, no alpha, no room to widen.
    static std::unique_ptr<CIImageTable> createWithSizeAsTable(double width, double height, Profile profile);

    // Writes at (row, column); ignored outside the table. An image with alpha gets alpha 1.0.
    void setElement3(uint64_t row, uint64_t col, const std::array<float, 3>& value);
    // The fourth float only where a pixel has room for it.
    void setElement4(uint64_t row, uint64_t col, const std::array<float, 4>& value);
    // The pixel's first float; null outside the table.
    float* getValues(uint64_t col, uint64_t row) const;
    Buffers getBuffers() const;

    platform::Size getSize() const;
    bool isValid() const { return table_ && table_->columns > 0 && table_->rows > 0; }
    bool isImage() const { return table_ && table_->alphaFlags != 0; }
    bool isRGBDerivedSpace() const;
    bool hasSpaceForAlpha() const { return hasSpaceForAlpha_; }
    const TarnwellFloatBitmap* table() const { return table_.get(); }

    // Relabels: the pixels stay as they are. A profile sets the space code to its own.
    void setColorSpace(Profile profile);
    const Profile& colorSpace() const { return colorSpace_; }
    const std::shared_ptr<const platform::ColorSpace>& cgColorSpace() const { return cgColorSpace_; }

    // Converts the pixels from the current profile to `profile` and relabels; 0 on success,
    // kConversionFailed with the table unchanged when no transform joins the two. A table
    // without profile, and an image with alpha, is only relabelled.
    int32_t convertToColorSpace(const Profile& profile);

    // The pixels as a float RGBA image (a copy) in the profile's colour space, for a table
    // of an RGB-derived space with room for alpha; one without alpha is first widened in
    // place with alpha 1.0. Null otherwise.
    platform::Image::Ptr genImage();

    bool logThisObject() const { return false; }

  private:
    static std::unique_ptr<CIImageTable> create(double width, double height, const Profile& profile,
                                                int components, int reserved, int32_t alphaFlags);
    void widenToRGBA();
    float* at(uint64_t row, uint64_t col) const;

    TarnwellFloatBitmap::Ptr table_;
    Profile colorSpace_;
    std::shared_ptr<const platform::ColorSpace> cgColorSpace_;
    bool hasSpaceForAlpha_ = false;
};
