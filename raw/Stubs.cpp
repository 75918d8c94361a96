// Placeholders for decoder steps that are not written yet. Each later piece of work
// deletes its functions from this file and defines them in files of its own.
// Identification finds nothing, so every file ends as "Could not parse raw file";
// every other step fails with a status text naming what is missing.
#include "raw/CameraColour.h"
#include "raw/ColourOutput.h"
#include "raw/DecoderError.h"
#include "raw/Demosaic.h"
#include "raw/GreenMatch.h"
#include "raw/Highlights.h"
#include "raw/Loaders.h"
#include "raw/LosslessJpeg.h"
#include "raw/SensorPrep.h"

namespace raw {
namespace {

[[noreturn, maybe_unused]] void missing(DecoderState& s, const char* step) {
    decoder_fail(s, "%s is not available", step);
}

} // namespace




} // namespace raw
