#pragma once
// The one exception type of the DNG code: it carries a numeric code and nothing else.
#include <cstdint>
#include <new>

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

// Deliberately not derived from std::exception: callers catch it by its own type.
class dng_exception {
  public:
    explicit dng_exception(int32_t code) : fErrorCode(code) {}
    virtual ~dng_exception() = default;
    int32_t ErrorCode() const { return fErrorCode; }

  private:
    int32_t fErrorCode;
};

// A failing call of the system (open, write, rename...), with its error number: the text a
// user sees can then say why ("No space left on device").
class dng_system_exception : public dng_exception {
  public:
    dng_system_exception(int32_t code, int systemError) : dng_exception(code), fSystemError(systemError) {}
    int SystemError() const { return fSystemError; }

  private:
    int fSystemError;
};

[[noreturn]] inline void Throw_dng_system_error(int32_t code, int systemError) {
    throw dng_system_exception(code, systemError);
}

// The texts only document the throw site; the exception keeps the code alone.
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

// The user-visible text of a code, as the export wrappers show it.
const char* dng_error_text(int32_t code);

// Runs an allocation, turning std::bad_alloc into the memory error code.
template <typename F> auto dng_guard_allocation(F&& allocate) -> decltype(allocate()) {
    try {
        return allocate();
    } catch (const std::bad_alloc&) {
        ThrowMemoryFull();
    }
}
