#pragma once
// Numbers in text blocks of raw files ("%d" and "%f" style), read the same way whatever
// the process locale: a German locale must not turn 0.5 into 0.
#include <cstddef>

namespace raw {

// A cursor over a text; each read skips leading white space and fails at the end or on
// something that is not a number (the cursor then stays where it was).
class TextNumbers {
  public:
    TextNumbers(const char* text, size_t length) : p_(text), end_(text + length) {}
    bool readInt(int& value);
    bool readFloat(float& value);
    const char* position() const { return p_; }

  private:
    void skipSpace();
    template <typename T> bool readNumber(T& value);
    const char* p_;
    const char* end_;
};

} // namespace raw
