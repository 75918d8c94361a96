#include "engine/stages/RawCombineTiledEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "engine/stages/StageParameters.h"

namespace {

struct Hsv {
    float h, s, v;
};

// Hue in 0..6.
Hsv toHsv(float r, float g, float b) {
    const float value = std::max({r, g, b});
    const float delta = value - std::min({r, g, b});
    if (!(delta > 0.0f)) return {0.0f, 0.0f, value};
    float hue;
    if (r == value) {
        hue = (g - b) / delta;
        if (hue < 0.0f) hue += 6.0f;
    } else if (g == value) {
        hue = (b - r) / delta + 2.0f;
    } else {
        hue = (r - g) / delta + 4.0f;
    }
    return {hue, delta / value, value};
}

void toRgb(Hsv c, float rgb[3]) {
    if (c.s <= 0.0f) {
        rgb[0] = rgb[1] = rgb[2] = c.v;
        return;
    }
    if (c.h < 0.0f) c.h += 6.0f;
    if (c.h >= 6.0f) c.h -= 6.0f;
    const int sector = std::clamp(int(c.h), 0, 5);
    const float f = c.h - float(sector);
    const float p = c.v * (1 - c.s), q = c.v * (1 - c.s * f), t = c.v * (1 - c.s * (1 - f));
    const float table[6][3] = {{c.v, t, p}, {q, c.v, p}, {p, c.v, t}, {p, q, c.v}, {t, p, c.v}, {c.v, p, q}};
    std::copy(table[sector], table[sector] + 3, rgb);
}

Hsv pixelHsv(const uint16_t* p) { return toHsv(p[0] / 65535.0f, p[1] / 65535.0f, p[2] / 65535.0f); }

// Hues are blended the short way round the circle.
float blendHue(float master, float alternate, float weight) {
    if (alternate > master) {
        if (alternate - master > 3.0f) master += 6.0f;
    } else if (master - alternate > 3.0f) {
        alternate += 6.0f;
    }
    return alternate * weight + master * (1 - weight);
}

float weightOf(const platform::Dictionary& parameters, const settings::Setting& setting) {
    return std::clamp(stages::floatSetting(parameters, setting), 0.0f, 1.0f);
}

} // namespace

bool RawCombineTiledEngine::readsAlternate(const platform::Dictionary& parameters) {
    return weightOf(parameters, settings::ArtifactSuppression) > 0.0f ||
           weightOf(parameters, settings::ChromaArtifactSuppression) > 0.0f;
}

uint16_t RawCombineTiledEngine::masterFrameFor(const platform::Dictionary& parameters) {
    const bool whole = weightOf(parameters, settings::ArtifactSuppression) == 1.0f &&
                       weightOf(parameters, settings::ChromaArtifactSuppression) == 1.0f;
    return whole ? uint16_t(kBorder) : 0;
}

std::string RawCombineTiledEngine::engineName() const {
    char name[80];
    std::snprintf(name, sizeof name, "LumivarRawCombineEngine_%p", static_cast<const void*>(this));
    return name;
}

void RawCombineTiledEngine::setParameters(const std::optional<std::string>& key,
                                          const platform::Dictionary& parameters) {
    if (stages::concerns(key, settings::RawCombineStage)) {
        ettrMul_ = 1.0f;
        artifactSuppression_ = weightOf(parameters, settings::ArtifactSuppression);
        chromaArtifactSuppression_ = weightOf(parameters, settings::ChromaArtifactSuppression);
        markAllDirty();
        setEdgesDone(false);
    }
    TiledEngine::setParameters(key, parameters);
}

void RawCombineTiledEngine::processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                                        ImageBuffer*, ImageBuffer* dest, int32_t) {
    processArea(colStart, colEnd, rowStart, rowEnd, artifactSuppression_, chromaArtifactSuppression_, dest);
}

void RawCombineTiledEngine::processEdge(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                                        ImageBuffer*, ImageBuffer* dest, int32_t) {
    processArea(colStart, colEnd, rowStart, rowEnd, 0.0f, 0.0f, dest);
}

std::shared_ptr<const DemosaicedRenderings::Held> RawCombineTiledEngine::renderingsForTiles() {
    {
        std::lock_guard<std::mutex> guard(heldLock_);
        if (held_) return held_;
    }
    if (!rawImage_) return nullptr;
    return std::make_shared<const DemosaicedRenderings::Held>(holdFrom(*rawImage_));
}

// Weights of zero pass the master on as it is: the alternate is not even decoded then.
// Whole weights read the master only in the border strips, which is all the image then
// needs to develop of it.
DemosaicedRenderings::Held RawCombineTiledEngine::holdFrom(DemosaicedRenderings& image) const {
    if (!(artifactSuppression_ > 0.0f || chromaArtifactSuppression_ > 0.0f)) return image.holdMaster();
    if (artifactSuppression_ == 1.0f && chromaArtifactSuppression_ == 1.0f && ettrMul_ == 1.0f)
        return image.holdRenderingsWithMasterFrame(
            uint16_t(std::clamp(std::max(verticalBorder(), horizontalBorder()), 1,
                                int32_t(std::numeric_limits<uint16_t>::max()))));
    return image.holdRenderings();
}

// Renderings of another size than the output would be read out of bounds: they count as
// missing, and a missing master leaves the output as it is.
void RawCombineTiledEngine::processArea(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                                        float artifactSup, float cArtifactSup, ImageBuffer* dest) {
    if (!dest) return;
    const auto held = renderingsForTiles();
    if (!held || !held->master) return;
    if (held->width != dest->imageWidth() || held->height != dest->imageHeight()) return;
    const size_t width = held->width;
    const uint16_t* master = held->master.get();
    const uint16_t* alternate = held->alternate.get();
    // Whole weights take one rendering as it is: its round trip through HSV would only
    // lose the last bit here and there, and costs most of the stage.
    const uint16_t* whole = nullptr;
    if (ettrMul_ == 1.0f) {
        if (!alternate || (artifactSup == 0.0f && cArtifactSup == 0.0f))
            whole = master;
        else if (artifactSup == 1.0f && cArtifactSup == 1.0f)
            whole = alternate;
    }
    // A master developed only in its frame has nothing to give elsewhere: weights changed
    // since the renderings were held, and the run after the change holds the whole.
    const int32_t frame = held->masterFrame;
    if (frame && whole != alternate && rowStart < held->height - frame && rowEnd > frame &&
        colStart < held->width - frame && colEnd > frame)
        return;
    if (whole) {
        for (int32_t row = rowStart; row < rowEnd; ++row) {
            uint16_t* out = dest->bufferU16ForRow(size_t(row)) + 4 * size_t(colStart);
            const uint16_t* in = whole + (size_t(row) * width + size_t(colStart)) * 3;
            for (int32_t col = colStart; col < colEnd; ++col, in += 3, out += 4) {
                out[0] = in[0], out[1] = in[1], out[2] = in[2];
                out[3] = 65535;
            }
        }
        return;
    }
    for (int32_t row = rowStart; row < rowEnd; ++row) {
        uint16_t* out = dest->bufferU16ForRow(size_t(row));
        for (int32_t col = colStart; col < colEnd; ++col) {
            const size_t at = (size_t(row) * width + size_t(col)) * 3;
            Hsv c = pixelHsv(master + at);
            if (alternate) {
                const Hsv a = pixelHsv(alternate + at);
                c.h = blendHue(c.h, a.h, cArtifactSup);
                c.s = a.s * cArtifactSup + c.s * (1 - cArtifactSup);
                c.v = a.v * artifactSup + c.v * (1 - artifactSup);
            }
            c.v = std::min(c.v * ettrMul_, 1.0f);
            float rgb[3];
            toRgb(c, rgb);
            uint16_t* p = out + 4 * col;
            for (int k = 0; k < 3; ++k)
                p[k] = stages::clampU16(int64_t(rgb[k] * 65535.0f));
            p[3] = 65535;
        }
    }
}

std::shared_ptr<TileProcess> RawCombineTiledEngine::runProcessToCompletion(const TileRegion& region) {
    // A run with every tile and strip done changes nothing (an export's run, say): the
    // thumbnail stays, rather than being shrunk again from the whole image.
    if (!mainMap().isClean() || (!ignoreEdges() && !edgesDone())) {
        std::lock_guard<std::mutex> guard(thumbLock_);
        thumbnailIsDirty_ = true;
    }
    // Held for the whole run: the image may free its own renderings meanwhile.
    std::shared_ptr<const DemosaicedRenderings::Held> held;
    if (rawImage_) {
        held = std::make_shared<const DemosaicedRenderings::Held>(holdFrom(*rawImage_));
        std::lock_guard<std::mutex> guard(heldLock_);
        held_ = held;
    }
    auto process = TiledEngine::runProcessToCompletion(region);
    {
        std::lock_guard<std::mutex> guard(heldLock_);
        if (held_ == held) held_.reset(); // a run that started meanwhile holds its own
    }
    if (!process || !process->buffer) return process;
    if (rawImage_) process->buffer->setBufferProfile(rawImage_->renderingsProfile());
    process->buffer->setBufferOwner(this);
    if (!shouldReleasePrecursors()) {
        {
            std::lock_guard<std::mutex> guard(pixelValueLock_);
            pixelValueBuffer_ = process->buffer;
        }
        buildThumbnail();
    }
    return process;
}

std::shared_ptr<ImageBuffer> RawCombineTiledEngine::pixelValueBuffer() {
    std::lock_guard<std::mutex> guard(pixelValueLock_);
    return pixelValueBuffer_;
}

void RawCombineTiledEngine::buildThumbnail() {
    const auto output = pixelValueBuffer();
    {
        std::lock_guard<std::mutex> guard(thumbLock_);
        if (!output || !mainMap().isClean()) {
            thumbnailIsDirty_ = true;
            return;
        }
        if (!thumbnailIsDirty_ && thumbnail_) return;
        thumbnailIsDirty_ = false;
    }
    // Resized outside the thumbnail lock, which the display's requests take meanwhile for
    // the thumbnail in hand. Runs of a chain come one at a time (the engine's run lock), so
    // no other build races this one.
    const double factor = 512.5 / std::max(output->imageWidth(), output->imageHeight());
    // A very thin image keeps one pixel across rather than none.
    auto thumbnail = output->resizedImageFromBuffer(uint16_t(std::max(1.0, output->imageWidth() * factor)),
                                                    uint16_t(std::max(1.0, output->imageHeight() * factor)));
    std::lock_guard<std::mutex> guard(thumbLock_);
    thumbnail_ = std::move(thumbnail);
}

std::shared_ptr<ImageBuffer> RawCombineTiledEngine::getThumbnail(bool) {
    std::lock_guard<std::mutex> guard(thumbLock_);
    if (!thumbnail_) thumbnailIsDirty_ = true;
    return thumbnail_;
}

bool RawCombineTiledEngine::getPixelValues(double x, double y, int32_t patchSize,
                                           std::array<double, 4>& values) {
    const auto output = pixelValueBuffer();
    if (!output) return false;
    const BufferLock held(output.get(), this);
    const double half = patchSize / 2;
    const auto patch =
        output->croppedImageFromBuffer({x - half, y - half, double(patchSize), double(patchSize)});
    if (patch)
        patch->sampleValues(patchSize / 2, patchSize / 2, patchSize, values[0], values[1], values[2],
                            values[3]);
    return patch != nullptr;
}
