#pragma once
// A document for the program's windows without the engine road: a synthetic picture served
// by the fake output engine, settings in a dictionary, the crop kept under the document's
// four keys. The first render finishes on the main queue.
#include <memory>

#include "app/main/ViewerDocument.h"
#include "platform/MainQueue.h"
#include "settings/Schema.h"
#include "tests/display/FakeTileEngine.h"

namespace maintest {

// A 360 x 240 chart: six by four patches of 60 pixels, each its own colour.
inline FakeTileEngine::Pixel chart(int32_t x, int32_t y) {
    const int column = x / 60, row = y / 60;
    return {uint16_t(column * 13000), uint16_t(row * 20000), uint16_t(((column + row) % 3) * 30000), 65535};
}

// The fake output engine with a thumbnail, for the histogram.
class ChartEngine : public FakeTileEngine {
  public:
    ChartEngine() : FakeTileEngine(360, 240, chart) {}
    std::shared_ptr<ImageBuffer> getThumbnail(bool) override {
        return ImageBufferU16::createWithCopyFrom(picture());
    }
};

class FakeViewerDocument : public ViewerDocument {
  public:
    struct Log {
        int closes = 0;
        int whiteBalanceClicks = 0;
        platform::Dictionary settingsAtClose;
    };

    FakeViewerDocument(std::shared_ptr<FakeTileEngine> engine, std::shared_ptr<Log> log)
        : engine_(std::move(engine)), log_(std::move(log)) {}

    std::string displayName() const override { return "chart.dng"; }
    void startDisplay(Hooks hooks) override {
        if (failure) {
            platform::MainQueue::shared().async([failed = hooks.failed, error = *failure] { failed(error); });
            return;
        }
        platform::MainQueue::shared().async(std::move(hooks.rendered));
    }
    std::shared_ptr<TiledEngine> outputImage() override { return engine_; }
    int32_t getOrientation() override {
        auto it = settings.find(settings::ImageOrientation.c_str());
        return it == settings.end() ? 1 : int32_t(it->second.doubleValue());
    }
    QRectF getCropRect() override {
        const auto get = [&](const char* key) {
            auto it = settings.find(key);
            return it == settings.end() ? -1.0 : it->second.doubleValue();
        };
        if (!settings.count(settings::CropRectHeight.c_str())) return {-1, -1, -1, -1};
        const QRectF crop(get(settings::CropRectX.c_str()), get(settings::CropRectY.c_str()),
                          get(settings::CropRectWidth.c_str()), get(settings::CropRectHeight.c_str()));
        if (crop.width() < 16 || crop.height() < 16) return {-1, -1, -1, -1};
        return crop;
    }
    void cropRectChanged(const QRectF& crop) override {
        settings[settings::CropRectX.c_str()] = float(crop.x());
        settings[settings::CropRectY.c_str()] = float(crop.y());
        settings[settings::CropRectWidth.c_str()] = float(crop.width());
        settings[settings::CropRectHeight.c_str()] = float(crop.height());
    }
    void setWBFromPoint(double, double) override { ++log_->whiteBalanceClicks; }
    std::optional<platform::Value> valueForKey(const std::string& key) override {
        auto it = settings.find(key);
        if (it == settings.end() || it->second.isNull()) return std::nullopt;
        return it->second;
    }
    void setValue(std::optional<platform::Value> value, const std::string& key) override {
        settings[key] = value ? *value : platform::Value();
    }
    bool rerendersOn(const std::string&) const override { return false; }
    void close() override {
        ++log_->closes;
        log_->settingsAtClose = settings;
    }

    platform::Dictionary settings;
    std::optional<platform::Error> failure;

  private:
    std::shared_ptr<FakeTileEngine> engine_;
    std::shared_ptr<Log> log_;
};

// Opens every path as the chart, except a path named "broken.dng", which fails to render,
// and "missing.dng", which does not open.
inline DocumentOpener chartOpener(std::shared_ptr<FakeViewerDocument::Log> log) {
    return [log](const std::filesystem::path& file) -> OpenedDocument {
        if (file.filename() == "missing.dng")
            return platform::Error{"LumivarErrorDomain", -5, "Lumivar could not resolve the file location."};
        auto document = std::make_unique<FakeViewerDocument>(std::make_shared<ChartEngine>(), log);
        if (file.filename() == "broken.dng")
            document->failure = platform::Error{"RawOpenErrorDomain", -5, "Unsupported file type"};
        return document;
    };
}

} // namespace maintest
