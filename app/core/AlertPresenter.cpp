#include "app/core/AlertPresenter.h"

#include <atomic>

#include "platform/Log.h"

namespace {

class LoggingPresenter : public AlertPresenter {
  public:
    void presentError(const platform::Error& error, const MyDocument*) override {
        LV_LOG("%s %s %lld: %s", __PRETTY_FUNCTION__, error.domain.c_str(), (long long)error.code,
               error.failureReason.c_str());
    }
};

LoggingPresenter& loggingPresenter() {
    static LoggingPresenter presenter;
    return presenter;
}

std::atomic<AlertPresenter*> installed{nullptr};

} // namespace

AlertPresenter& AlertPresenter::shared() {
    AlertPresenter* p = installed.load();
    return p ? *p : loggingPresenter();
}

void AlertPresenter::setShared(AlertPresenter* presenter) { installed.store(presenter); }
