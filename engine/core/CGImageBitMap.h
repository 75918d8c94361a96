#pragma once
// Wraps one bitmap image and reads its pixels back as 16-bit RGB (DNG and TIFF export),
// float RGBA (OpenEXR export) or one pixel's values (colour picking), whatever its sample
// depth, byte order and alpha layout. Not locked: made by one thread, then handed over.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Geometry.h"

class CGImageBitMap {
  public:
    // Null for a null image.
    static std::shared_ptr<CGImageBitMap> create(std::shared_ptr<platform::Bitmap> image);

    const std::shared_ptr<platform::Bitmap>& getImageRef() const { return myImage_; }
    size_t getWidth() const { return myImage_->width(); }
    size_t getHeight() const { return myImage_->height(); }
    platform::Rect extent() const { return {0, 0, double(getWidth()), double(getHeight())}; }

    // Analyses the pixel format and copies the pixels, once; false when the image cannot
    // be read (no data, or a layout these readers do not know).
    bool getDataProvider();
    // width x height x 3 samples, R G B, rows without padding; false when `dest` is too
    // small or the image cannot be read.
    bool getLinearBuffer(std::span<uint16_t> dest);
    // width x height x 4 floats, R G B A, rows without padding.
    bool getFloatRBGABuffer(std::span<float> dest);
    // R, G, B of one pixel as fractions into values[0..2]; values[3] is left alone. Outside
    // the image: false and (0, 0, 0, 1).
    bool getPixelValues(int64_t col, int64_t row, std::array<double, 4>& values);

  private:
    explicit CGImageBitMap(std::shared_ptr<platform::Bitmap> image) : myImage_(std::move(image)) {}
    double sample(const uint8_t* pixel, int64_t index) const;
    // R, G, B (divided by alpha when premultiplied) and alpha of the pixel at (col, row).
    std::array<double, 4> readPixel(size_t col, size_t row) const;
    bool analyse();
    // The data is readable and `destSize` holds perPixel values for every pixel.
    bool readyToFill(size_t destSize, size_t perPixel, const char* operation);

    std::shared_ptr<platform::Bitmap> myImage_;
    uint32_t bitMap_ = 0;
    size_t bitsPerComponent_ = 0;
    size_t bytesPerRow_ = 0;
    bool analysed_ = false;
    bool dpr_ = false;
    std::vector<uint8_t> imageData_;
    uint32_t byteOrder_ = 0;
    int64_t rIndex_ = 0;
    int64_t alphaIndex_ = -1;
    int64_t bufferInc_ = 0;
    bool premultipliedAlpha_ = false;
};
