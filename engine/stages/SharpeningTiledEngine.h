#pragma once
// Unsharp masking with a Gaussian kernel, applied to the square roots of the samples so
// that dark and light edges are sharpened alike.
#include <array>
#include <span>
#include <vector>

#include "engine/core/TiledEngine.h"

class SharpeningTiledEngine : public TiledEngine {
  public:
    using TiledEngine::TiledEngine;

    std::string engineName() const override;
    void setParameters(const std::optional<std::string>& key,
                       const platform::Dictionary& parameters) override;
    // Builds the kernel for the current radius and intensity, then runs the tiles; null
    // when the kernel cannot be allocated.
    std::shared_ptr<TileProcess> runProcessToCompletion(const TileRegion& region) override;
    void processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, ImageBuffer* src,
                     ImageBuffer* dest, int32_t pass) override;
    void processEdge(int32_t, int32_t, int32_t, int32_t, ImageBuffer*, ImageBuffer*, int32_t) override {}

    float radius() const { return radius_; }
    void setRadius(float radius) { radius_ = radius; }
    float intensity() const { return intensity_; }
    void setIntensity(float intensity) { intensity_ = intensity; }
    int32_t length() const { return length_; }
    const std::vector<float>& kernel() const { return kernel_; }

    // The normalised length x length unsharp kernel.
    static std::vector<float> fill2DGaussian(int32_t length, float sigma, float amount);
    // The weights 1 / (sqrt(2 pi) sigma) exp(-i^2 / (2 sigma^2)), i = -length / 2 ..
    // length / 2; they add up to 1 only when the length spans the bell (some 7 sigma).
    static std::vector<float> fillGaussian(int32_t length, float sigma);
    // One pass of a separable convolution: the rectangle of foutputImage receives
    // finputImage convolved with the odd-length `kernel` along the rows (dir 0) or the
    // columns (dir 1). Both are float RGBA images the size of destBuffer, rows without
    // padding; samples past the image's edge repeat the edge pixel, so a row pass and a
    // column pass give the same as the two-dimensional kernel in one.
    static void oneDConvolve(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, int32_t dir,
                             const ImageBuffer& destBuffer, std::span<const float> kernel,
                             const float* finputImage, float* foutputImage);

    // sqrt(sample / 65535) for every 16-bit sample.
    static const std::array<float, 65536>& sampleRoots();
    // What a kernel that changes nothing makes of every sample.
    static const std::array<uint16_t, 65536>& unsharpenedSamples();

  private:
    bool buildKernel();

    std::vector<float> kernel_;
    int32_t length_ = 3;
    bool identity_ = false; // the kernel is 1 at its centre and 0 elsewhere
    float radius_ = 0.0f;
    float intensity_ = 0.0f;
};
