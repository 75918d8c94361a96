#pragma once
// The base of every processing stage. A stage pulls its source stage over the same region,
// then recomputes the tiles of its output that are not clean, in worker tasks on the shared
// queue. Border strips along the image edges, which need pixels beyond a tile, are computed
// separately and once. Subclasses supply the pixel work and their parameters.
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>

#include "engine/core/BufferProfile.h"
#include "engine/core/ImageBuffer.h"
#include "engine/core/LumivarTiledEngineDelegate.h"
#include "engine/core/TileMap.h"
#include "engine/core/TileProcess.h"
#include "engine/core/TileRegion.h"
#include "platform/Bitmap.h"
#include "platform/Geometry.h"
#include "platform/Value.h"

class BitmapImage;

class TiledEngine {
  public:
    // A first stage of the given output size. An empty imageID keeps the output buffer in
    // the stage itself rather than in the shared intermediate product cache.
    TiledEngine(const platform::Size& outputSize, std::string imageID, bool releasePrecursors);
    // A stage that reads `source` and has its output size.
    TiledEngine(std::shared_ptr<TiledEngine> source, std::string imageID, bool releasePrecursors);
    virtual ~TiledEngine();
    TiledEngine(const TiledEngine&) = delete;
    TiledEngine& operator=(const TiledEngine&) = delete;

    // Runs the chain above and then this stage over the region; the process's buffer is
    // complete over it on return.
    virtual std::shared_ptr<TileProcess> runProcessToCompletion(const TileRegion& region);
    virtual std::shared_ptr<TileProcess> prepareBuffers(const TileRegion& region,
                                                        const std::shared_ptr<TileProcess>& prevProcess);
    // Pixel work over [colStart, colEnd) x [rowStart, rowEnd); `src` is null for a first stage.
    virtual void processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                             ImageBuffer* src, ImageBuffer* dest, int32_t pass);
    virtual void processEdge(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                             ImageBuffer* src, ImageBuffer* dest, int32_t pass);

    // Subclasses take their own keys, then call this, which hands the call upstream.
    virtual void setParameters(const std::optional<std::string>& key, const platform::Dictionary& parameters);
    void markAllDirty();
    virtual void flushCache();

    std::shared_ptr<ImageBuffer> localOutputBuffer();
    void setLocalOutputBuffer(std::shared_ptr<ImageBuffer> buffer);
    // Distinguishes stages that share one cache identifier.
    virtual std::string engineName() const { return "LumivarDefaultEngine"; }

    platform::Rect extent() const { return {0, 0, outputSize_.width, outputSize_.height}; }
    const std::shared_ptr<TiledEngine>& sourceBuf() const { return sourceBuffer_; }
    // Guards the output stage's per-zoom images.
    std::shared_mutex& cacheLock() { return cacheLock_; }
    virtual std::shared_ptr<ImageBuffer> getThumbnail(bool flag);
    std::shared_ptr<platform::Bitmap> createThumbnailCGImage(bool flag);
    bool getPixelValues(double x, double y, std::array<double, 4>& values);
    virtual bool getPixelValues(double x, double y, int32_t patchSize, std::array<double, 4>& values);
    virtual std::shared_ptr<BitmapImage> imageTile(int32_t resolution, double scale,
                                                   const platform::Rect& rect,
                                                   std::shared_ptr<BufferProfile> destProfile,
                                                   bool* tileIsThumbnail, bool createFloat,
                                                   int32_t orientation);
    // Copies the pixels of [colStart, colEnd) x [rowStart, rowEnd) between buffers of one sample type.
    static void copyTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                         const ImageBuffer* from, ImageBuffer* to);
    static bool compareFloat(double number, float value);

    LumivarTiledEngineDelegate* delegate() const { return delegate_; }
    void setDelegate(LumivarTiledEngineDelegate* delegate) { delegate_ = delegate; }
    int32_t verticalBorder() const { return verticalBorder_; }
    void setVerticalBorder(int32_t rows) { verticalBorder_ = rows; }
    int32_t horizontalBorder() const { return horizontalBorder_; }
    void setHorizontalBorder(int32_t columns) { horizontalBorder_ = columns; }
    bool ignoreEdges() const { return ignoreEdges_; }
    void setIgnoreEdges(bool ignore) { ignoreEdges_ = ignore; }
    bool reprocessEdgeTiles() const { return reprocessEdgeTiles_; }
    void setReprocessEdgeTiles(bool reprocess) { reprocessEdgeTiles_ = reprocess; }
    bool isCanceled() const { return isCanceled_; }
    void setIsCanceled(bool canceled) { isCanceled_ = canceled; }
    bool edgesDone() const { return edgesDone_; }
    void setEdgesDone(bool done) { edgesDone_ = done; }
    bool allTilesDirty() const { return allTilesDirty_; }
    const platform::Size& outputSize() const { return outputSize_; }
    int32_t engineMode() const { return engineMode_; }
    void setEngineMode(int32_t mode) { engineMode_ = mode; }
    int32_t numberOfPasses() const { return numberOfPasses_; }
    void setNumberOfPasses(int32_t passes) { numberOfPasses_ = passes; }
    bool cachedImageIsDirty() const { return cachedImageIsDirty_; }
    void setCachedImageIsDirty(bool dirty) { cachedImageIsDirty_ = dirty; }
    TileMap& mainMap() { return *mainMap_; }
    const std::string& idForCache() const { return idForCache_; }
    bool shouldReleasePrecursors() const { return shouldReleasePrecursors_; }
    void setShouldReleasePrecursors(bool release) { shouldReleasePrecursors_ = release; }
    platform::Dictionary& stageToKey() { return stageToKey_; }

  protected:
    // Per-zoom images of the output stage, keyed by zoom percentage; guarded by cacheLock().
    std::map<double, std::shared_ptr<ImageBuffer>> cachedImages_;

  private:
    void setupObject(std::string imageID, bool releasePrecursors);
    std::string cacheKey() const { return idForCache_ + engineName(); }
    void markFromUpstream(const TileMap::Trackers& upstreamDirty);
    void chooseOutputBuffer(TileProcess& process, const std::shared_ptr<ImageBuffer>& previous);
    void runEdges(const TileProcess& process, ImageBuffer* source);
    void runTiles(const TileRegion& region, const TileProcess& process, ImageBuffer* source);
    void workOnTiles(const TileMap::Trackers& trackers, const TileRegion& region, int32_t pass, bool lastPass,
                     ImageBuffer* source, ImageBuffer* dest);

    LumivarTiledEngineDelegate* delegate_ = nullptr;
    std::shared_ptr<TiledEngine> sourceBuffer_;
    std::shared_ptr<ImageBuffer> localOutputBuffer_;
    std::mutex localBufferLock_;
    std::atomic<int32_t> verticalBorder_{0};
    std::atomic<int32_t> horizontalBorder_{0};
    std::atomic<bool> ignoreEdges_{true};
    std::atomic<bool> reprocessEdgeTiles_{false};
    std::atomic<bool> isCanceled_{false};
    std::atomic<bool> edgesDone_{false};
    std::atomic<bool> allTilesDirty_{false};
    platform::Size outputSize_;
    platform::Dictionary stageToKey_;
    int32_t engineMode_ = 0;
    int32_t numberOfPasses_ = 1;
    std::shared_mutex cacheLock_;
    std::atomic<bool> cachedImageIsDirty_{false};
    std::unique_ptr<TileMap> mainMap_;
    std::string idForCache_;
    bool shouldReleasePrecursors_ = false;
};
