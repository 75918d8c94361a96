// The test program's application object, on the X server when there is one.
#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

#include "display/MainQueuePump.h"
#include "tests/display/gui/GuiTestSupport.h"

namespace {

class QtGuiApplicationEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        if (!guitest::haveXServer()) return;
        qputenv("QT_QPA_PLATFORM", "xcb");
        application_ = std::make_unique<QApplication>(argc_, argv_);
        installMainQueuePump(*application_);
    }
    void TearDown() override {
        removeMainQueuePump();
        application_.reset();
    }

  private:
    int argc_ = 1;
    char name_[20] = "browserui_gui_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] testing::Environment* const registered =
    testing::AddGlobalTestEnvironment(new QtGuiApplicationEnvironment);

} // namespace
