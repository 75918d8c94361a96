#pragma once
// What one TIFF directory collects while its entries are read, and the tag handlers that
// share it. Internal to the TIFF-family parsers.
#include <cstdint>

#include "raw/core/DecoderState.h"
#include "raw/tiff/TiffParser.h"

namespace raw {

// DNG colour tags of one directory, combined once all its entries are read.
struct DngColourWork {
    float cm[4][3] = {};
    float cc[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    float ab[4] = {1, 1, 1, 1};
    float asn[4] = {};
    float xyz[3] = {1, 1, 1};
    bool matrix_seen = false;
};

// CFA pattern bytes and plane colours of one directory.
struct CfaWork {
    uint8_t pattern[16] = {};
    int pattern_count = 0;
    uint8_t plane_colours[4] = {0, 1, 2, 3};
};

struct TiffDirectoryContext {
    int64_t base = 0;
    int ifd = 0; // the ifd_table record this directory fills
    DngColourWork colour;
    CfaWork cfa;
    int64_t sony_offset = 0;
    uint32_t sony_length = 0;
    uint32_t imacon_length = 0;

    ifd_record& record(DecoderState& s) const { return s.ifd_table[ifd]; }
};

// Each returns true when it knew the tag. The file stands at the entry's value.
bool apply_image_tag(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e);
bool apply_dng_tag(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e);
bool apply_vendor_tag(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e);
bool apply_imacon_tag(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e);

// Steps run after the entries of a directory.
void parse_sony_private(DecoderState& s, const TiffDirectoryContext& d);
void finish_dng_colour(DecoderState& s, const DngColourWork& colour);

// Builds cfa_pattern (and colour_count, colour_letters) from the collected bytes.
void decode_cfa_pattern(DecoderState& s, const CfaWork& cfa);
// Reads the pattern bytes of a CFAPattern entry.
void read_cfa_pattern(DecoderState& s, CfaWork& cfa, uint32_t count);

bool text_begins(const char* text, const char* prefix);

} // namespace raw
