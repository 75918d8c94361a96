#include "dng/dng_exceptions.h"

#include <cstring>

namespace {

// A reason that cannot be built (no memory for it) is left out: the code still goes.
std::string Reason(const char* message, const char* subMessage) {
    try {
        std::string text = message ? message : "";
        if (subMessage && *subMessage) text += (text.empty() ? "" : ": ") + std::string(subMessage);
        return text;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

} // namespace

void Throw_dng_error(int32_t code, const char* message, const char* subMessage) {
    throw dng_exception(code, Reason(message, subMessage));
}

void Throw_dng_system_error(int32_t code, int systemError) {
    throw dng_system_exception(code, systemError, Reason(std::strerror(systemError), nullptr));
}

const char* dng_error_text(int32_t code) {
    const std::string_view text = kDngErrors.text(dng_error_code(code));
    return text.empty() ? kDngErrors.text(dng_error_unknown).data() : text.data();
}
