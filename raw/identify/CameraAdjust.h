#pragma once
// Per-make camera adjustments, run by identification between its size corrections and its
// final steps.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// `file_length` is the length the size-based rows may test: the file's length when the
// file-size table recognised it, else 0.
void apply_camera_adjustments(DecoderState& s, uint64_t file_length);

// Canon frames by raw size. Margins, the cuts on the right and bottom, the masked columns
// (offsets the sensor preparation turns into rectangles) and a pattern byte (0 keeps the
// pattern).
struct canon_size_row {
    uint16_t raw_width, raw_height;
    uint16_t left = 0, top = 0, width_cut = 0, height_cut = 0;
    uint16_t mask_a = 0, mask_b = 0, mask_c = 0, mask_d = 0;
    uint16_t pattern_byte = 0;
};
inline constexpr int kCanonSizeRows = 47;
extern const canon_size_row canon_size_table[kCanonSizeRows];

// Model names by the identifier of the maker note (Canon: 0x80000000 + identifier).
struct camera_model_id_row {
    uint16_t identifier;
    char name[20];
};
inline constexpr int kCanonModelIds = 52;
inline constexpr int kSonyModelIds = 68;
extern const camera_model_id_row canon_model_ids[kCanonModelIds];
extern const camera_model_id_row sony_model_ids[kSonyModelIds];

// Panasonic models sold under several names share one colour row. An entry beginning
// with "@" opens a group and names the model whose row the members use.
inline constexpr int kPanasonicAliases = 54;
extern const char panasonic_aliases[kPanasonicAliases][12];
// The model whose colour row `model` borrows; null when it is no group member.
const char* panasonic_alias_group(const char* model);

// Panasonic frames by raw size: margins and changes to the visible size.
struct panasonic_margin_row {
    int16_t raw_width, raw_height;
    int16_t left, top, width_change, height_change;
};
inline constexpr int kPanasonicMarginRows = 23;
extern const panasonic_margin_row panasonic_margin_table[kPanasonicMarginRows];

// Photosite aspect of the Kodak DC20/DC25, whose small files hold the low resolution.
inline constexpr float kKodakDc2SmallAspect = 0.638433576f;
inline constexpr float kKodakDc2LargeAspect = 1.29585004f;
inline constexpr uint64_t kKodakDc2SmallFileLimit = 100000;

} // namespace raw
