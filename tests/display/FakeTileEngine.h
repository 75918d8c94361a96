#pragma once
// An output engine stand-in that serves tiles of a synthetic picture the way the output
// stage does: the rectangle flipped from a lower-left origin, one down-scaled copy per zoom
// and a crop of it, or a crop of a thumbnail while it is told the full image is not ready.
// It counts requests and lets a test step in while one runs.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/core/BitmapImage.h"
#include "engine/core/ImageBufferU16.h"
#include "engine/core/TiledEngine.h"
#include "platform/ColorSpace.h"

// Tags buffers as sRGB, so the display shows their values unchanged.
class SRGBBufferProfile : public BufferProfile {
  public:
    std::shared_ptr<const platform::ColorSpace> cgColorSpace() override {
        return platform::ColorSpace::sRGB();
    }
};

class FakeTileEngine : public TiledEngine {
  public:
    using Pixel = std::array<uint16_t, 4>;
    using Paint = std::function<Pixel(int32_t x, int32_t y)>;
    struct Request {
        int32_t resolution;
        double scale;
        platform::Rect rect; // lower-left origin, as asked
    };

    FakeTileEngine(uint16_t width, uint16_t height, const Paint& paint)
        : TiledEngine(platform::Size{double(width), double(height)}, "", false),
          picture_(ImageBufferU16::create(width, height, nullptr, std::make_shared<SRGBBufferProfile>())) {
        for (int32_t y = 0; y < height; ++y) {
            uint16_t* row = picture_->bufferU16ForRow(size_t(y));
            for (int32_t x = 0; x < width; ++x) {
                const Pixel p = paint(x, y);
                std::copy(p.begin(), p.end(), row + 4 * x);
            }
        }
        picture_->setValidRegion(picture_->extent());
    }

    // Answers of nothing before real ones; answers from the thumbnail until told otherwise.
    std::atomic<int> nilAnswers{0};
    std::atomic<bool> fullImageReady{true};
    // Runs at the start of every request, on the requesting thread.
    std::function<void(const Request&)> onRequest;

    int requestCount() const { return int(count_.load()); }
    std::vector<Request> requests() const {
        std::lock_guard guard(lock_);
        return requests_;
    }
    // Requests for the tile whose frame starts at (x, y) (lower-left origin).
    int requestsAt(double x, double y) const {
        std::lock_guard guard(lock_);
        return int(std::count_if(requests_.begin(), requests_.end(),
                                 [&](const Request& r) { return r.rect.x == x && r.rect.y == y; }));
    }
    const ImageBufferU16& picture() const { return *picture_; }

    std::shared_ptr<BitmapImage> imageTile(int32_t resolution, double scale, const platform::Rect& rect,
                                           std::shared_ptr<BufferProfile>, bool* tileIsThumbnail, bool,
                                           int32_t orientation) override {
        const Request request{resolution, scale, rect};
        {
            std::lock_guard guard(lock_);
            requests_.push_back(request);
        }
        ++count_;
        if (onRequest) onRequest(request);
        if (nilAnswers.load() > 0) {
            --nilAnswers;
            return nullptr;
        }
        const double H = outputSize().height;
        const platform::Rect flipped =
            platform::Rect{rect.x, H - rect.height - rect.y, rect.width, rect.height}.intersection(
                picture_->extent());
        if (flipped.isNull()) return nullptr;
        const bool thumbnail = !fullImageReady.load();
        if (tileIsThumbnail) *tileIsThumbnail = thumbnail;
        const double D = thumbnail ? kThumbnailFactor : std::max(1.0, 1.0 / scale);
        auto source = scaled(D);
        auto crop = source ? source->croppedImageFromBuffer(divided(flipped, D)) : nullptr;
        if (!crop) return nullptr;
        return crop->getCGImageBitMap(false, orientation);
    }

  private:
    static constexpr double kThumbnailFactor = 8;

    static platform::Rect divided(const platform::Rect& r, double factor) {
        auto round = [&](double v) { return double(std::round(float(v / factor))); };
        return {round(r.x), round(r.y), round(r.width), round(r.height)};
    }

    std::shared_ptr<ImageBuffer> scaled(double D) {
        std::lock_guard guard(lock_);
        auto& image = zooms_[D];
        if (!image)
            image = D == 1 ? std::shared_ptr<ImageBuffer>(picture_)
                           : picture_->resizedImageFromBuffer(uint16_t(picture_->imageWidth() / D),
                                                              uint16_t(picture_->imageHeight() / D));
        return image;
    }

    std::shared_ptr<ImageBufferU16> picture_;
    mutable std::mutex lock_;
    std::map<double, std::shared_ptr<ImageBuffer>> zooms_;
    std::vector<Request> requests_;
    std::atomic<int> count_{0};
};
