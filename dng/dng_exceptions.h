#pragma once
// The one exception type of the DNG code: a numeric code, which callers switch on, and the
// reason the throw site gave, for logs.
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "platform/Error.h"

enum dng_error_code : int32_t {
    dng_error_none = 0,
    dng_error_unknown = 100000,
    dng_error_not_yet_implemented,
    dng_error_silent,
    dng_error_user_canceled,
    dng_error_host_insufficient,
    dng_error_memory,
    dng_error_bad_format,
    dng_error_matrix_math,
    dng_error_open_file,
    dng_error_read_file,
    dng_error_write_file,
    dng_error_end_of_file,
    dng_error_file_is_damaged,
    dng_error_image_too_big_dng,
    dng_error_image_too_big_tiff,
    dng_error_unsupported_dng,
    dng_error_overflow
};

// The export writers report DNG failures in this domain, with the code and its text.
inline constexpr std::string_view kDngErrorDomain = "DngErrorDomain";

// The user-visible texts of the codes, as the export wrappers show them. The three codes that
// say nothing a user could act on share the text of any unclassified failure.
inline constexpr auto kDngErrors = platform::errorTable<dng_error_code>(
    kDngErrorDomain,
    {
        {dng_error_none, "No error. Success."},
        {dng_error_unknown, "Logic or program error or other unclassifiable error."},
        {dng_error_not_yet_implemented, "Functionality requested is not yet implemented."},
        {dng_error_silent, "An error which should not be signalled to user."},
        {dng_error_user_canceled, "Processing stopped by user (or host application) request."},
        {dng_error_host_insufficient, "Necessary host functionality is not present."},
        {dng_error_memory, "Out of memory."},
        {dng_error_bad_format, "File format is not valid."},
        {dng_error_matrix_math, "Matrix has wrong shape, is badly conditioned, or similar problem."},
        {dng_error_open_file, "Could not open file."},
        {dng_error_read_file, "Error reading file."},
        {dng_error_write_file, "Error writing file."},
        {dng_error_end_of_file, "Unexpected end of file."},
        {dng_error_file_is_damaged, "File is damaged in some way."},
        {dng_error_image_too_big_dng, "Image is too big to save as DNG."},
        {dng_error_image_too_big_tiff, "Image is too big to save as TIFF."},
        {dng_error_unsupported_dng, "Logic or program error or other unclassifiable error."},
        {dng_error_overflow, "Logic or program error or other unclassifiable error."},
    });

// The user-visible text of a code; a code outside the table reads as an unclassified failure.
const char* dng_error_text(int32_t code);

// Deliberately not derived from std::exception: callers catch it by its own type.
class dng_exception {
  public:
    // `message`: why the throw site failed ("Compression output buffer overflow"); may be empty.
    explicit dng_exception(int32_t code, std::string message = {})
        : fErrorCode(code), fMessage(std::move(message)) {}
    virtual ~dng_exception() = default;
    int32_t ErrorCode() const { return fErrorCode; }
    // The throw site's reason, or the code's own text when it gave none.
    const char* what() const noexcept {
        return fMessage.empty() ? dng_error_text(fErrorCode) : fMessage.c_str();
    }

  private:
    int32_t fErrorCode;
    std::string fMessage;
};

// A failing call of the system (open, write, rename...), with its error number: the text a
// user sees can then say why ("No space left on device").
class dng_system_exception : public dng_exception {
  public:
    dng_system_exception(int32_t code, int systemError, std::string message = {})
        : dng_exception(code, std::move(message)), fSystemError(systemError) {}
    int SystemError() const { return fSystemError; }

  private:
    int fSystemError;
};

// The exception's reason is the system's text for the error number.
[[noreturn]] void Throw_dng_system_error(int32_t code, int systemError);

// The exception carries the message, and the sub-message after ": " when both are given.
[[noreturn]] void Throw_dng_error(int32_t code, const char* message = nullptr,
                                  const char* subMessage = nullptr);

[[noreturn]] inline void ThrowProgramError(const char* message = nullptr) {
    Throw_dng_error(dng_error_unknown, message);
}
[[noreturn]] inline void ThrowNotYetImplemented(const char* message = nullptr) {
    Throw_dng_error(dng_error_not_yet_implemented, message);
}
[[noreturn]] inline void ThrowMemoryFull(const char* message = nullptr) {
    Throw_dng_error(dng_error_memory, message);
}
[[noreturn]] inline void ThrowBadFormat(const char* message = nullptr) {
    Throw_dng_error(dng_error_bad_format, message);
}
[[noreturn]] inline void ThrowMatrixMath(const char* message = nullptr) {
    Throw_dng_error(dng_error_matrix_math, message);
}
[[noreturn]] inline void ThrowEndOfFile(const char* message = nullptr) {
    Throw_dng_error(dng_error_end_of_file, message);
}
[[noreturn]] inline void ThrowOverflow(const char* message = nullptr) {
    Throw_dng_error(dng_error_overflow, message);
}

// Runs an allocation, turning std::bad_alloc into the memory error code.
template <typename F> auto dng_guard_allocation(F&& allocate) -> decltype(allocate()) {
    try {
        return allocate();
    } catch (const std::bad_alloc&) {
        ThrowMemoryFull();
    }
}
