#pragma once
// TIFF-based metadata: the image directory chain and its sub-directories (EXIF, GPS,
// maker notes, vendor blocks), DNG colour and geometry, and the choice of the directory
// that holds the raw image. Results go into the decoder state; every entry of the TIFF,
// EXIF and GPS directories is also handed to s.metadata_engine when there is one.
//
// Offsets are signed: a directory copied out of the file (the Sony private block) is
// parsed with a negative base so its absolute offsets still land inside the copy.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// One directory entry as read_tag_header leaves it: the file stands at the value (inline
// or at base + offset) and `next` is where the following entry starts.
struct tiff_entry {
    uint32_t tag = 0, type = 0, count = 0;
    int64_t next = 0;
    int64_t value_position = 0;
    bool in_file = false; // the value starts inside the file
};

// Bytes per element of a TIFF field type (types 0 and 14 on count as 1).
uint32_t tiff_type_size(uint32_t type);
tiff_entry read_tag_header(DecoderState& s, int64_t base);

// 0 when base holds no byte-order mark, else 1 after walking the directory chain.
int parse_tiff_file(DecoderState& s, int64_t base);
// Parses the directory at the current position; 1 when it was refused.
int parse_tiff_directory(DecoderState& s, int64_t base);
void parse_exif_ifd(DecoderState& s, int64_t base);
void parse_gps_ifd(DecoderState& s, int64_t base);
// Tags of a nested maker-note directory are compared as (parent_tag << 16) | tag.
void parse_maker_note(DecoderState& s, int64_t base, uint32_t parent_tag);
void parse_thumbnail_note(DecoderState& s, int64_t base, uint32_t offset_tag, uint32_t length_tag);
void parse_kodak_directory(DecoderState& s, int64_t base);
void parse_leaf_mos(DecoderState& s, int64_t offset);
void parse_minolta_mrm(DecoderState& s, int64_t offset);

// Picks the raw and thumbnail directories among ifd_table and the raw loader.
void choose_raw_ifd(DecoderState& s);

// Reads "YYYY:MM:DD HH:MM:SS" (stored back to front when reversed) into capture_time.
void read_timestamp(DecoderState& s, int reversed);
// Reads up to 4096 curve values into tone_table; white_level becomes its last entry.
void build_linear_table(DecoderState& s, uint32_t count);
// embedded_matrix = ROMM-to-RGB x m.
void romm_to_camera_matrix(DecoderState& s, const float m[3][3]);
// XORs count words in place with the Sony keystream, reseeded with key when restart is set.
void sony_keystream(DecoderState& s, uint32_t* words, uint32_t count, int restart, uint32_t key);

// TIFF orientation value to the decoder's flip code (1 -> 0, 3 -> 3, 6 -> 6, 8 -> 5).
int tiff_orientation_code(uint32_t value);
// Clockwise rotation in degrees to the flip code (90 -> 6, 180 -> 3, 270 -> 5).
int rotation_degrees_code(int degrees);

} // namespace raw
