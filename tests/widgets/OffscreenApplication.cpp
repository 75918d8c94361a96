#include "tests/widgets/OffscreenApplication.h"

#include <QApplication>
#include <QPainter>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace {

class OffscreenApplication : public testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[13] = "widgets_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new OffscreenApplication);

} // namespace

namespace widgets_test {

bool fire(QTimer* timer) {
    if (!timer || !timer->isActive()) return false;
    timer->stop();
    return QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}

QImage grabbed(QWidget& widget) {
    const qreal ratio = widget.devicePixelRatioF();
    QImage image(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace widgets_test
