#pragma once
// The decoder's hold on the metadata dictionary builder (exifEngine), kept behind three
// functions so the decoder core needs no knowledge of its inside.
#include "platform/Value.h"

class exifEngine;

namespace raw {

exifEngine* create_metadata_engine();
void destroy_metadata_engine(exifEngine* engine);
// The image metadata dictionary gathered so far; empty when nothing was added.
platform::Dictionary copy_metadata_dictionary(const exifEngine* engine);

} // namespace raw
