#pragma once
// Every loader the decoder has, with what it writes and the location text its memory
// failures name. Identification picks loaders by routine; this table names them.
#include <cstdint>
#include <span>

#include "raw/core/DecoderState.h"

namespace raw {

enum class LoaderOutput : uint8_t {
    raw,           // raw_buffer, one value per photosite
    pixels,        // pixel_image, four values per pixel
    raw_or_pixels, // by the file (single shot or multi-shot, colour or not)
    nothing,       // data the decoder recognises but does not read
};

struct loader_entry {
    Routine loader;
    const char* name;
    LoaderOutput writes;
    const char* location; // memory-error location text; null when the loader allocates nothing of its own
};

std::span<const loader_entry> loader_table();
// The entry of `loader`, or null for a routine that is not a loader.
const loader_entry* find_loader_entry(Routine loader);

} // namespace raw
