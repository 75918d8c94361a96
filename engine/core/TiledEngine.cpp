#include "engine/core/TiledEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/BitmapImage.h"
#include "engine/core/ImageBufferF32.h"
#include "engine/core/ImageBufferU16.h"
#include "engine/core/IntermediateProductCache.h"
#include "engine/core/QueueEngine.h"
#include "platform/Log.h"

TiledEngine::TiledEngine(const platform::Size& outputSize, std::string imageID, bool releasePrecursors)
    : outputSize_(outputSize) {
    setupObject(std::move(imageID), releasePrecursors);
}

TiledEngine::TiledEngine(std::shared_ptr<TiledEngine> source, std::string imageID, bool releasePrecursors)
    : sourceBuffer_(std::move(source)),
      outputSize_(sourceBuffer_ ? sourceBuffer_->outputSize() : platform::Size{}) {
    setupObject(std::move(imageID), releasePrecursors);
}

TiledEngine::~TiledEngine() = default;

void TiledEngine::setupObject(std::string imageID, bool releasePrecursors) {
    mainMap_ = std::make_unique<TileMap>(outputSize_);
    idForCache_ = std::move(imageID);
    shouldReleasePrecursors_ = releasePrecursors;
}

// --- running a stage -------------------------------------------------------------------

std::shared_ptr<TileProcess> TiledEngine::runProcessToCompletion(const TileRegion& region) {
    std::shared_ptr<TileProcess> previous;
    if (sourceBuffer_) previous = sourceBuffer_->runProcessToCompletion(region);
    auto process = prepareBuffers(region, previous);
    ImageBuffer* source = previous ? previous->buffer.get() : nullptr;
    if (!process->buffer) {
        LV_LOG("%s no output buffer for %s", __PRETTY_FUNCTION__, engineName().c_str());
        if (previous) previous->buffer.reset();
        return process;
    }
    {
        // Held across the waits for the edge and tile tasks: those run only this stage's
        // processEdge and processTile, which take no buffer lock, and a wait runs no other
        // task of the queue (DispatchGroup).
        BufferLock sourceLock(source, this), outputLock(process->buffer.get(), this);
        if (!process->dispatchGroup)
            process->dispatchGroup =
                std::make_unique<platform::DispatchGroup>(QueueEngine::sharedQueueEngine().sharedQueue());
        runEdges(*process, source);
        runTiles(region, *process, source);
        if (!process->dirtyList.empty()) cachedImageIsDirty_ = true;
        process->buffer->setValidRegion(mainMap_->rectForRegion(region));
    }
    if (previous) previous->buffer.reset();
    if (shouldReleasePrecursors_) sourceBuffer_.reset();
    return process;
}

// Borders larger than half the image: the strips meet without overlapping, since the tile
// work then has nothing left between them.
void TiledEngine::runEdges(const TileProcess& process, ImageBuffer* source) {
    if (ignoreEdges_ || edgesDone_) return;
    ImageBuffer* dest = process.buffer.get();
    const int32_t width = dest->imageWidth(), height = dest->imageHeight();
    const int32_t top = std::clamp<int32_t>(verticalBorder_, 0, height / 2);
    const int32_t bottom = std::max(height - verticalBorder_, top);
    const int32_t left = std::clamp<int32_t>(horizontalBorder_, 0, width / 2);
    const int32_t right = std::max(width - horizontalBorder_, left);
    for (int32_t pass = 0; pass < numberOfPasses_; ++pass) {
        auto strip = [&](int32_t c0, int32_t c1, int32_t r0, int32_t r1) {
            if (c0 >= c1 || r0 >= r1) return;
            process.dispatchGroup->async([=, this] { processEdge(c0, c1, r0, r1, source, dest, pass); });
        };
        if (verticalBorder_ > 0) {
            strip(0, width, 0, top);
            strip(0, width, bottom, height);
        }
        if (horizontalBorder_ > 0) {
            strip(0, left, top, bottom);
            strip(right, width, top, bottom);
        }
        process.dispatchGroup->wait();
    }
    edgesDone_ = true;
}

void TiledEngine::runTiles(const TileRegion& region, const TileProcess& process, ImageBuffer* source) {
    const TileMap::Trackers trackers = mainMap_->tileMap();
    const uint64_t tasks = QueueEngine::sharedQueueEngine().optimalNumberOfTasks();
    for (int32_t pass = 0; pass < numberOfPasses_; ++pass) {
        const bool lastPass = pass == numberOfPasses_ - 1;
        for (uint64_t t = 0; t < tasks; ++t)
            process.dispatchGroup->async([&, pass, lastPass] {
                workOnTiles(trackers, region, pass, lastPass, source, process.buffer.get());
            });
        process.dispatchGroup->wait();
    }
}

// Every task walks the whole map and takes the tiles nobody holds and nobody took in this
// pass, so no task ever waits for a tile.
void TiledEngine::workOnTiles(const TileMap::Trackers& trackers, const TileRegion& region, int32_t pass,
                              bool lastPass, ImageBuffer* source, ImageBuffer* dest) {
    const int32_t width = dest->imageWidth(), height = dest->imageHeight();
    for (const auto& tracker : trackers) {
        std::unique_lock<std::recursive_mutex> hold(tracker->lock(), std::try_to_lock);
        if (!hold.owns_lock()) continue;
        if (!region.contains(tracker->column(), tracker->row()) || tracker->isClean() ||
            tracker->passTrack() == pass)
            continue;
        tracker->setPassTrack(pass);
        const platform::Rect& tile = tracker->location();
        const int32_t rowStart = std::max<int32_t>(verticalBorder_, int32_t(tile.y));
        const int32_t rowEnd = std::min<int32_t>(int32_t(tile.maxY()), height - verticalBorder_);
        const int32_t colStart = std::max<int32_t>(horizontalBorder_, int32_t(tile.x));
        const int32_t colEnd = std::min<int32_t>(int32_t(tile.maxX()), width - horizontalBorder_);
        // A tile wholly inside the borders has nothing for the tile work.
        if (!isCanceled_ && rowStart < rowEnd && colStart < colEnd)
            processTile(colStart, colEnd, rowStart, rowEnd, source, dest, pass);
        if (isCanceled_)
            tracker->markDirty(); // taken again in the next run's first pass
        else if (lastPass)
            tracker->setState(tileIsClean);
    }
}

// --- preparing a run ---------------------------------------------------------------------

std::shared_ptr<TileProcess> TiledEngine::prepareBuffers(const TileRegion&,
                                                         const std::shared_ptr<TileProcess>& prevProcess) {
    const std::shared_ptr<ImageBuffer> previous = prevProcess ? prevProcess->buffer : nullptr;
    BufferLock previousLock(previous.get(), this);
    auto process = std::make_shared<TileProcess>();
    std::lock_guard<std::recursive_mutex> tiles(mainMap_->tileLock());
    if (allTilesDirty_.exchange(false)) {
        for (const auto& tracker : mainMap_->tileMap())
            tracker->markDirty();
    } else if (prevProcess) {
        markFromUpstream(prevProcess->dirtyList);
    }
    // Before the dirty list is taken: a new buffer makes every tile dirty, and the stages
    // below must hear of it (one of them may have been working in the lost buffer).
    chooseOutputBuffer(*process, previous);
    process->dirtyList = mainMap_->dirtyList();
    return process;
}

// Dirtiness flows downstream tile by tile. A stage that reads around its pixels also redoes
// the clean tiles next to a changed one, since their borders read the changed pixels.
void TiledEngine::markFromUpstream(const TileMap::Trackers& upstreamDirty) {
    for (const auto& upstream : upstreamDirty) {
        const int32_t x = int32_t(std::max(upstream->location().x / TileTracker::kTileSize, 0.0));
        const int32_t y = int32_t(std::max(upstream->location().y / TileTracker::kTileSize, 0.0));
        if (auto tracker = mainMap_->getTileTracker(x, y)) tracker->markDirty();
        if (!reprocessEdgeTiles_) continue;
        for (int32_t dy = -1; dy <= 1; ++dy)
            for (int32_t dx = -1; dx <= 1; ++dx) {
                auto neighbour = mainMap_->getTileTracker(x + dx, y + dy);
                if (neighbour && neighbour->isClean()) neighbour->markDirty(tileIsEdgeDirty);
            }
    }
}

void TiledEngine::chooseOutputBuffer(TileProcess& process, const std::shared_ptr<ImageBuffer>& previous) {
    if (previous && !previous->testReadOnlyAndAddtoEngineList(this)) {
        process.buffer = previous; // this stage works in place
        return;
    }
    process.buffer = localOutputBuffer();
    if (process.buffer) return;
    // Buffers have 16-bit sides; a larger (or empty) size gets no buffer rather than a cut one.
    if (!(outputSize_.width >= 1 && outputSize_.width <= 65535 && outputSize_.height >= 1 &&
          outputSize_.height <= 65535))
        return;
    const auto width = uint16_t(outputSize_.width), height = uint16_t(outputSize_.height);
    if (previous && previous->isFloat())
        process.buffer = ImageBufferF32::create(width, height);
    else
        process.buffer = ImageBufferU16::create(width, height);
    if (!process.buffer) return;
    if (previous) process.buffer->setBufferProfile(previous->bufferProfile());
    mainMap_->resetTiles();
    edgesDone_ = false; // the strips of the lost buffer are gone with it
    setLocalOutputBuffer(process.buffer);
}

// --- parameters, dirtiness and the output buffer ------------------------------------------

void TiledEngine::setParameters(const std::optional<std::string>& key,
                                const platform::Dictionary& parameters) {
    if (sourceBuffer_) sourceBuffer_->setParameters(key, parameters);
}

void TiledEngine::markAllDirty() {
    std::lock_guard<std::recursive_mutex> tiles(mainMap_->tileLock());
    cachedImageIsDirty_ = true;
    edgesDone_ = false;
    allTilesDirty_ = true;
}

void TiledEngine::flushCache() {
    if (sourceBuffer_) sourceBuffer_->flushCache();
    if (idForCache_.empty()) return;
    IntermediateProductCache::sharedIntermediateProductCache().cacheItem(nullptr, cacheKey());
    idForCache_.clear();
}

// The getter reads from wherever the setter writes.
std::shared_ptr<ImageBuffer> TiledEngine::localOutputBuffer() {
    if (!idForCache_.empty() && !shouldReleasePrecursors_)
        return IntermediateProductCache::sharedIntermediateProductCache().retrieveItem(cacheKey());
    std::lock_guard<std::mutex> guard(localBufferLock_);
    return localOutputBuffer_;
}

void TiledEngine::setLocalOutputBuffer(std::shared_ptr<ImageBuffer> buffer) {
    if (!idForCache_.empty() && !shouldReleasePrecursors_) {
        IntermediateProductCache::sharedIntermediateProductCache().cacheItem(std::move(buffer), cacheKey());
        return;
    }
    std::lock_guard<std::mutex> guard(localBufferLock_);
    localOutputBuffer_ = std::move(buffer);
}

// --- what the base answers for the output stage's requests --------------------------------

std::shared_ptr<ImageBuffer> TiledEngine::getThumbnail(bool flag) {
    return sourceBuffer_ ? sourceBuffer_->getThumbnail(flag) : nullptr;
}

std::shared_ptr<platform::Bitmap> TiledEngine::createThumbnailCGImage(bool flag) {
    auto thumbnail = getThumbnail(flag);
    return thumbnail ? thumbnail->createCGImage() : nullptr;
}

bool TiledEngine::getPixelValues(double x, double y, std::array<double, 4>& values) {
    return getPixelValues(x, y, 1, values);
}

bool TiledEngine::getPixelValues(double, double, int32_t, std::array<double, 4>&) {
    LV_LOG(">>>>>>>>>> ERROR %s engine not getPixelValues capable", engineName().c_str());
    return false;
}

std::shared_ptr<BitmapImage> TiledEngine::imageTile(int32_t, double, const platform::Rect&,
                                                    std::shared_ptr<BufferProfile>, bool*, bool, int32_t) {
    LV_LOG(">>>>>>>>>> ERROR %s engine not tile capable", engineName().c_str());
    return nullptr;
}

void TiledEngine::processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                              ImageBuffer*, ImageBuffer*, int32_t) {
    LV_LOG("%s %i %i %i %i", "processTile", colStart, colEnd, rowStart, rowEnd);
}

void TiledEngine::processEdge(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                              ImageBuffer*, ImageBuffer*, int32_t) {
    LV_LOG("%s %i %i %i %i", "processEdge", colStart, colEnd, rowStart, rowEnd);
}

// Clipped to both buffers; buffers of different sample types are left alone, since one
// type's pixel is not the other's.
void TiledEngine::copyTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                           const ImageBuffer* from, ImageBuffer* to) {
    if (!from || !to || from->isFloat() != to->isFloat()) return;
    colStart = std::max(colStart, 0);
    rowStart = std::max(rowStart, 0);
    colEnd = std::min({colEnd, int32_t(from->imageWidth()), int32_t(to->imageWidth())});
    rowEnd = std::min({rowEnd, int32_t(from->imageHeight()), int32_t(to->imageHeight())});
    if (rowStart >= rowEnd || colStart >= colEnd) return;
    const size_t bytes = size_t(colEnd - colStart) * from->bytesPerPixel();
    for (int32_t row = rowStart; row < rowEnd; ++row)
        std::memmove(to->pixelAddress(size_t(row), size_t(colStart)),
                     from->pixelAddress(size_t(row), size_t(colStart)), bytes);
}

bool TiledEngine::compareFloat(double number, float value) {
    return std::fabs(float(number) - value) < 3.5762787e-7f;
}
