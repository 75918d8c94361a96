// The application object of the window tests (linked into each), on Qt's offscreen platform
// unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>
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
    char name_[11] = "app_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new OffscreenApplication);

} // namespace
