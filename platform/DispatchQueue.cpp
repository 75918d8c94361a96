#include "platform/DispatchQueue.h"

#include <exception>

#include "platform/Log.h"

namespace platform {

void runTask(const Task& task, const char* queueLabel) {
    try {
        task();
    } catch (const std::exception& e) {
        LV_LOG("%s Error: task on %s ended with an exception: %s", __PRETTY_FUNCTION__, queueLabel, e.what());
    } catch (...) {
        LV_LOG("%s Error: task on %s ended with an exception", __PRETTY_FUNCTION__, queueLabel);
    }
}

} // namespace platform
