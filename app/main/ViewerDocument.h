#pragma once
// What a window of the lumivar program needs of an opened document. The document itself
// (its settings, engine and catalog entry) lives in the application core; an adapter gives
// the window this view of it, and tests give it a fake.
#include <QRectF>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "platform/Error.h"
#include "platform/Value.h"

class TiledEngine;

class ViewerDocument {
  public:
    virtual ~ViewerDocument() = default;

    virtual std::string displayName() const = 0;
    // What the document tells its window, all on the main thread.
    struct Hooks {
        std::function<void()> started;               // a render has begun
        std::function<void()> rendered;              // a render has finished
        std::function<void(platform::Error)> failed; // the image cannot be shown (already presented)
        std::function<QRectF()> visibleImageRect;    // the image area in view, negative for none
    };
    // Starts the first render.
    virtual void startDisplay(Hooks hooks) = 0;
    // The rendered image, once a render has finished.
    virtual std::shared_ptr<TiledEngine> outputImage() = 0;
    virtual int32_t getOrientation() = 0;
    // Image pixels of the unrotated image, (-1, -1, -1, -1) for none.
    virtual QRectF getCropRect() = 0;
    virtual void cropRectChanged(const QRectF& crop) = 0;
    virtual void setWBFromPoint(double x, double y) = 0;
    virtual std::optional<platform::Value> valueForKey(const std::string& key) = 0;
    virtual void setValue(std::optional<platform::Value> value, const std::string& key) = 0;
    // Whether setting the key renders the image again.
    virtual bool rerendersOn(const std::string& key) const = 0;
    // Remembers the settings and lets the engine go; called once, when the window closes.
    virtual void close() = 0;
};

using OpenedDocument = std::variant<std::unique_ptr<ViewerDocument>, platform::Error>;
using DocumentOpener = std::function<OpenedDocument(const std::filesystem::path& file)>;
