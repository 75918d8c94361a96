#pragma once
// An error of the application layers: returned, never thrown.
//
// Each domain names its codes once, in one enum, and gives each code its text in one table
// beside it (ErrorTable), so a code is never written as a bare number and a text never drifts
// from its code.
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
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

// Failures of system calls: the code is the errno value, the text the system's.
inline constexpr std::string_view kPosixErrorDomain = "POSIXErrorDomain";

// Fills `*out` when the caller asked for the error; returns false so failures read
// `return fail(error, {...});`.
inline bool fail(Error* out, Error e) {
    if (out) *out = std::move(e);
    return false;
}

// `text` with each "%s" replaced in turn by the next argument. An argument's own "%s" stays
// as it is; a "%s" without an argument too.
inline std::string formatReason(std::string_view text, std::initializer_list<std::string_view> arguments) {
    std::string out(text);
    size_t at = 0;
    for (std::string_view argument : arguments) {
        at = out.find("%s", at);
        if (at == std::string::npos) break;
        out.replace(at, 2, argument);
        at += argument.size();
    }
    return out;
}

// One code of a domain and its text; each "%s" in the text takes one argument.
template <typename Code> struct ErrorText {
    Code code{};
    std::string_view text{};
};

// The codes of one domain with their texts.
template <typename Code, size_t N> struct ErrorTable {
    std::string_view domain;
    std::array<ErrorText<Code>, N> rows{};

    // Empty for a code the table does not hold.
    constexpr std::string_view text(Code code) const {
        for (const ErrorText<Code>& row : rows)
            if (row.code == code) return row.text;
        return {};
    }
    // The error of `code`, its text filled with the arguments.
    Error error(Code code, std::initializer_list<std::string_view> arguments = {}) const {
        return {std::string(domain), int64_t(code), formatReason(text(code), arguments)};
    }
    // The error of `code` for a reason another part gave (a decoder's status, a library's
    // message, a second text of the same code); the table's text when that reason is empty.
    Error withReason(Code code, std::string_view reason) const {
        return {std::string(domain), int64_t(code), std::string(reason.empty() ? text(code) : reason)};
    }
};

// errorTable<Code>(domain, {{code, text}, ...}): the number of rows is counted for the caller.
template <typename Code, size_t N>
constexpr ErrorTable<Code, N> errorTable(std::string_view domain, const ErrorText<Code> (&rows)[N]) {
    ErrorTable<Code, N> table{domain, {}};
    for (size_t i = 0; i < N; ++i)
        table.rows[i] = rows[i];
    return table;
}

} // namespace platform
