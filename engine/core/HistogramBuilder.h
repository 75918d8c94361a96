#pragma once
// Paints the RGB histogram of a rendered image into a small 16-bit image: one column per
// bin, bars from the bottom, after a display gamma of 1/2.2.
#include <memory>
#include <mutex>

#include "engine/core/ImageBufferF32.h"
#include "engine/core/ImageBufferU16.h"
#include "platform/Geometry.h"

class HistogramBuilder {
  public:
    static constexpr uint16_t kBackground = 6500;
    static constexpr uint16_t kAllChannels = 20000;
    static constexpr float kDisplayGamma = 0.45454544f;

    // Keeps a float copy of the source; nullptr when there is no storage for it.
    static std::unique_ptr<HistogramBuilder> create(const ImageBuffer& source);

    platform::Size outputSize() const { return outputSize_; }
    void setOutputSize(platform::Size size) { outputSize_ = size; }
    const std::shared_ptr<ImageBuffer>& theBuffer() const { return theBuffer_; }
    void setTheBuffer(std::shared_ptr<ImageBuffer> buffer);

    // The histogram image (floor(width) bins by height rows, no profile); nullptr without
    // a buffer or for a size no buffer can have. Throws std::logic_error when the buffer
    // is not float.
    std::shared_ptr<ImageBufferU16> getOutputImage();

  private:
    HistogramBuilder() = default;
    void applyGammaOnce();

    platform::Size outputSize_;
    std::shared_ptr<ImageBuffer> theBuffer_;
    bool gammaApplied_ = false;
    std::mutex monitor_;
};
