#pragma once
// The first stage of the chain: blends the master rendering of the raw file towards the
// alternate one in HSV space, brightness and colour by separate weights, to suppress the
// artifacts either demosaicing leaves. It also keeps its output for pixel probes and a
// small thumbnail.
#include <mutex>

#include "engine/core/DemosaicedRenderings.h"
#include "engine/core/TiledEngine.h"

class RawCombineTiledEngine : public TiledEngine {
  public:
    using TiledEngine::TiledEngine;

    // The border strips the chain gives the stage, in pixels.
    static constexpr int32_t kBorder = 8;
    // Whether the settings give the alternate rendering a weight: the stage reads it then.
    static bool readsAlternate(const platform::Dictionary& parameters);
    // How far in from its edges the stage reads the master under these settings when it
    // has the chain's borders: only the border strips when both weights are whole, else
    // all of it (0).
    static uint16_t masterFrameFor(const platform::Dictionary& parameters);

    std::string engineName() const override;
    void setParameters(const std::optional<std::string>& key,
                       const platform::Dictionary& parameters) override;
    std::shared_ptr<TileProcess> runProcessToCompletion(const TileRegion& region) override;
    void processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, ImageBuffer* src,
                     ImageBuffer* dest, int32_t pass) override;
    // The border strips are always the master.
    void processEdge(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, ImageBuffer* src,
                     ImageBuffer* dest, int32_t pass) override;

    void buildThumbnail();
    std::shared_ptr<ImageBuffer> getThumbnail(bool flag) override;
    using TiledEngine::getPixelValues;
    bool getPixelValues(double x, double y, int32_t patchSize, std::array<double, 4>& values) override;

    const std::shared_ptr<DemosaicedRenderings>& rawImage() const { return rawImage_; }
    void setRawImage(std::shared_ptr<DemosaicedRenderings> image) { rawImage_ = std::move(image); }
    float artifactSuppression() const { return artifactSuppression_; }
    void setArtifactSuppression(float weight) { artifactSuppression_ = weight; }
    float chromaArtifactSuppression() const { return chromaArtifactSuppression_; }
    void setChromaArtifactSuppression(float weight) { chromaArtifactSuppression_ = weight; }
    float ettrMul() const { return ettrMul_; }
    void setEttrMul(float multiplier) { ettrMul_ = multiplier; }
    float cameraBaselineExposure() const { return cameraBaselineExposure_; }
    void setCameraBaselineExposure(float exposure) { cameraBaselineExposure_ = exposure; }
    float highlightExposureAdjust() const { return highlightExposureAdjust_; }
    void setHighlightExposureAdjust(float adjust) { highlightExposureAdjust_ = adjust; }
    bool processAsOutputReferred() const { return processAsOutputReferred_; }
    void setProcessAsOutputReferred(bool referred) { processAsOutputReferred_ = referred; }
    bool clipWhites() const { return clipWhites_; }
    void setClipWhites(bool clip) { clipWhites_ = clip; }
    std::shared_ptr<ImageBuffer> pixelValueBuffer();

  private:
    void processArea(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, float artifactSup,
                     float cArtifactSup, ImageBuffer* dest);
    // The renderings a run reads, taken once before its tiles; outside a run, fresh ones.
    std::shared_ptr<const DemosaicedRenderings::Held> renderingsForTiles();
    DemosaicedRenderings::Held holdFrom(DemosaicedRenderings& image) const;

    std::shared_ptr<DemosaicedRenderings> rawImage_;
    std::mutex heldLock_;
    std::shared_ptr<const DemosaicedRenderings::Held> held_; // while a run reads them
    float artifactSuppression_ = 0.0f;
    float chromaArtifactSuppression_ = 0.0f;
    float ettrMul_ = 1.0f;
    float cameraBaselineExposure_ = 0.0f;
    float highlightExposureAdjust_ = 0.0f;
    bool processAsOutputReferred_ = false;
    bool clipWhites_ = false;
    std::mutex thumbLock_;
    std::shared_ptr<ImageBuffer> thumbnail_;
    bool thumbnailIsDirty_ = true;
    std::mutex pixelValueLock_;
    std::shared_ptr<ImageBuffer> pixelValueBuffer_;
};
