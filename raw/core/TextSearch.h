#pragma once

namespace raw {

// First position of `text` where `pattern` follows, ignoring ASCII case; null when text
// is empty or nothing matches.
const char* find_text_caseless(const char* text, const char* pattern);
char* find_text_caseless(char* text, const char* pattern);

} // namespace raw
