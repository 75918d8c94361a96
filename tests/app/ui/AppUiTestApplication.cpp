// The test program's application object: the program's own, so its key rewriting is what
// the tests press keys through; offscreen unless QT_QPA_PLATFORM says otherwise.
#include <gtest/gtest.h>

#include "display/MainQueuePump.h"
#include <memory>

#include "app/ui/LumivarApplication.h"

namespace {

class AppUiApplication : public testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<LumivarApplication>(argc_, argv_);
        installMainQueuePump(*app_);
    }
    void TearDown() override {
        removeMainQueuePump();
        app_.reset();
    }

  private:
    int argc_ = 1;
    char name_[12] = "appui_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<LumivarApplication> app_;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new AppUiApplication);

} // namespace
