#pragma once
// What the lumivar program and its automation need of a window that shows one document:
// the plain window over a viewer document (tests), or the editing window over a real one.
#include <optional>
#include <string>

#include "platform/Error.h"
#include "platform/Value.h"

class HistogramView;
class QWidget;
class TiledImageView;

class ProgramWindow {
  public:
    virtual ~ProgramWindow() = default;

    // The top-level window.
    virtual QWidget* widget() = 0;
    virtual TiledImageView& imageView() = 0;
    virtual HistogramView& histogramView() = 0;

    virtual bool hasImage() const = 0;
    // A render has started and not finished.
    virtual bool isRendering() const = 0;
    // Why the image cannot be shown, once the document said so.
    virtual const std::optional<platform::Error>& renderError() const = 0;
    // Every tile of the image and of the crop overlay in sight has its pixels of the last render.
    virtual bool tilesSettled() const = 0;

    virtual std::optional<platform::Value> valueForKey(const std::string& key) = 0;
    virtual void setValue(std::optional<platform::Value> value, const std::string& key) = 0;
};
