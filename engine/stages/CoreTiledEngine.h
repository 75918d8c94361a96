#pragma once
// The output stage. A run only pulls the stages above and keeps their output; the colour and
// tone work (the camera profile's gain by luminance, a matrix that white-balances and mixes
// the channels into one monochrome value with the exposure gain, a tone table with a black offset and an
// optional highlight knee) is applied when a tile is asked for, from one down-scaled copy of
// the source per zoom. A change of its own settings rebuilds the tables and re-renders
// nothing upstream.
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "dng/DNGCameraProfileAbstract.h"
#include "engine/core/ImageBufferF32.h"
#include "engine/core/TiledEngine.h"
#include "platform/SerialQueue.h"

class CoreTiledEngine : public TiledEngine {
  public:
    static constexpr const char* kEnableCinematicKey = "enableCinematic";
    static constexpr int kToneTableSize = 4096;
    static constexpr int kGainTableSize = 65536;
    // Largest block of pixels converted in one piece; the blocks of a large request run in
    // parallel on the shared queue.
    static constexpr int32_t kBlockSize = 512;

    CoreTiledEngine(const platform::Size& outputSize, std::string imageID, bool releasePrecursors);
    CoreTiledEngine(std::shared_ptr<TiledEngine> source, std::string imageID, bool releasePrecursors);
    ~CoreTiledEngine() override;

    std::string engineName() const override;
    void setParameters(const std::optional<std::string>& key,
                       const platform::Dictionary& parameters) override;

    // Pulls the source over the region and keeps its output as the tile source; does no
    // tile work of its own, so its map never turns clean.
    std::shared_ptr<TileProcess> runProcessToCompletion(const TileRegion& region) override;
    std::shared_ptr<TileProcess> prepareBuffers(const TileRegion& region,
                                                const std::shared_ptr<TileProcess>& prevProcess) override;
    // Colour and tone work from a 16-bit source into a 16-bit or float destination of the
    // same geometry.
    void processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, ImageBuffer* src,
                     ImageBuffer* dest, int32_t pass) override;
    void processEdge(int32_t, int32_t, int32_t, int32_t, ImageBuffer*, ImageBuffer*, int32_t) override {}
    // The knee applied to a toned value: value x mul + outputOffset.
    float processKnee(float value, float mul);

    // A tile of the rectangle (full-size pixels, origin at the bottom left) at the scale.
    // With a thumbnail flag to set (the display) it never waits: a busy source or a zoom
    // image that does not cover the rectangle gives a crop of the thumbnail. Without one
    // (export) it waits for the source and for queued table rebuilds.
    std::shared_ptr<BitmapImage> imageTile(int32_t resolution, double scale, const platform::Rect& rect,
                                           std::shared_ptr<BufferProfile> destProfile, bool* tileIsThumbnail,
                                           bool createFloat, int32_t orientation) override;
    // The source's thumbnail after this stage's processing; null when upstream has none.
    std::shared_ptr<ImageBuffer> getThumbnail(bool flag) override;
    using TiledEngine::getPixelValues;
    bool getPixelValues(double x, double y, int32_t patchSize, std::array<double, 4>& values) override;

    // The zoom key of a scale: the whole percentage of the down-scaling, 100 from scale 1 on.
    static float zoomKeyForScale(double scale);

    // Returns once the rebuilds queued so far have put their tables in place.
    void waitForTables();

    void setMatrix(const float values[16]);
    std::array<float, 16> matrix();
    // Guards the tables and the camera parameters. Held only to read or replace them: a
    // request works on the tables it found, and a rebuild makes new ones before it takes it.
    std::shared_mutex& settingsLock() { return settingsLock_; }
    std::shared_ptr<ImageBuffer> tileSourceBuffer();

    std::optional<platform::Dictionary> cameraParameters();
    void setCameraParameters(std::optional<platform::Dictionary> parameters);
    float cameraBaselineExposure() const { return cameraBaselineExposure_; }
    void setCameraBaselineExposure(float exposure) { cameraBaselineExposure_ = exposure; }
    float highlightExposureAdjust() const { return highlightExposureAdjust_; }
    void setHighlightExposureAdjust(float adjust) { highlightExposureAdjust_ = adjust; }
    bool enableCinematic() const { return enableCinematic_; }
    void setEnableCinematic(bool on) { enableCinematic_ = on; }

    // The current tables' values.
    float ettrMul();
    float outputOffset();
    float kneeLow();
    float kneeF();
    std::shared_ptr<DNGCameraProfileAbstract> cameraProfile();
    // A copy of the tone table and of the gain table (empty when there is none).
    std::vector<float> toneTable();
    std::vector<float> gainTable();

  private:
    // What requests apply, made whole by a rebuild and never changed afterwards.
    struct Tables {
        std::array<float, 16> matrix{};
        float ettrMul = 1;
        std::shared_ptr<ImageBufferF32> LUT; // null: no tone table
        float outputOffset = 0;
        float kneeLow = 0;
        float kneeF = -1;
        std::shared_ptr<const std::vector<float>> fLut; // null: no gain step
        std::shared_ptr<DNGCameraProfileAbstract> cameraProfile;
        std::optional<platform::Dictionary> cameraProfileForm;
        bool processAsOutputReferred = true;
        bool clipWhites = true;
        std::optional<double> toneCurve;
    };

    void setup();
    std::shared_ptr<const Tables> tables();
    void rebuild(const platform::Dictionary& parameters);
    static void chooseCameraProfile(const platform::Dictionary& parameters, const Tables& previous,
                                    Tables& next);
    void fillGainTable(Tables& next) const;
    void processBlock(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                      const ImageBuffer& src, ImageBuffer& dest, const Tables& tables) const;
    std::shared_ptr<ImageBuffer> zoomImage(ImageBuffer& source, float zoomKey, double factor, bool wait,
                                           bool& existed, bool& busy);
    void remakeZoomImage(ImageBuffer& source, float zoomKey, double factor, bool wait, bool& busy);
    std::shared_ptr<ImageBuffer> processedCrop(const ImageBuffer& image, const platform::Rect& rect,
                                               double factor, bool fromThumbnail, bool createFloat);
    void dropProcessedThumbnail();

    std::mutex remakeLock_; // one zoom image made at a time; taken before the cache lock
    std::shared_mutex settingsLock_;
    // Guarded by the settings lock.
    std::shared_ptr<const Tables> tables_;
    std::optional<platform::Dictionary> cameraParameters_;
    // One rebuild at a time: each starts from the camera profile the one before chose.
    std::mutex rebuildLock_;
    // Read without the lock, so a caller holding it can still hand in settings.
    std::atomic<bool> haveToneTable_{false};

    std::atomic<float> cameraBaselineExposure_{0};
    std::atomic<float> highlightExposureAdjust_{0};
    std::atomic<bool> enableCinematic_{false};

    std::mutex thumbLock_;
    std::shared_ptr<ImageBuffer> thumbBuf_;
    std::shared_ptr<ImageBuffer> processsedThumbBuf_;

    std::mutex tileSourceLock_;
    std::shared_ptr<ImageBuffer> tileSourceBuffer_;

    // Rebuilds after the first run here one after another, so the last settings win.
    std::unique_ptr<platform::SerialQueue> rebuildQueue_;
};
