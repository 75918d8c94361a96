#pragma once
// Logging to standard error (and syslog when LUMIVAR_SYSLOG is set). Messages name the
// calling function first, e.g. LV_LOG("%s Warning: getPixelValues failed for %f %f",
// __PRETTY_FUNCTION__, x, y).
#include <cstdarg>

namespace platform {

void logMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logMessageV(const char* format, va_list args);

} // namespace platform

#define LV_LOG(...) ::platform::logMessage(__VA_ARGS__)
