#pragma once
// Texts for numeric status codes, for log lines: the status codes the program itself
// produces (a table of our own) and, for positive codes, the system's errno names and texts.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class MacOSStatusHelper {
  public:
    using Prefix = std::optional<std::string_view>;

    // The code's name ("unimpErr", "ENOENT"), "Keychain already exists" for -25296, or
    // "Unknown Error"; after the prefix when there is one.
    static std::string getErrorString(int32_t status, Prefix prefix = std::nullopt);
    // The code's description from its first letter on, or "Unknown Error"; after the prefix.
    static std::string getErrorDescription(int32_t status, Prefix prefix = std::nullopt);
    // "<prefix or 'Application Error '><function> <error string>: <description>".
    static std::string getLogString(int32_t status, const char* calledFunction, Prefix prefix = std::nullopt);
    // Logs the log string of a non-zero status; a zero status logs nothing.
    static void outputLogString(int32_t status, const char* calledFunction);
};
