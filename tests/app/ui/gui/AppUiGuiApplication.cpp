// The test program's application object, the program's own, on the X server when there is one.
#include <gtest/gtest.h>

#include "display/MainQueuePump.h"
#include <memory>

#include "app/ui/LumivarApplication.h"
#include "tests/display/gui/GuiTestSupport.h"

namespace {

class AppUiGuiApplication : public testing::Environment {
  public:
    void SetUp() override {
        if (!guitest::haveXServer()) return;
        qputenv("QT_QPA_PLATFORM", "xcb");
        application_ = std::make_unique<LumivarApplication>(argc_, argv_);
        installMainQueuePump(*application_);
    }
    void TearDown() override {
        removeMainQueuePump();
        application_.reset();
    }

  private:
    int argc_ = 1;
    char name_[16] = "appui_gui_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<LumivarApplication> application_;
};

[[maybe_unused]] testing::Environment* const registered =
    testing::AddGlobalTestEnvironment(new AppUiGuiApplication);

} // namespace
