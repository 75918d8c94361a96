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

class BitmapImage {
  public:
    // Null for a null image.
    static std::shared_ptr<BitmapImage> create(std::shared_ptr<platform::Bitmap> image);

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
    // Diagnostic on standard error: the pixel layout and samples 256 to 355 of `row`.
    void dumpCGImageInfo(size_t row);

    // The transform (y up) that turns a W x H image by an orientation code 1 to 8; any
    // other code leaves it as it is.
    static platform::AffineTransform orientationTransform(int code, double W, double H);
    // A new bitmap of newSize (the image's own size when a side is below 1; width and
    // height exchanged for orientation codes 5 to 8) with the image's sample layout and
    // colour space: the image scaled into the whole size, or into one with width and
    // height exchanged when `drawTransposed` (from the lower left), then turned by the
    // code. Quality 1 (none) takes the nearest pixels, any other smooths. Null when the
    // image's samples cannot be scaled.
    static std::shared_ptr<platform::Bitmap> createResizedImageBitmap(const platform::Bitmap& image,
                                                                      platform::Size newSize,
                                                                      bool drawTransposed, int orientation,
                                                                      int interpolationQuality);
    // The image cropped to `rect` (pixels from the top left; the whole image when the
    // width is not positive), then resized smoothly to newSize and turned when the size
    // differs or the orientation code is above 1. Null when the rectangle misses the image.
    std::shared_ptr<BitmapImage> croppedAndScaledImage(platform::Rect rect, platform::Size newSize,
                                                       int orientation) const;

  private:
    explicit BitmapImage(std::shared_ptr<platform::Bitmap> image) : myImage_(std::move(image)) {}
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
