#include "raw/core/TextNumbers.h"

#include <charconv>

namespace raw {

void TextNumbers::skipSpace() {
    while (p_ < end_ && (*p_ == ' ' || (*p_ >= '\t' && *p_ <= '\r')))
        ++p_;
}

template <typename T> bool TextNumbers::readNumber(T& value) {
    skipSpace();
    const char* start = p_ < end_ && *p_ == '+' ? p_ + 1 : p_;
    auto [next, error] = std::from_chars(start, end_, value);
    if (error != std::errc()) return false;
    p_ = next;
    return true;
}

bool TextNumbers::readInt(int& value) { return readNumber(value); }
bool TextNumbers::readFloat(float& value) { return readNumber(value); }

} // namespace raw
