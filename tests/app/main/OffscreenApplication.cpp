// The test program's application object: Qt's offscreen platform, with the main queue
// drained by the event loop as in the program.
#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

#include "display/MainQueuePump.h"

namespace {

class OffscreenApplication : public testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QApplication>(argc_, argv_);
        installMainQueuePump(*application_);
    }
    void TearDown() override {
        removeMainQueuePump();
        application_.reset();
    }

  private:
    int argc_ = 1;
    char name_[15] = "app_main_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] testing::Environment* const registered =
    testing::AddGlobalTestEnvironment(new OffscreenApplication);

} // namespace
