#pragma once
// A first stage that serves a fixed synthetic picture, standing in for the decoded image,
// and keeps its output to itself as the first stage of the chain does. Like that stage it
// can carry a colour profile and serve a small thumbnail of its picture.
#include <functional>
#include <memory>

#include "engine/core/ImageBufferU16.h"
#include "engine/core/TiledEngine.h"

class StageSource : public TiledEngine {
  public:
    using Pixel = std::array<uint16_t, 4>;

    StageSource(uint16_t width, uint16_t height, const std::function<Pixel(int32_t, int32_t)>& paint)
        : TiledEngine(platform::Size{double(width), double(height)}, "", false),
          picture_(ImageBufferU16::create(width, height)) {
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const Pixel p = paint(x, y);
                std::copy(p.begin(), p.end(), picture_->bufferU16ForRow(size_t(y), size_t(x)));
            }
    }

    const ImageBufferU16& picture() const { return *picture_; }
    // Tags the output and the thumbnail.
    void setProfile(std::shared_ptr<BufferProfile> profile) {
        picture_->setBufferProfile(std::move(profile));
    }
    // A down-scaled copy of the picture that getThumbnail serves from now on.
    void makeThumbnail(uint16_t width, uint16_t height) {
        thumbnail_ = picture_->resizedImageFromBuffer(width, height);
    }
    std::shared_ptr<ImageBuffer> getThumbnail(bool) override { return thumbnail_; }

    std::shared_ptr<TileProcess> runProcessToCompletion(const TileRegion& region) override {
        auto process = TiledEngine::runProcessToCompletion(region);
        if (process->buffer) {
            process->buffer->setBufferOwner(this);
            if (picture_->bufferProfile()) process->buffer->setBufferProfile(picture_->bufferProfile());
        }
        return process;
    }
    void processTile(int32_t c0, int32_t c1, int32_t r0, int32_t r1, ImageBuffer*, ImageBuffer* dest,
                     int32_t) override {
        copyTile(c0, c1, r0, r1, picture_.get(), dest);
    }

  private:
    std::shared_ptr<ImageBufferU16> picture_;
    std::shared_ptr<ImageBuffer> thumbnail_;
};

// Reads pixel (x, y) of any 16-bit buffer.
inline StageSource::Pixel pixelAt(const ImageBuffer& buffer, int32_t x, int32_t y) {
    const uint16_t* p = buffer.bufferU16ForRow(size_t(y), size_t(x));
    return {p[0], p[1], p[2], p[3]};
}
