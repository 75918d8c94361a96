#include "platform/Log.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <syslog.h>

namespace platform {

void logMessageV(const char* format, va_list args) {
    static std::mutex lock;
    char line[2048];
    std::vsnprintf(line, sizeof line, format, args);
    std::lock_guard<std::mutex> guard(lock);
    std::fprintf(stderr, "Lumivar: %s\n", line);
    if (std::getenv("LUMIVAR_SYSLOG")) syslog(LOG_NOTICE, "%s", line);
}

void logMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    logMessageV(format, args);
    va_end(args);
}

} // namespace platform
