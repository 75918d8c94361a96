#include "engine/stages/ThreadedImageEngine.h"

#include <strings.h>

#include <chrono>
#include <cstdio>

#include "color/ProfileManager.h"
#include "dng/DNGCameraProfileAbstract.h"
#include "engine/core/DemosaicedRenderings.h"
#include "engine/core/IntermediateProductCache.h"
#include "engine/stages/CoreTiledEngine.h"
#include "engine/stages/MeanTiledEngine.h"
#include "engine/stages/MedianTiledEngine.h"
#include "engine/stages/RawCombineTiledEngine.h"
#include "engine/stages/SharpeningTiledEngine.h"
#include "platform/AppIdentifier.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
#include "settings/Reads.h"
#include "settings/Schema.h"

namespace {

using Clock = std::chrono::steady_clock;
using TileCounters = std::array<std::atomic<int64_t>, 4>;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A stage that counts the tiles it computes; the counters outlive the engine, since a
// display may keep the chain after the engine has gone.
template <class Stage> class Counted final : public Stage {
  public:
    template <class... Args>
    Counted(std::shared_ptr<TileCounters> counters, int stage, Args&&... args)
        : Stage(std::forward<Args>(args)...), counters_(std::move(counters)), stage_(stage) {}

    void processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, ImageBuffer* src,
                     ImageBuffer* dest, int32_t pass) override {
        (*counters_)[size_t(stage_)].fetch_add(1, std::memory_order_relaxed);
        Stage::processTile(colStart, colEnd, rowStart, rowEnd, src, dest, pass);
    }

  private:
    std::shared_ptr<TileCounters> counters_;
    int stage_;
};

// The output stage's delegate lives as long as the stage itself, and reaches the engine
// only while it exists: tile requests may come from a display after the document closed.
class OutputStage final : public CoreTiledEngine, private LumivarTiledEngineDelegate {
  public:
    OutputStage(std::shared_ptr<TiledEngine> source, std::weak_ptr<ThreadedImageEngine> owner, bool release)
        : CoreTiledEngine(std::move(source), "", release), owner_(std::move(owner)) {
        setDelegate(this);
    }

  private:
    void engineActiveRectDirty(TiledEngine& sender) override {
        if (const auto engine = owner_.lock()) engine->engineActiveRectDirty(sender);
    }

    std::weak_ptr<ThreadedImageEngine> owner_;
};

// Any image wrapper's renderings, for a wrapper that does not hand them over itself.
class WrapperRenderings final : public DemosaicedRenderings {
  public:
    explicit WrapperRenderings(std::shared_ptr<ImageWrapper> wrapper) : wrapper_(std::move(wrapper)) {}
    Held holdRenderings() override {
        Held held;
        held.master = wrapper_->masterImageBytes();
        held.alternate = wrapper_->alternateImageBytes();
        held.width = wrapper_->imageWidth();
        held.height = wrapper_->imageHeight();
        return held;
    }
    std::shared_ptr<BufferProfile> renderingsProfile() override { return wrapper_->bufferProfile(); }
    const std::shared_ptr<ImageWrapper>& wrapper() const { return wrapper_; }

  private:
    std::shared_ptr<ImageWrapper> wrapper_;
};

// The master as the combine stage will read it under these settings: with the alternate
// when that weighs (one decode makes both), and then only its frame when the alternate
// takes every pixel but the border strips.
std::shared_ptr<const uint16_t[]> masterForCombine(const std::shared_ptr<ImageWrapper>& wrapper,
                                                   const platform::Dictionary& settings) {
    const auto renderings = std::dynamic_pointer_cast<DemosaicedRenderings>(wrapper);
    if (renderings && RawCombineTiledEngine::readsAlternate(settings))
        return renderings->holdRenderingsWithMasterFrame(RawCombineTiledEngine::masterFrameFor(settings))
            .master;
    return wrapper->masterImageBytes();
}

constexpr const char* kProcessStage0 = "-[ThreadedImageEngine processStage0]";
constexpr const char* kProcessStage1 = "-[ThreadedImageEngine processStage1]";

} // namespace

struct ThreadedImageEngine::Chain {
    std::shared_ptr<TileCounters> tiles = std::make_shared<TileCounters>();
    std::shared_ptr<DemosaicedRenderings> renderings;
    std::shared_ptr<RawCombineTiledEngine> demosaiced;
    std::shared_ptr<MedianTiledEngine> median0, median2;
    std::shared_ptr<MeanTiledEngine> mean;
    std::shared_ptr<SharpeningTiledEngine> sharp;
    std::shared_ptr<CoreTiledEngine> core;
    std::shared_ptr<TiledEngine> outputImage;
};

// --- making -----------------------------------------------------------------------------------

ThreadedImageEngine::ThreadedImageEngine(CreateKey) : chain_(std::make_unique<Chain>()) {
    char id[32];
    std::snprintf(id, sizeof id, "%p", static_cast<const void*>(this));
    cacheEngine_ = id;
}

std::shared_ptr<ThreadedImageEngine> ThreadedImageEngine::create() {
    return std::make_shared<ThreadedImageEngine>(CreateKey{});
}

std::shared_ptr<ThreadedImageEngine> ThreadedImageEngine::create(std::shared_ptr<ImageWrapper> rawImage,
                                                                 bool renderForExport) {
    auto engine = create();
    engine->init(std::move(rawImage), renderForExport);
    return engine;
}

void ThreadedImageEngine::init(std::shared_ptr<ImageWrapper> rawImage, bool renderForExport) {
    rawFileWrapper_ = std::move(rawImage);
    highRes_ = renderForExport;
    IntermediateProductCache::sharedIntermediateProductCache().removeAllObjects();
    stage0IsDirty_ = true;
}

ThreadedImageEngine::~ThreadedImageEngine() {
    if (chain_->demosaiced) chain_->demosaiced->flushCache();
    if (chain_->outputImage) chain_->outputImage->flushCache();
}

// --- the key table ----------------------------------------------------------------------------

int32_t ThreadedImageEngine::invalidatedStageForKey(const std::optional<std::string>& key) {
    if (!key) return 0;
    const settings::Setting* setting = settings::find(*key);
    return setting ? int32_t(setting->invalidates) : 0;
}

// --- requests ---------------------------------------------------------------------------------

void ThreadedImageEngine::invalidateImageStage(const std::optional<std::vector<std::string>>& keys,
                                               const std::optional<platform::Dictionary>& newParameters,
                                               const platform::Rect& activeArea) {
    std::vector<std::optional<std::string>> each;
    if (keys)
        each.assign(keys->begin(), keys->end());
    else
        each.emplace_back(std::nullopt);

    bool start = false;
    bool marked = false; // a flag of the loop was set: an export must make its pass
    std::vector<std::optional<std::string>> forOutput;
    std::shared_ptr<TiledEngine> output;
    bool queued = false;
    {
        Lock lock(syncLock_);
        for (const auto& key : each) {
            const bool areaKey = !key || strcasecmp(key->c_str(), kActiveRectDirtyKey) == 0;
            if (areaKey) {
                start = runningLoops_ == 0;
                activeAreaIsDirty_ = marked = true;
            }
            // The area key is no setting: it must not count as an unknown one and decode.
            if (!newParameters || (key && areaKey)) continue;
            const int32_t stage = invalidatedStageForKey(key);
            if (stage < 0) continue;
            imageParameters_ = *newParameters;
            start = runningLoops_ == 0;
            if (stage == 0) {
                stage0IsDirty_ = marked = true;
                continue;
            }
            if (stage < 4) stagenIsDirty_ = marked = true;
            forOutput.push_back(key);
        }
        // The output stage as soon as a pass has made it, before the pass publishes it: a
        // setting that came while the first pass built the chain would otherwise reach no
        // stage when the pass had already read the settings for its closing hand-over.
        output = chain_->core;
        queued = hasDelegate_;
    }
    // Handed in outside the sync lock (the stages take locks of their own), in the order
    // of the requests.
    if (output && !forOutput.empty()) {
        std::lock_guard<std::mutex> order(parametersLock_);
        for (const auto& key : forOutput)
            output->setParameters(key, *newParameters);
    }

    if (!queued) {
        renderLoop(activeArea, marked);
        return;
    }
    if (!start) return; // the running loop takes the flags up, with its own rectangle
    Lock lock(syncLock_);
    if (!serialQueue_) serialQueue_ = std::make_unique<platform::SerialQueue>(kApplicationIdentifier);
    serialQueue_->async([self = shared_from_this(), activeArea] { self->renderLoop(activeArea, false); });
}

void ThreadedImageEngine::engineActiveRectDirty(TiledEngine&) { engineActiveRectDirty(); }

void ThreadedImageEngine::engineActiveRectDirty() {
    invalidateImageStage(std::vector<std::string>{kActiveRectDirtyKey}, std::nullopt, platform::Rect::null());
}

// --- the render loop --------------------------------------------------------------------------

// A synchronous request that set a flag (export) makes its first pass over its own area
// even when a display loop took the flags first and rendered only the visible part.
void ThreadedImageEngine::renderLoop(const platform::Rect& rect, bool forceFirstPass) {
    bool madePass = false;
    bool force = forceFirstPass;
    int failedDecodes = 0;
    {
        Lock lock(syncLock_);
        ++runningLoops_;
    }
    for (;;) {
        // Read outside the sync lock: a wrapper may hold its own lock through a decode.
        const bool failed = wrapperHasError();
        {
            Lock lock(syncLock_);
            const bool dirty = stage0IsDirty_ || stagenIsDirty_ || activeAreaIsDirty_ || force;
            // A wrapper that keeps yielding nothing is decoded again once per request, no more.
            if (!dirty || failed || failedDecodes >= 2) {
                --runningLoops_;
                break;
            }
        }
        sendDidStart();
        bool decode = false;
        {
            Lock lock(syncLock_);
            decode = stage0IsDirty_;
            stage0IsDirty_ = false;
        }
        if (decode) {
            bool announce = false;
            {
                Lock run(runLock_);
                decodeStage0(announce);
                const auto output = runStages();
                // Before the run lock goes: an export waiting for it must find the chain.
                Lock lock(syncLock_);
                if (output)
                    chain_->outputImage = output;
                else
                    stage0IsDirty_ = true, ++failedDecodes;
                stagenIsDirty_ = true;
            }
            // Outside the run lock: an observer may wait on an export, which waits on it.
            if (announce) announceMetadata();
        }
        bool run = false;
        {
            Lock lock(syncLock_);
            const auto& output = chain_->outputImage;
            if (activeAreaIsDirty_ && output) activeAreaIsDirty_ = !output->mainMap().isClean();
            run = (stagenIsDirty_ || activeAreaIsDirty_ || force) && !stage0IsDirty_;
            if (run) stagenIsDirty_ = activeAreaIsDirty_ = false;
        }
        force = false;
        if (run) renderArea(rect);
        finishWithTables();
        madePass = true;
        Lock lock(syncLock_);
        ++statistics_.passes;
    }
    // A change of the output stage alone sets no flag and makes no pass, but its tables are
    // still being rebuilt: the announcement waits for them all the same.
    if (!madePass) finishWithTables();
}

// The output stage rebuilds its tables on a queue of its own: the tiles asked for on an
// announcement must find the settings handed in before it.
void ThreadedImageEngine::finishWithTables() {
    std::shared_ptr<CoreTiledEngine> core;
    {
        Lock lock(syncLock_);
        core = chain_->core;
    }
    if (core) core->waitForTables();
    sendDidFinish();
}

// The output and the area are read only once the run lock is ours: a display pass that
// held it may have just made the chain, or found the image's size. The size is asked of
// the wrapper outside the sync lock, since a wrapper may hold its own lock through a decode.
void ThreadedImageEngine::renderArea(const platform::Rect& rect) {
    Lock run(runLock_);
    std::shared_ptr<TiledEngine> output;
    std::shared_ptr<ImageWrapper> wrapper;
    {
        Lock lock(syncLock_);
        output = chain_->outputImage;
        wrapper = rawFileWrapper_;
        if (output && highRes_) chain_->demosaiced.reset();
    }
    if (!output) return;
    const platform::Rect whole{0, 0, wrapper ? double(wrapper->imageWidth()) : 0.0,
                               wrapper ? double(wrapper->imageHeight()) : 0.0};
    const platform::Rect area = rect.isNull() ? whole : whole.intersection(rect);
    const auto start = Clock::now();
    output->runProcessToCompletion(output->mainMap().regionForRect(area, 0));
    Lock lock(syncLock_);
    statistics_.stagesSeconds = secondsSince(start);
}

bool ThreadedImageEngine::wrapperHasError() {
    std::shared_ptr<ImageWrapper> wrapper;
    {
        Lock lock(syncLock_);
        wrapper = rawFileWrapper_;
    }
    return wrapper && wrapper->error().has_value();
}

void ThreadedImageEngine::sendDidStart() {
    if (const auto d = delegate()) d->CIImageEngineDidStart(*this);
}

void ThreadedImageEngine::sendDidFinish() {
    if (const auto d = delegate()) d->CIImageEngineDidFinish(*this);
}

// --- the stages -------------------------------------------------------------------------------

void ThreadedImageEngine::processStage0() {
    bool announce = false;
    {
        Lock run(runLock_);
        decodeStage0(announce);
    }
    if (announce) announceMetadata();
}

bool ThreadedImageEngine::decodeStage0(bool& announce) {
    announce = false;
    const auto wrapper = rawFileWrapper();
    if (!wrapper) {
        LV_LOG("Error: rawFileWrapper nil in %s", kProcessStage0);
        return false;
    }
    const platform::Dictionary imageSettings = imageParameters().value_or(platform::Dictionary{});
    pushDecodeSettings(*wrapper, imageSettings);
    const auto start = Clock::now();
    const auto master = masterForCombine(wrapper, imageSettings);
    {
        Lock lock(syncLock_);
        ++statistics_.decodes;
        statistics_.decodeSeconds = secondsSince(start);
        // Owners, not addresses: a new image may land where the freed one was.
        if (master && (lastMaster_.owner_before(master) || master.owner_before(lastMaster_))) {
            ++statistics_.newImages;
            lastMaster_ = master;
        }
    }
    if (const auto error = wrapper->error()) {
        LV_LOG("Raw file error: %s (%s %lld)", error->failureReason.c_str(), error->domain.c_str(),
               static_cast<long long>(error->code));
        return false;
    }
    auto parameters = wrapper->getParameters();
    Lock lock(syncLock_);
    cameraParameters_ = std::move(parameters);
    announce = hasDelegate_;
    return true;
}

// Profiles travel in the settings as their stored forms; an unchanged form keeps its object.
void ThreadedImageEngine::pushDecodeSettings(ImageWrapper& wrapper, const platform::Dictionary& parameters) {
    const platform::Dictionary* scanner = settings::form(parameters, settings::IccProfile);
    if (!scanner)
        scannerProfile_.reset(), scannerProfileForm_.reset();
    else if (!scannerProfile_ || scannerProfileForm_ != *scanner)
        scannerProfile_ = ColorSyncProfileWrap::createFromPList(*scanner), scannerProfileForm_ = *scanner;
    const platform::Dictionary* camera = settings::form(parameters, settings::CameraProfile);
    if (!camera)
        cameraProfile_.reset(), cameraProfileForm_.reset();
    else if (!cameraProfile_ || cameraProfileForm_ != *camera)
        cameraProfile_ = DNGCameraProfileAbstract::createFromPList(*camera), cameraProfileForm_ = *camera;
    wrapper.setScannerProfile(scannerProfile_);
    wrapper.setCameraProfile(cameraProfile_);
    wrapper.setProcessAsMonchromeSensor(settings::flag(parameters, settings::MonochromeSensor));
    wrapper.setMaintainHighlights(settings::flag(parameters, settings::MaintainWhites));
}

// Posted on the loop's thread, with the document as the object.
void ThreadedImageEngine::announceMetadata() {
    const auto d = delegate();
    if (!d) return;
    d->CIImageEngineNewMetaData(*this);
    platform::NotificationCenter::defaultCenter().post(platform::notification::NewImageMetadata,
                                                       dynamic_cast<const void*>(d.get()));
}

std::shared_ptr<TiledEngine> ThreadedImageEngine::runStages() {
    auto stage1 = processStage1();
    auto stage2 = processStage2(stage1);
    auto stage3 = processStage3(stage2);
    return processStage4NoCIFilter(stage3);
}

std::shared_ptr<TiledEngine> ThreadedImageEngine::processStage1() {
    const auto wrapper = rawFileWrapper();
    std::shared_ptr<RawCombineTiledEngine> combine;
    std::shared_ptr<DemosaicedRenderings> renderings;
    std::shared_ptr<TileCounters> tiles;
    {
        Lock lock(syncLock_);
        combine = chain_->demosaiced;
        renderings = chain_->renderings;
        tiles = chain_->tiles;
    }
    if (!wrapper || wrapper->error()) return combine;
    if (!masterForCombine(wrapper, imageParameters().value_or(platform::Dictionary{}))) {
        LV_LOG(" No master image in %s", kProcessStage1);
        return combine;
    }
    if (!renderings) {
        renderings = std::dynamic_pointer_cast<DemosaicedRenderings>(wrapper);
        if (!renderings) renderings = std::make_shared<WrapperRenderings>(wrapper);
    }
    if (!combine)
        combine = std::make_shared<Counted<RawCombineTiledEngine>>(
            tiles, 1, platform::Size{double(wrapper->imageWidth()), double(wrapper->imageHeight())}, "",
            highRes_.load());
    combine->setIgnoreEdges(false);
    combine->setReprocessEdgeTiles(false);
    combine->setVerticalBorder(RawCombineTiledEngine::kBorder);
    combine->setHorizontalBorder(RawCombineTiledEngine::kBorder);
    if (combine->rawImage() != renderings) combine->setRawImage(renderings);
    combine->setCameraBaselineExposure(wrapper->cameraBaselineExposure());
    combine->setHighlightExposureAdjust(wrapper->highlightExposureAdjust());
    Lock lock(syncLock_);
    chain_->renderings = renderings;
    chain_->demosaiced = combine;
    return combine;
}

std::shared_ptr<TiledEngine> ThreadedImageEngine::processStage2(const std::shared_ptr<TiledEngine>& input) {
    if (!input) return nullptr;
    Lock lock(syncLock_);
    Chain& c = *chain_;
    const bool release = highRes_;
    const auto configure = [](TiledEngine& stage) {
        stage.setIgnoreEdges(true);
        stage.setReprocessEdgeTiles(true);
        stage.setVerticalBorder(2);
        stage.setHorizontalBorder(2);
    };
    if (!c.median0)
        c.median0 = std::make_shared<Counted<MedianTiledEngine>>(c.tiles, 2, input, cacheEngine_, release);
    configure(*c.median0);
    c.median0->setColorToProcess(0);
    if (!c.median2)
        c.median2 =
            std::make_shared<Counted<MedianTiledEngine>>(c.tiles, 2, c.median0, cacheEngine_, release);
    configure(*c.median2);
    c.median2->setColorToProcess(2);
    if (c.median2->isCanceled()) return c.median2;
    if (!c.mean)
        c.mean = std::make_shared<Counted<MeanTiledEngine>>(c.tiles, 2, c.median2, cacheEngine_, release);
    configure(*c.mean);
    return c.mean;
}

std::shared_ptr<TiledEngine> ThreadedImageEngine::processStage3(const std::shared_ptr<TiledEngine>& input) {
    if (!input) return nullptr;
    Lock lock(syncLock_);
    Chain& c = *chain_;
    if (!c.sharp)
        c.sharp = std::make_shared<Counted<SharpeningTiledEngine>>(c.tiles, 3, input, "", highRes_.load());
    c.sharp->setIgnoreEdges(true);
    c.sharp->setReprocessEdgeTiles(true);
    c.sharp->setVerticalBorder(0);
    c.sharp->setHorizontalBorder(0);
    return c.sharp;
}

// The closing whole-settings update travels up the chain and makes every stage re-read its
// settings and redo all of its tiles: after a decode everything is recomputed.
std::shared_ptr<TiledEngine>
ThreadedImageEngine::processStage4NoCIFilter(const std::shared_ptr<TiledEngine>& input) {
    if (!input) return nullptr;
    std::shared_ptr<CoreTiledEngine> core;
    std::optional<platform::Dictionary> camera;
    {
        Lock lock(syncLock_);
        if (!chain_->core)
            chain_->core = std::make_shared<OutputStage>(input, weak_from_this(), highRes_.load());
        core = chain_->core;
        camera = cameraParameters_;
    }
    const auto wrapper = rawFileWrapper();
    core->setCameraParameters(std::move(camera));
    core->setIgnoreEdges(true);
    core->setReprocessEdgeTiles(false);
    core->setVerticalBorder(0);
    core->setHorizontalBorder(0);
    if (wrapper) {
        core->setCameraBaselineExposure(wrapper->cameraBaselineExposure());
        core->setHighlightExposureAdjust(wrapper->highlightExposureAdjust());
    }
    std::lock_guard<std::mutex> order(parametersLock_);
    core->setParameters(std::nullopt, imageParameters().value_or(platform::Dictionary{}));
    return core;
}

// --- the rest ---------------------------------------------------------------------------------

void ThreadedImageEngine::configureRenderingSpaceForType(const std::optional<std::string>& type,
                                                         bool useWideGamutExports) {
    auto& profiles = ProfileManager::sharedManager();
    std::shared_ptr<ColorSyncProfileWrap> space;
    if (!type)
        space = profiles.getProPhotoGamma1_D65Profile();
    else if (*type == "com.adobe.dng" || *type == "public.tiff")
        space = profiles.getProPhotoGamma1Profile();
    else if (*type == "com.ilm.openexr-image")
        space = useWideGamutExports ? profiles.getProPhotoGamma1Profile() : profiles.getRec709Gamma1Profile();
    else
        space = profiles.getSRGBProfile();
    setRenderingSpace(std::move(space));
}

// The output is read under the sync lock and asked outside it: the sync lock is never held
// while a stage works.
bool ThreadedImageEngine::getPixelValues(int32_t x, int32_t y, std::array<double, 4>& values) {
    const auto output = outputImage();
    return output && output->getPixelValues(x, y, 1, values);
}

std::shared_ptr<TiledEngine> ThreadedImageEngine::outputImage() { return read(chain_->outputImage); }

std::shared_ptr<RawCombineTiledEngine> ThreadedImageEngine::demosaicedImage() {
    return read(chain_->demosaiced);
}

std::shared_ptr<CoreTiledEngine> ThreadedImageEngine::coreEngine() { return read(chain_->core); }

std::shared_ptr<ImageWrapper> ThreadedImageEngine::rawFileWrapper() { return read(rawFileWrapper_); }

void ThreadedImageEngine::setRawFileWrapper(std::shared_ptr<ImageWrapper> wrapper) {
    Lock lock(syncLock_);
    rawFileWrapper_ = std::move(wrapper);
    chain_->renderings.reset();
}

std::optional<platform::Dictionary> ThreadedImageEngine::cameraParameters() {
    return read(cameraParameters_);
}

std::optional<platform::Dictionary> ThreadedImageEngine::imageParameters() { return read(imageParameters_); }

void ThreadedImageEngine::setImageParameters(std::optional<platform::Dictionary> parameters) {
    write(imageParameters_, std::move(parameters));
}

std::shared_ptr<ThreadedImageEngineDelegate> ThreadedImageEngine::delegate() {
    Lock lock(syncLock_);
    return delegate_.lock();
}

void ThreadedImageEngine::setDelegate(std::weak_ptr<ThreadedImageEngineDelegate> delegate) {
    Lock lock(syncLock_);
    // An empty weak pointer (never set, or null) is the export mode; an expired one is not.
    const std::weak_ptr<ThreadedImageEngineDelegate> none;
    hasDelegate_ = delegate.owner_before(none) || none.owner_before(delegate);
    delegate_ = std::move(delegate);
}

bool ThreadedImageEngine::hasDelegate() { return read(hasDelegate_); }

std::shared_ptr<ColorSyncProfileWrap> ThreadedImageEngine::renderingSpace() { return read(renderingSpace_); }

void ThreadedImageEngine::setRenderingSpace(std::shared_ptr<ColorSyncProfileWrap> space) {
    write(renderingSpace_, std::move(space));
}

bool ThreadedImageEngine::isRunning() {
    Lock lock(syncLock_);
    return runningLoops_ > 0;
}

bool ThreadedImageEngine::stage0IsDirty() { return read(stage0IsDirty_); }

bool ThreadedImageEngine::stagenIsDirty() { return read(stagenIsDirty_); }

bool ThreadedImageEngine::activeAreaIsDirty() { return read(activeAreaIsDirty_); }

ThreadedImageEngine::Statistics ThreadedImageEngine::statistics() {
    Lock lock(syncLock_);
    Statistics s = statistics_;
    for (size_t i = 0; i < 4; ++i)
        s.stageTiles[i] = (*chain_->tiles)[i].load();
    return s;
}
