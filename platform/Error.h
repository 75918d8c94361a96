#pragma once
// An error of the application layers: returned, never thrown.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

struct Error {
    std::string domain;
    int64_t code = 0;
    std::string failureReason;

    bool operator==(const Error&) const = default;
};

// Failures of system calls: the code is the errno value.
inline constexpr std::string_view kPosixErrorDomain = "POSIXErrorDomain";

// Fills `*out` when the caller asked for the error; returns false so failures read
// `return fail(error, {...});`.
inline bool fail(Error* out, Error e) {
    if (out) *out = std::move(e);
    return false;
}

} // namespace platform
