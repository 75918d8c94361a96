#pragma once
// The per-document render driver. It owns the fixed chain of stages (raw combine, two
// medians and a mean, sharpening, the output stage), maps each changed setting to the first
// stage that must run again, and runs a render loop on a serial queue of its own while a
// dirty flag is set. Without a delegate (export) it renders on the calling thread and
// returns with the render done.
//
// Make it with create(): a queued loop holds the engine alive, so dropping the last other
// reference mid-pass is safe. The delegate is held weakly; a closed document is never called.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "color/ColorSyncProfileWrap.h"
#include "engine/core/LumivarTiledEngineDelegate.h"
#include "engine/core/TileRegion.h"
#include "engine/core/TiledEngine.h"
#include "platform/Geometry.h"
#include "platform/SerialQueue.h"
#include "platform/Value.h"
#include "raw/wrapper/ImageWrapper.h"
#include "settings/Schema.h"

class ThreadedImageEngine;
class RawCombineTiledEngine;
class MedianTiledEngine;
class MeanTiledEngine;
class CoreTiledEngine;
class DNGCameraProfileAbstract;

// Progress of the render loop. Every call arrives on the loop's thread (the engine's serial
// queue); a delegate moves the work to its own thread itself.
class ThreadedImageEngineDelegate {
  public:
    virtual ~ThreadedImageEngineDelegate() = default;
    // At the start of every pass.
    virtual void CIImageEngineDidStart(ThreadedImageEngine& engine) = 0;
    // After a successful decode, before "Tarnwell_NewImageMetadata" is posted.
    virtual void CIImageEngineNewMetaData(ThreadedImageEngine& engine) = 0;
    // At the end of every pass, and once when a loop ends without having made one.
    virtual void CIImageEngineDidFinish(ThreadedImageEngine& engine) = 0;
    // Never sent by the engine.
    virtual void CIImageEngineDidUpdateActiveArea(ThreadedImageEngine& engine) = 0;
};

class ThreadedImageEngine : public LumivarTiledEngineDelegate,
                            public std::enable_shared_from_this<ThreadedImageEngine> {
    struct CreateKey {};

  public:
    // Only marks the requested area dirty; also what a nil key means.
    static constexpr const char* kActiveRectDirtyKey = settings::ActiveAreaKey.data();
    static constexpr int32_t kNoStage = -1;

    // What the engine has done so far, for drivers and benchmarks.
    struct Statistics {
        int64_t decodes = 0;        // stage-0 runs that asked the wrapper for its image
        int64_t passes = 0;         // passes of the render loop
        int64_t newImages = 0;      // of the decodes, those that brought another master image
        int64_t stageTiles[4] = {}; // tiles (and edge strips) computed by stages 0 (unused), 1, 2, 3
        double decodeSeconds = 0;   // the last stage-0 run
        double stagesSeconds = 0;   // the last run of the chain over the area
    };

    static std::shared_ptr<ThreadedImageEngine> create();
    // Empties the shared intermediate product cache; the first request of any kind decodes.
    static std::shared_ptr<ThreadedImageEngine> create(std::shared_ptr<ImageWrapper> rawImage,
                                                       bool renderForExport);
    explicit ThreadedImageEngine(CreateKey);
    ~ThreadedImageEngine() override;
    ThreadedImageEngine(const ThreadedImageEngine&) = delete;
    ThreadedImageEngine& operator=(const ThreadedImageEngine&) = delete;

    // The first stage a change of the key makes run again: 0 (decode) to 4 (output only),
    // kNoStage for keys that change nothing; unknown and nil keys give 0.
    static int32_t invalidatedStageForKey(const std::optional<std::string>& key);

    // The only way to ask for work: the changed keys (nil: everything), the settings they
    // come from (nil: only the area), the area in image pixels (null: the whole image).
    void invalidateImageStage(const std::optional<std::vector<std::string>>& keys,
                              const std::optional<platform::Dictionary>& newParameters,
                              const platform::Rect& activeArea = platform::Rect::null());
    // Renders the whole image again (the output stage's request, and export's).
    void engineActiveRectDirty(TiledEngine& sender) override;
    void engineActiveRectDirty();

    // Display (nil), "com.adobe.dng", "public.tiff", "com.ilm.openexr-image" or another
    // (JPEG) type.
    void configureRenderingSpaceForType(const std::optional<std::string>& type, bool useWideGamutExports);
    // A one-pixel patch of the output stage; false when that area is not rendered.
    bool getPixelValues(int32_t x, int32_t y, std::array<double, 4>& values);
    void newActiveRegion(const TileRegion&) {}

    // One step each of the chain; 2 to 4 take the previous output (null in, null out).
    void processStage0();
    std::shared_ptr<TiledEngine> processStage1();
    std::shared_ptr<TiledEngine> processStage2(const std::shared_ptr<TiledEngine>& input);
    std::shared_ptr<TiledEngine> processStage3(const std::shared_ptr<TiledEngine>& input);
    std::shared_ptr<TiledEngine> processStage4NoCIFilter(const std::shared_ptr<TiledEngine>& input);

    // The output stage (a CoreTiledEngine) and stage 1; null before the first render.
    std::shared_ptr<TiledEngine> outputImage();
    std::shared_ptr<RawCombineTiledEngine> demosaicedImage();
    std::shared_ptr<CoreTiledEngine> coreEngine();

    std::shared_ptr<ImageWrapper> rawFileWrapper();
    void setRawFileWrapper(std::shared_ptr<ImageWrapper> wrapper);
    std::optional<platform::Dictionary> cameraParameters();
    bool highRes() const { return highRes_; }
    void setHighRes(bool highRes) { highRes_ = highRes; }
    std::optional<platform::Dictionary> imageParameters();
    void setImageParameters(std::optional<platform::Dictionary> parameters);
    // Null when there is none or it has gone.
    std::shared_ptr<ThreadedImageEngineDelegate> delegate();
    // Null detaches: requests then render on the calling thread.
    void setDelegate(std::weak_ptr<ThreadedImageEngineDelegate> delegate);
    void setDelegate(std::nullptr_t) { setDelegate(std::weak_ptr<ThreadedImageEngineDelegate>()); }
    bool hasDelegate();
    std::shared_ptr<ColorSyncProfileWrap> renderingSpace();
    void setRenderingSpace(std::shared_ptr<ColorSyncProfileWrap> space);
    bool isRunning();
    bool stage0IsDirty();
    bool stagenIsDirty();
    bool activeAreaIsDirty();
    // The identifier under which the stage 2 engines share their intermediate products.
    const std::string& cacheEngine() const { return cacheEngine_; }
    Statistics statistics();

  private:
    struct Chain;
    using Lock = std::unique_lock<std::mutex>;
    // A copy of a field, or a new value for it, under the sync lock.
    template <class T> T read(const T& field) {
        Lock lock(syncLock_);
        return field;
    }
    template <class T> void write(T& field, T value) {
        Lock lock(syncLock_);
        field = std::move(value);
    }

    void init(std::shared_ptr<ImageWrapper> rawImage, bool renderForExport);
    void renderLoop(const platform::Rect& rect, bool forceFirstPass);
    bool decodeStage0(bool& announce);
    void announceMetadata();
    std::shared_ptr<TiledEngine> runStages();
    void renderArea(const platform::Rect& rect);
    void pushDecodeSettings(ImageWrapper& wrapper, const platform::Dictionary& parameters);
    bool wrapperHasError();
    void sendDidStart();
    void sendDidFinish();
    void finishWithTables(); // sendDidFinish once the output stage's queued tables are in place

    // Guards the flags, the chain's outputs and the queue's creation; never held while a
    // stage runs.
    std::mutex syncLock_;
    // One pass of the stages at a time: an export waits for a display pass, and back. Held
    // through the pass's waits on the shared queue, which run only the pass's own decode
    // conversion, tile and edge tasks (DispatchGroup); none of them takes it. An export the
    // window queued on that queue therefore never runs beneath a pass: it waits for it.
    std::mutex runLock_;
    // Keeps settings handed to the output stage in the order they were asked for.
    std::mutex parametersLock_;

    std::shared_ptr<ImageWrapper> rawFileWrapper_;
    std::optional<platform::Dictionary> cameraParameters_;
    std::atomic<bool> highRes_{false};
    std::optional<platform::Dictionary> imageParameters_;
    std::weak_ptr<ThreadedImageEngineDelegate> delegate_;
    bool hasDelegate_ = false;
    std::shared_ptr<ColorSyncProfileWrap> renderingSpace_;
    int32_t runningLoops_ = 0;
    bool stage0IsDirty_ = false;
    bool stagenIsDirty_ = false;
    bool activeAreaIsDirty_ = false;
    std::unique_ptr<Chain> chain_;
    std::string cacheEngine_;
    std::unique_ptr<platform::SerialQueue> serialQueue_;
    // The profiles made from the settings' stored forms, kept while the form is unchanged.
    std::optional<platform::Dictionary> cameraProfileForm_, scannerProfileForm_;
    std::shared_ptr<DNGCameraProfileAbstract> cameraProfile_;
    std::shared_ptr<ColorSyncProfileWrap> scannerProfile_;
    std::weak_ptr<const uint16_t[]> lastMaster_;
    Statistics statistics_;
};
