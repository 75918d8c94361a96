#include "engine/stages/CoreTiledEngine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "color/ColorMatchTiledEngine.h"
#include "color/ColorMatchTransform.h"
#include "color/ComputeMatrixAndLUT.h"
#include "engine/core/BitmapImage.h"
#include "engine/core/ImageBufferU16.h"
#include "engine/core/QueueEngine.h"
#include "engine/stages/StageParameters.h"
#include "platform/AppIdentifier.h"
#include "platform/DispatchGroup.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

namespace {

constexpr const char* kProcessTile =
    "-[CoreTiledEngine processTile:colEnd:rowStart:rowEnd:srcBuffer:destBuffer:pass:]";
constexpr const char* kImageTile =
    "-[CoreTiledEngine imageTile:scale:rect:destProfile:tileIsThumbnail:createFloat:orientation:]";

constexpr float kFloatPerU16 = 1.5308075e-5f; // 1 / 65325: float 1.0 is the 16-bit 65325
constexpr float kKneeUnit = 5.5555553f;       // 18 % grey counts as 1 inside the knee
constexpr float kNoKnee = 1e-4f;

// Luminance weights of the gain-table index; they sum to 2^14.
constexpr int64_t kWeightR = 4899, kWeightG = 9618, kWeightB = 1867;

constexpr float kDefaultMatrix[16] = {1, 0, 0, 1228.8f, 0, 1, 0, 2457.6f, 0, 0, 1, 409.6f, 0, 0, 0, 0};

// Clamped into [0, hi] before any conversion to an integer: out of range the conversion
// is undefined. NaN counts as 0. Written to compile without branches.
inline float clampForInt(float v, float hi) {
    v = v > 0.0f ? v : 0.0f;
    return v < hi ? v : hi;
}

// Channels are never negative; 2^30 already puts the index far past the table's end.
inline int64_t luminanceLevel(float v) { return int64_t(clampForInt(v * 65535.0f, 1073741824.0f)); }

bool contains(const platform::Rect& outer, const platform::Rect& inner) {
    return !outer.isNull() && !inner.isNull() && inner.x >= outer.x && inner.y >= outer.y &&
           inner.maxX() <= outer.maxX() && inner.maxY() <= outer.maxY();
}

bool underOnePixel(const platform::Rect& r) { return r.isNull() || r.width < 1 || r.height < 1; }

std::shared_ptr<ImageBuffer> newBuffer(bool isFloat, uint16_t width, uint16_t height,
                                       std::shared_ptr<BufferProfile> profile) {
    if (isFloat) return ImageBufferF32::create(width, height, nullptr, std::move(profile));
    return ImageBufferU16::create(width, height, nullptr, std::move(profile));
}

} // namespace

CoreTiledEngine::CoreTiledEngine(const platform::Size& outputSize, std::string imageID,
                                 bool releasePrecursors)
    : TiledEngine(outputSize, std::move(imageID), releasePrecursors) {
    setup();
}

CoreTiledEngine::CoreTiledEngine(std::shared_ptr<TiledEngine> source, std::string imageID,
                                 bool releasePrecursors)
    : TiledEngine(std::move(source), std::move(imageID), releasePrecursors) {
    setup();
}

// Queued rebuilds finish before the tables they write go away.
CoreTiledEngine::~CoreTiledEngine() { rebuildQueue_.reset(); }

void CoreTiledEngine::setup() {
    auto tables = std::make_shared<Tables>();
    std::copy(std::begin(kDefaultMatrix), std::end(kDefaultMatrix), tables->matrix.begin());
    tables_ = std::move(tables);
    enableCinematic_ = platform::UserDefaults::standard().boolForKey(kEnableCinematicKey);
    rebuildQueue_ =
        std::make_unique<platform::SerialQueue>(std::string(kApplicationIdentifier) + ".coreEngineTables");
}

std::string CoreTiledEngine::engineName() const {
    char name[80];
    std::snprintf(name, sizeof name, "LumivarCoreEngine_%p", static_cast<const void*>(this));
    return name;
}

// --- settings and the tables ---------------------------------------------------------------

void CoreTiledEngine::setParameters(const std::optional<std::string>& key,
                                    const platform::Dictionary& parameters) {
    if (stages::concerns(key, settings::OutputStage)) {
        setEdgesDone(false);
        // The first tables are built before any tile can be asked for; later ones queue up
        // in order while tiles are still served with the old ones.
        if (haveToneTable_)
            rebuildQueue_->async([this, copy = parameters] { rebuild(copy); });
        else
            rebuild(parameters);
    }
    TiledEngine::setParameters(key, parameters);
}

void CoreTiledEngine::waitForTables() {
    rebuildQueue_->sync([] {});
}

std::shared_ptr<const CoreTiledEngine::Tables> CoreTiledEngine::tables() {
    std::shared_lock settings(settingsLock_);
    return tables_;
}

// New tables are made whole outside the settings lock, then put in place under it: tile
// requests go on with the old ones meanwhile and never wait for a rebuild.
void CoreTiledEngine::rebuild(const platform::Dictionary& parameters) {
    std::lock_guard<std::mutex> one(rebuildLock_);
    std::shared_ptr<const Tables> previous;
    std::optional<platform::Dictionary> camera;
    {
        std::shared_lock settings(settingsLock_);
        previous = tables_;
        camera = cameraParameters_;
    }
    auto next = std::make_shared<Tables>();
    std::copy(std::begin(kDefaultMatrix), std::end(kDefaultMatrix), next->matrix.begin());
    next->ettrMul =
        std::exp2(stages::floatSetting(parameters, settings::EttrAdjust) + highlightExposureAdjust_);
    auto lut = ImageBufferF32::create(kToneTableSize, 1);
    ComputeMatrixAndLUT compute;
    compute.setEnableCinematic(enableCinematic_);
    compute.setCameraParameters(std::move(camera));
    compute.setImageParameters(parameters);
    if (lut && compute.populateFloatLUTAndMatrix(lut.get(), next->matrix.data(), &next->outputOffset,
                                                 &next->kneeLow, &next->kneeF)) {
        next->LUT = std::move(lut);
    } else {
        // An empty table would turn every pixel black without a word.
        LV_LOG("%s no tone table: settings or camera parameters missing", "-[CoreTiledEngine rebuild]");
    }
    if (const platform::Value* curve = settings::lookup(parameters, settings::ToneCurveAdjust))
        next->toneCurve = curve->doubleValue();
    chooseCameraProfile(parameters, *previous, *next);
    next->processAsOutputReferred = !settings::flag(parameters, settings::SceneReferred);
    next->clipWhites = !settings::flag(parameters, settings::MaintainWhites);
    fillGainTable(*next);
    const bool haveToneTable = next->LUT != nullptr;
    {
        std::unique_lock settings(settingsLock_);
        tables_ = std::move(next);
    }
    haveToneTable_ = haveToneTable;
    // Only now: a thumbnail processed meanwhile with the old tables must not stay.
    dropProcessedThumbnail();
}

// The object is made once per stored form, so a rebuild reads no profile file.
void CoreTiledEngine::chooseCameraProfile(const platform::Dictionary& parameters, const Tables& previous,
                                          Tables& next) {
    const platform::Dictionary* form = settings::form(parameters, settings::CameraProfile);
    if (!form) return;
    next.cameraProfileForm = *form;
    next.cameraProfile = previous.cameraProfile && previous.cameraProfileForm == *form
                             ? previous.cameraProfile
                             : DNGCameraProfileAbstract::createFromPList(*form);
}

// Without a profile there is no gain step at all, rather than an earlier profile's curve.
void CoreTiledEngine::fillGainTable(Tables& next) const {
    if (!next.cameraProfile) return;
    std::shared_ptr<std::vector<float>> gain;
    try {
        gain = std::make_shared<std::vector<float>>(kGainTableSize);
    } catch (const std::bad_alloc&) {
        return;
    }
    const float baseline =
        cameraBaselineExposure_ < 0 && !next.clipWhites ? float(cameraBaselineExposure_) : 0.0f;
    next.cameraProfile->generateLUT16(nullptr, gain->data(), baseline, next.processAsOutputReferred,
                                      next.clipWhites, next.toneCurve ? float(*next.toneCurve) : 1.0f);
    next.fLut = std::move(gain);
}

// --- running: only the chain above -------------------------------------------------------------

std::shared_ptr<TileProcess> CoreTiledEngine::runProcessToCompletion(const TileRegion& region) {
    return prepareBuffers(region, nullptr);
}

std::shared_ptr<TileProcess> CoreTiledEngine::prepareBuffers(const TileRegion& region,
                                                             const std::shared_ptr<TileProcess>&) {
    std::shared_ptr<TileProcess> upstream =
        sourceBuf() ? sourceBuf()->runProcessToCompletion(region) : nullptr;
    if (upstream && !upstream->dirtyList.empty()) setCachedImageIsDirty(true);
    {
        std::lock_guard<std::mutex> guard(tileSourceLock_);
        tileSourceBuffer_ = upstream ? upstream->buffer : nullptr;
    }
    return std::make_shared<TileProcess>();
}

std::shared_ptr<ImageBuffer> CoreTiledEngine::tileSourceBuffer() {
    std::lock_guard<std::mutex> guard(tileSourceLock_);
    return tileSourceBuffer_;
}

// --- pixel work -----------------------------------------------------------------------------------

void CoreTiledEngine::processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                                  ImageBuffer* src, ImageBuffer* dest, int32_t) {
    // One set of tables for the whole request, taken without holding the settings lock
    // through the work: its block tasks and a rebuild meanwhile never meet that lock held.
    const auto t = tables();
    if (!t->LUT) {
        LV_LOG("%s ERROR ERROR ERROR - NULL LUT", kProcessTile);
        return;
    }
    if (!src || !dest || src->isFloat()) return;
    colStart = std::max(colStart, 0);
    rowStart = std::max(rowStart, 0);
    colEnd = std::min({colEnd, int32_t(src->imageWidth()), int32_t(dest->imageWidth())});
    rowEnd = std::min({rowEnd, int32_t(src->imageHeight()), int32_t(dest->imageHeight())});
    if (colStart >= colEnd || rowStart >= rowEnd) return;
    if (colEnd - colStart <= kBlockSize && rowEnd - rowStart <= kBlockSize) {
        processBlock(colStart, colEnd, rowStart, rowEnd, *src, *dest, *t);
        return;
    }
    // A whole-image request spreads its blocks over every core; each block is independent.
    // The callers may hold the document's lock (export) or the thumbnail lock: the blocks
    // take neither, and the wait runs nothing but them (DispatchGroup).
    platform::DispatchGroup group(QueueEngine::sharedQueueEngine().sharedQueue());
    for (int32_t c = colStart; c < colEnd; c += kBlockSize)
        for (int32_t r = rowStart; r < rowEnd; r += kBlockSize)
            group.async([=, this, &t] {
                processBlock(c, std::min(c + kBlockSize, colEnd), r, std::min(r + kBlockSize, rowEnd), *src,
                             *dest, *t);
            });
    group.wait();
}

namespace {

// The knee on a toned value: logarithmic above kneeLow (in units of 18 % grey), the value
// itself below. Multiplies by reciprocals: the divisions were the loop's slowest part.
inline float kneeCompress(float toned, float kneeLow, float kneeF, float invKneeF) {
    const float c = toned * kKneeUnit;
    if (!(c > kneeLow)) return toned;
    return (std::log((c - kneeLow) * kneeF + 1) * invKneeF + kneeLow) * (1 / kKneeUnit);
}

inline void store(float* out, float r, float g, float b) {
    out[0] = r, out[1] = g, out[2] = b, out[3] = 1.0f;
}
inline void store(uint16_t* out, float r, float g, float b) {
    out[0] = uint16_t(clampForInt(r * kU16PerFloatUnit, 65535));
    out[1] = uint16_t(clampForInt(g * kU16PerFloatUnit, 65535));
    out[2] = uint16_t(clampForInt(b * kU16PerFloatUnit, 65535));
    out[3] = 65535;
}

// Equal bits give equal results; cheaper than a float compare, which must rule out NaN.
inline bool sameBits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

// Four floats in one register (a g++ and clang vector extension).
using Float4 = float __attribute__((vector_size(16)));

// What one request applies, copied out of the engine so that the loops keep it in registers.
struct PixelTables {
    float scale;
    const float* gain; // null: no gain step
    const float* tone; // RGBA entries, the gain in red
    float m[16];
    float offset, kneeLow, kneeF, invKneeF;
    bool knee;

    float toned(float value, float mul) const {
        const float v = value * mul + offset;
        return knee ? kneeCompress(v, kneeLow, kneeF, invKneeF) : v;
    }

    void gainRow(float* p, size_t pixels) const {
        for (size_t i = 0; i < pixels; ++i, p += 4) {
            // 64 bits: from ettrMul 2 on a bright pixel's weighted sum passes 2^31.
            const int64_t level = (luminanceLevel(p[0]) * kWeightR + luminanceLevel(p[1]) * kWeightG +
                                   luminanceLevel(p[2]) * kWeightB) >>
                                  14;
            const float g = gain[std::clamp<int64_t>(level, 0, CoreTiledEngine::kGainTableSize - 1)];
            p[0] *= g, p[1] *= g, p[2] *= g;
        }
    }

    // The matrix puts the tone-table index into the alpha slot. With the monochrome mix the
    // three channels are one value, toned once.
    // Rows of the matrix as four-wide vectors: output = R x row 0 + G x row 1 + B x row 2 + A x row 3.
    template <class Sample> void toneRow(const float* p, size_t pixels, Sample* out) const {
        Float4 rows[4];
        std::memcpy(rows, m, sizeof rows);
        for (size_t i = 0; i < pixels; ++i, p += 4, out += 4) {
            const Float4 o = p[0] * rows[0] + p[1] * rows[1] + p[2] * rows[2] + p[3] * rows[3];
            const float mul = tone[4 * int32_t(clampForInt(o[3], CoreTiledEngine::kToneTableSize - 1))];
            const float r = toned(o[0], mul);
            const float g = sameBits(o[1], o[0]) ? r : toned(o[1], mul);
            const float b = sameBits(o[2], o[1]) ? g : toned(o[2], mul);
            store(out, r, g, b);
        }
    }
};

} // namespace

void CoreTiledEngine::processBlock(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                                   const ImageBuffer& src, ImageBuffer& dest, const Tables& tables) const {
    if (isCanceled()) return;
    PixelTables t{tables.ettrMul * kFloatPerU16,
                  tables.fLut ? tables.fLut->data() : nullptr,
                  tables.LUT->bufferFloatForRow(0),
                  {},
                  tables.outputOffset,
                  tables.kneeLow,
                  tables.kneeF,
                  1 / tables.kneeF,
                  tables.kneeF >= kNoKnee};
    std::copy(tables.matrix.begin(), tables.matrix.end(), t.m);
    const size_t pixels = size_t(colEnd - colStart);
    float row[kBlockSize * 4];
    for (int32_t y = rowStart; y < rowEnd; ++y) {
        const uint16_t* in = src.bufferU16ForRow(size_t(y), size_t(colStart));
        for (size_t k = 0; k < 4 * pixels; ++k)
            row[k] = in[k] * t.scale;
        if (t.gain) t.gainRow(row, pixels);
        if (dest.isFloat())
            t.toneRow(row, pixels, dest.bufferFloatForRow(size_t(y), size_t(colStart)));
        else
            t.toneRow(row, pixels, dest.bufferU16ForRow(size_t(y), size_t(colStart)));
    }
}

// The knee works on the toned value, so contrast and brightness still count with it on.
float CoreTiledEngine::processKnee(float value, float mul) {
    const auto t = tables();
    return kneeCompress(value * mul + t->outputOffset, t->kneeLow, t->kneeF, 1 / t->kneeF);
}

// --- serving tiles ----------------------------------------------------------------------------

float CoreTiledEngine::zoomKeyForScale(double scale) {
    const double factor = std::max(1.0, 1.0 / scale);
    return std::floor(100.0f / float(factor));
}

std::shared_ptr<BitmapImage> CoreTiledEngine::imageTile(int32_t, double scale, const platform::Rect& rect,
                                                        std::shared_ptr<BufferProfile> destProfile,
                                                        bool* tileIsThumbnail, bool createFloat,
                                                        int32_t orientation) {
    const auto source = tileSourceBuffer();
    if (!source) return nullptr;
    // Export cannot tell a thumbnail from the image, so it waits for the source and for the
    // settings it has just handed in.
    const bool wait = tileIsThumbnail == nullptr;
    if (wait) waitForTables();
    const platform::Rect area =
        platform::Rect{rect.x, source->imageHeight() - rect.height - rect.y, rect.width, rect.height}
            .intersection(source->extent());
    if (underOnePixel(area)) {
        LV_LOG("%s ERROR zero width", kImageTile);
        return nullptr;
    }
    const double factor = std::max(1.0, 1.0 / scale);
    if (!std::isfinite(factor)) return nullptr;
    bool existed = false, busy = false;
    // Export at full size reads the source itself, holding it against a render meanwhile,
    // rather than a cached whole-image copy of it.
    const bool direct = wait && factor == 1.0;
    std::optional<BufferLock> reading;
    if (direct) reading.emplace(source.get(), this), existed = true;
    const auto image =
        direct ? source : zoomImage(*source, zoomKeyForScale(scale), factor, wait, existed, busy);
    // The display asks again shortly for a tile it gets nothing for.
    if (busy) return nullptr;

    std::shared_ptr<ImageBuffer> out;
    bool askForRender = false;
    if (image && contains(image->validRegion(), area)) {
        if (tileIsThumbnail) *tileIsThumbnail = false;
        // An export's colour transform is made on a worker while the blocks are worked: making
        // it is mostly Little CMS inverting the output's curves, on one core. The task takes
        // only the transform cache's lock, which nothing here holds.
        platform::DispatchGroup transform(QueueEngine::sharedQueueEngine().sharedQueue());
        auto from = std::dynamic_pointer_cast<ColorSyncProfileWrap>(image->bufferProfile());
        auto to = std::dynamic_pointer_cast<ColorSyncProfileWrap>(destProfile);
        if (wait && from && to && from != to)
            transform.async([from, to, createFloat] {
                ColorMatchTransform::cached(*from, *to,
                                            createFloat ? ColorMatchTransform::Depth::Float32
                                                        : ColorMatchTransform::Depth::UInt16);
            });
        out = processedCrop(*image, area, factor, false, createFloat);
        transform.wait();
        reading.reset();
    } else {
        reading.reset();
        if (tileIsThumbnail) *tileIsThumbnail = true;
        askForRender = existed;
        const auto thumbnail = getThumbnail(false);
        if (thumbnail && thumbnail->imageWidth())
            out = processedCrop(*thumbnail, area, double(source->imageWidth()) / thumbnail->imageWidth(),
                                true, createFloat);
        else
            LV_LOG("%s No cached or thumbnail image available", kImageTile);
    }
    if (out && destProfile && destProfile != out->bufferProfile()) {
        ColorMatchTiledEngine match(platform::Size{double(out->imageWidth()), double(out->imageHeight())}, "",
                                    true);
        match.setSrcProfile(std::dynamic_pointer_cast<ColorSyncProfileWrap>(out->bufferProfile()));
        match.setDestProfile(std::dynamic_pointer_cast<ColorSyncProfileWrap>(destProfile));
        match.convertBuffer(*out);
    }
    if (askForRender && delegate()) delegate()->engineActiveRectDirty(*this);
    return out ? out->getCGImageBitMap(false, orientation) : nullptr;
}

// The down-scaled source for a zoom, made when missing or when a render changed the source.
// Most requests find it made and only read; a display request never waits for a busy source,
// nor for the cache while another request remakes an image in it: it is `busy` then, and
// leaves the worker it runs on to the resize's rows rather than sleep on it.
std::shared_ptr<ImageBuffer> CoreTiledEngine::zoomImage(ImageBuffer& source, float zoomKey, double factor,
                                                        bool wait, bool& existed, bool& busy) {
    const auto cached = [&]() -> std::shared_ptr<ImageBuffer> {
        std::shared_lock cache(cacheLock(), std::defer_lock);
        if (wait)
            cache.lock();
        else if (!cache.try_lock())
            return busy = true, nullptr;
        const auto found = cachedImages_.find(zoomKey);
        return found == cachedImages_.end() ? nullptr : found->second;
    };
    auto image = cachedImageIsDirty() ? nullptr : cached();
    if (!image && !busy) {
        remakeZoomImage(source, zoomKey, factor, wait, busy);
        if (!busy) image = cached();
    }
    existed = image != nullptr;
    return image;
}

// A waiting request takes the source before the cache lock, so that display requests are
// never held up behind it; a display request takes the source only if it is free, and
// remakes nothing while another request does. The resize runs with both held: its row
// chunks take no lock, and the thread waiting for them runs nothing else (parallelRows).
void CoreTiledEngine::remakeZoomImage(ImageBuffer& source, float zoomKey, double factor, bool wait,
                                      bool& busy) {
    std::optional<BufferLock> waited;
    if (wait) waited.emplace(&source, this);
    std::unique_lock remaking(remakeLock_, std::defer_lock);
    if (wait)
        remaking.lock();
    else if (!remaking.try_lock())
        return void(busy = true);
    std::unique_lock cache(cacheLock());
    const bool missing = cachedImages_.find(zoomKey) == cachedImages_.end();
    if (!cachedImageIsDirty() && !missing) return;
    const BufferLock held(&source, this, std::try_to_lock); // the lock is recursive: a waiter has it
    if (!held.owns()) return;
    if (cachedImageIsDirty()) cachedImages_.clear();
    setCachedImageIsDirty(false);
    const double width = std::trunc(source.imageWidth() / factor),
                 height = std::trunc(source.imageHeight() / factor);
    auto scaled = width >= 1 && height >= 1 ? source.resizedImageFromBuffer(uint16_t(width), uint16_t(height))
                                            : nullptr;
    if (!scaled || underOnePixel(scaled->validRegion()))
        LV_LOG("%s warning validRegion in scaledImage invalid %f %f", kImageTile, width, height);
    if (scaled)
        cachedImages_[zoomKey] = std::move(scaled);
    else
        cachedImages_.erase(zoomKey);
}

// The rectangle (top-left origin, full-size pixels) cut from an image `factor` times smaller.
// A cut from the processed thumbnail is copied, never converted where the thumbnail lives.
std::shared_ptr<ImageBuffer> CoreTiledEngine::processedCrop(const ImageBuffer& image,
                                                            const platform::Rect& rect, double factor,
                                                            bool fromThumbnail, bool createFloat) {
    const float f = float(factor);
    const platform::Rect scaled{std::round(float(rect.x) / f), std::round(float(rect.y) / f),
                                std::round(float(rect.width) / f), std::round(float(rect.height) / f)};
    const auto crop = image.croppedImageFromBuffer(scaled);
    if (!crop) return nullptr;
    if (fromThumbnail) {
        if (createFloat) return ImageBufferF32::createWithCopyFrom(*crop);
        return ImageBufferU16::createWithCopyFrom(*crop);
    }
    auto out = newBuffer(createFloat, crop->imageWidth(), crop->imageHeight(), crop->bufferProfile());
    if (out) processTile(0, out->imageWidth(), 0, out->imageHeight(), crop.get(), out.get(), 0);
    return out;
}

std::shared_ptr<ImageBuffer> CoreTiledEngine::getThumbnail(bool flag) {
    std::lock_guard<std::mutex> guard(thumbLock_);
    auto thumbnail = sourceBuf() ? sourceBuf()->getThumbnail(flag) : nullptr;
    if (thumbnail != thumbBuf_) {
        thumbBuf_ = std::move(thumbnail);
        processsedThumbBuf_.reset();
    }
    // Processed under the thumbnail lock; a large thumbnail's block tasks take no lock.
    if (thumbBuf_ && !processsedThumbBuf_) {
        auto processed = ImageBufferU16::create(thumbBuf_->imageWidth(), thumbBuf_->imageHeight(), nullptr,
                                                thumbBuf_->bufferProfile());
        if (processed) {
            processTile(0, processed->imageWidth(), 0, processed->imageHeight(), thumbBuf_.get(),
                        processed.get(), 0);
            processsedThumbBuf_ = std::move(processed);
        }
    }
    return processsedThumbBuf_;
}

void CoreTiledEngine::dropProcessedThumbnail() {
    std::lock_guard<std::mutex> guard(thumbLock_);
    processsedThumbBuf_.reset();
}

bool CoreTiledEngine::getPixelValues(double x, double y, int32_t patchSize, std::array<double, 4>& values) {
    const auto source = tileSourceBuffer();
    if (!source || !sourceBuf()) return false;
    const int32_t half = patchSize / 2;
    const platform::Rect patch =
        platform::Rect{x - half, y - half, double(patchSize), double(patchSize)}.intersection(extent());
    if (patch.isEmpty() || !sourceBuf()->mainMap().isCleanInRect(patch)) return false;
    const auto crop = source->croppedImageFromBuffer(patch);
    if (!crop) return false;
    auto out =
        ImageBufferU16::create(crop->imageWidth(), crop->imageHeight(), nullptr, crop->bufferProfile());
    if (!out) return false;
    processTile(0, out->imageWidth(), 0, out->imageHeight(), crop.get(), out.get(), 0);
    return out->sampleValues(half, half, patchSize, values[0], values[1], values[2], values[3]);
}

// --- accessors --------------------------------------------------------------------------------

void CoreTiledEngine::setMatrix(const float values[16]) {
    std::unique_lock settings(settingsLock_);
    auto next = std::make_shared<Tables>(*tables_);
    std::copy(values, values + 16, next->matrix.begin());
    tables_ = std::move(next);
}

std::array<float, 16> CoreTiledEngine::matrix() { return tables()->matrix; }

std::optional<platform::Dictionary> CoreTiledEngine::cameraParameters() {
    std::shared_lock settings(settingsLock_);
    return cameraParameters_;
}

void CoreTiledEngine::setCameraParameters(std::optional<platform::Dictionary> parameters) {
    std::unique_lock settings(settingsLock_);
    cameraParameters_ = std::move(parameters);
}

float CoreTiledEngine::ettrMul() { return tables()->ettrMul; }

float CoreTiledEngine::outputOffset() { return tables()->outputOffset; }

float CoreTiledEngine::kneeLow() { return tables()->kneeLow; }

float CoreTiledEngine::kneeF() { return tables()->kneeF; }

std::shared_ptr<DNGCameraProfileAbstract> CoreTiledEngine::cameraProfile() { return tables()->cameraProfile; }

std::vector<float> CoreTiledEngine::toneTable() {
    const auto t = tables();
    if (!t->LUT) return {};
    const float* px = t->LUT->bufferFloatForRow(0);
    return std::vector<float>(px, px + 4 * kToneTableSize);
}

std::vector<float> CoreTiledEngine::gainTable() {
    const auto t = tables();
    return t->fLut ? *t->fLut : std::vector<float>{};
}
