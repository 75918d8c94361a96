#pragma once
// The editing window's histogram view. Each new rendered image is handed over with setImage();
// the histogram is computed on the shared queue at the view's device-pixel size, and the view
// keeps drawing the last finished one until the next is done. Images that arrive while one is
// computed fold into one more computation, on the newest.
#include <QImage>
#include <QTransform>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/Geometry.h"

class ImageBuffer;
class ImageBufferU16;

class HistogramView : public QWidget {
    Q_OBJECT
  public:
    // Called on the worker with each image a computation takes, before it counts the bins.
    using BuildHook = std::function<void(const ImageBuffer&)>;

    explicit HistogramView(QWidget* parent = nullptr);
    ~HistogramView() override;

    void setImage(std::shared_ptr<ImageBuffer> image);
    std::shared_ptr<ImageBuffer> theImage() const;
    // The last finished histogram.
    QImage histogramImage() const;
    bool isRunning() const;
    // The histogram's size in device pixels, as set when the last computation started.
    platform::Size outputSize() const;
    // The view's size in device pixels less a pixel on every side.
    platform::Size deviceOutputSize() const;
    void setBuildHook(BuildHook hook);

    void updateDone();

    // The 8-bit image of a histogram; null without one.
    static QImage createRenderedImage(const ImageBufferU16* histogram);

    // Kept for drawing code; the view itself does not use them.
    void drawCIImage(QPainter& painter, const QImage& image) const;
    QTransform imageTransformToFitView(const QSizeF& imageSize) const;
    static void dumpCGImageInfo(const QImage& image);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct State;
    static void backgroundTask(std::weak_ptr<State> weak);
    static void buildHistogramImage(State& state);

    std::shared_ptr<State> state_;
};
