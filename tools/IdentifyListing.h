#pragma once
// What "-i" prints about an identified file.
#include <cstdio>

#include "raw/core/DecoderState.h"
#include "tools/DecoderOptions.h"

namespace tools {

struct PixelSize {
    int width, height;
};

// The size of the image the options would write, worked out from identification alone.
PixelSize planned_output_size(const raw::DecoderState& s, const DecoderOptions& o);

// The metadata listing of "-i -v"; the sizes and colours only for a raw file.
void print_identify_listing(FILE* out, const raw::DecoderState& s, const char* path, const DecoderOptions& o);

} // namespace tools
