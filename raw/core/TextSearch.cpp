#include "raw/core/TextSearch.h"

#include <cctype>

namespace raw {
namespace {

bool starts_caseless(const char* text, const char* pattern) {
    for (; *pattern; ++text, ++pattern) {
        if (std::tolower(static_cast<unsigned char>(*text)) !=
            std::tolower(static_cast<unsigned char>(*pattern)))
            return false;
    }
    return true;
}

} // namespace

const char* find_text_caseless(const char* text, const char* pattern) {
    if (!text || !pattern) return nullptr;
    for (; *text; ++text)
        if (starts_caseless(text, pattern)) return text;
    return nullptr;
}

char* find_text_caseless(char* text, const char* pattern) {
    return const_cast<char*>(find_text_caseless(static_cast<const char*>(text), pattern));
}

} // namespace raw
