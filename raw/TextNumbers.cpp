#include "raw/TextNumbers.h"

#include <charconv>

namespace raw {

void TextNumbers::skipSpace() {
    while (p_ < end_ && (*p_ == ' ' || (*p_ >= '\t' && *p_ <= '\r'))) ++p_;
}

bool TextNumbers::readInt(int& value) {
    skipSpace();
    const char* start = p_ < end_ && *p_ == '+' ? p_ + 1 : p_;
    auto [next, error] = std::from_chars(start, end_, value);
    if (error != std::errc()) return false;
    p_ = next;
    return true;
}

bool TextNumbers::readFloat(float& value) {
    skipSpace();
    const char* start = p_ < end_ && *p_ == '+' ? p_ + 1 : p_;
    auto [next, error] = std::from_chars(start, end_, value);
    if (error != std::errc()) return false;
    p_ = next;
    return true;
}

} // namespace raw
