#include "raw/identify/AdjustRules.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <sys/types.h>

namespace raw::adjust {

bool text_is(const char* text, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return std::strcmp(text, n) == 0; });
}

bool text_begins(const char* text, std::initializer_list<const char*> prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](const char* p) { return std::strncmp(text, p, std::strlen(p)) == 0; });
}

bool text_is_caseless(const char* text, const char* name) { return strcasecmp(text, name) == 0; }

bool text_begins_caseless(const char* text, const char* prefix) {
    return strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

void set_text(char* field, size_t size, const char* text) { std::snprintf(field, size, "%s", text); }

uint16_t fit16(int64_t value) { return uint16_t(std::clamp<int64_t>(value, 0, UINT16_MAX)); }

uint16_t add16(uint16_t value, int64_t delta) { return fit16(int64_t(value) + delta); }

void set_visible(DecoderState& s, int height, int width) {
    s.visible_height = fit16(height);
    s.visible_width = fit16(width);
}

void set_margins(DecoderState& s, int left, int top) {
    s.margin_left = fit16(left);
    s.margin_top = fit16(top);
}

bool seek_input(DecoderState& s, uint64_t offset) {
    return s.input_file && offset <= uint64_t(INT64_MAX) &&
           fseeko(s.input_file, off_t(offset), SEEK_SET) == 0;
}

uint64_t input_size(DecoderState& s) {
    if (!s.input_file) return 0;
    const off_t here = ftello(s.input_file);
    if (here < 0 || fseeko(s.input_file, 0, SEEK_END) != 0) return 0;
    const off_t end = ftello(s.input_file);
    fseeko(s.input_file, here, SEEK_SET);
    return end < 0 ? 0 : uint64_t(end);
}

} // namespace raw::adjust
