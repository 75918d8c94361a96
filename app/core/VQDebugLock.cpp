#include "app/core/VQDebugLock.h"

#include "platform/Log.h"

void VQDebugLock::lock() {
    mutex_.lock();
    LV_LOG("%s", "-[VQDebugLock lock]");
}

void VQDebugLock::unlock() {
    LV_LOG("%s", "-[VQDebugLock unlock]");
    mutex_.unlock();
}
