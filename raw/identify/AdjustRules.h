#pragma once
// What the per-make adjustment rules share: the lengths they test, text tests on make and
// model, and size changes that cannot wrap around. Kept in a namespace of their own so
// that they cannot meet the helpers of other parts of the decoder.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "raw/core/DecoderState.h"

namespace raw::adjust {

inline constexpr uint32_t kPatternUnset = 0xFFFFFFFF;

struct adjust_context {
    DecoderState& s;
    // The file's length when the file-size table recognised it, else 0: only such
    // headerless files may be told apart by their length.
    uint64_t kept_length;
    // The real length of input_file, for rules that measure the data.
    uint64_t file_length;
};

// One row of the first-match chain.
struct adjust_rule {
    bool (*holds)(const adjust_context&);
    void (*apply)(adjust_context&);
};
std::span<const adjust_rule> camera_adjust_chain();

bool text_is(const char* text, std::initializer_list<const char*> names);
bool text_begins(const char* text, std::initializer_list<const char*> prefixes);
bool text_is_caseless(const char* text, const char* name);
bool text_begins_caseless(const char* text, const char* prefix);
void set_text(char* field, size_t size, const char* text);
template <size_t N> void set_text(char (&field)[N], const char* text) { set_text(field, N, text); }

// value + delta, held to the 16-bit range.
uint16_t add16(uint16_t value, int64_t delta);
uint16_t fit16(int64_t value);
// Height first, the way frame sizes are quoted.
void set_visible(DecoderState& s, int height, int width);
void set_margins(DecoderState& s, int left, int top);
// False when the offset cannot be reached.
bool seek_input(DecoderState& s, uint64_t offset);
// Length of input_file; the position is kept.
uint64_t input_size(DecoderState& s);

// Steps that run for every file, before the chain.
void apply_every_file_steps(adjust_context& a);
void apply_canon_frame(adjust_context& a);
void apply_canon_model_ids(DecoderState& s);
void apply_sony_model_ids(DecoderState& s);
void apply_panasonic_aliases(DecoderState& s);

// The longer rules of the chain, one family each.
void adjust_canon_small_raw(adjust_context& a);
void set_canon_10bit_defaults(DecoderState& s);
bool has_known_file_length(const adjust_context& a);
void adjust_by_file_length(adjust_context& a);
void adjust_fujifilm(adjust_context& a);
void adjust_minolta(adjust_context& a);
void set_konica_defaults(DecoderState& s);
void adjust_hasselblad(adjust_context& a);
void adjust_sinar(adjust_context& a);
void adjust_leaf(adjust_context& a);
void adjust_panasonic(adjust_context& a);
void adjust_olympus(adjust_context& a);
bool sony_frame_known(const DecoderState& s);
void adjust_sony_by_width(adjust_context& a);
void adjust_sony_a100(adjust_context& a);
void adjust_sony_f828(adjust_context& a);
void adjust_sony_v3(adjust_context& a);
void adjust_kodak_compact(adjust_context& a);
void adjust_kodak(adjust_context& a);
void adjust_quicktake(adjust_context& a);

} // namespace raw::adjust
