#include "platform/Value.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>

namespace platform {

const Value* Value::find(std::string_view key) const {
    const auto* d = dictionary();
    if (!d) return nullptr;
    auto it = d->find(std::string(key));
    return it == d->end() ? nullptr : &it->second;
}

Value* Value::find(std::string_view key) {
    auto* d = dictionary();
    if (!d) return nullptr;
    auto it = d->find(std::string(key));
    return it == d->end() ? nullptr : &it->second;
}

namespace {

// Skips leading white space like Foundation's scanners do.
std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n'))
        s.remove_prefix(1);
    return s;
}

// Numbers in settings are written with a decimal point whatever the user's locale (a GUI
// toolkit may switch the process to one with a decimal comma).
double parseDouble(std::string_view s) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    std::string t(trimmed(s));
    char* end = nullptr;
    double d = strtod_l(t.c_str(), &end, cLocale);
    return end == t.c_str() ? 0.0 : d;
}

int64_t clampToInt64(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
    if (d <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
    return int64_t(d);
}

} // namespace

double Value::doubleValue() const {
    switch (kind()) {
    case Kind::Integer:
        return double(*integer());
    case Kind::Real:
        return *real();
    case Kind::Bool:
        return *boolean() ? 1.0 : 0.0;
    case Kind::String:
        return parseDouble(*string());
    default:
        return 0.0;
    }
}

int64_t Value::int64Value() const {
    switch (kind()) {
    case Kind::Integer:
        return *integer();
    case Kind::Real:
        return clampToInt64(*real());
    case Kind::Bool:
        return *boolean() ? 1 : 0;
    case Kind::String: {
        auto t = trimmed(*string());
        if (!t.empty() && t.front() == '+') t.remove_prefix(1);
        int64_t v = 0;
        auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        if (r.ec == std::errc() && (r.ptr == t.data() + t.size() || *r.ptr != '.')) return v;
        return clampToInt64(parseDouble(*string()));
    }
    default:
        return 0;
    }
}

int Value::intValue() const {
    int64_t v = int64Value();
    if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return int(v);
}

bool Value::boolValue() const {
    switch (kind()) {
    case Kind::Integer:
        return *integer() != 0;
    case Kind::Real:
        return *real() != 0.0;
    case Kind::Bool:
        return *boolean();
    case Kind::String: {
        // Foundation: "Y", "y", "T", "t" or a non-zero number, after white space.
        auto t = trimmed(*string());
        if (t.empty()) return false;
        char c = t.front();
        if (c == 'Y' || c == 'y' || c == 'T' || c == 't') return true;
        if (c == '+' || c == '-') t.remove_prefix(1);
        while (!t.empty() && t.front() == '0')
            t.remove_prefix(1);
        return !t.empty() && t.front() >= '1' && t.front() <= '9';
    }
    default:
        return false;
    }
}

std::string Value::stringValue() const {
    switch (kind()) {
    case Kind::String:
        return *string();
    case Kind::Integer:
        return std::to_string(*integer());
    case Kind::Bool:
        return *boolean() ? "1" : "0";
    case Kind::Real: {
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, *real());
        return std::string(buf, r.ptr);
    }
    default:
        return {};
    }
}

} // namespace platform
