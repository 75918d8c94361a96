#pragma once
// An error of the application layers: returned, never thrown.
#include <cstdint>
#include <string>

namespace platform {

struct Error {
    std::string domain;
    int64_t code = 0;
    std::string failureReason;

    bool operator==(const Error&) const = default;
};

} // namespace platform
