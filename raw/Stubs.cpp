// Placeholders for decoder steps that are not written yet. Each later piece of work
// deletes its functions from this file and defines them in files of its own.
// Identification finds nothing, so every file ends as "Could not parse raw file";
// every other step fails with a status text naming what is missing.
#include "raw/CameraColour.h"
#include "raw/ColourOutput.h"
#include "raw/DecoderError.h"
#include "raw/Demosaic.h"
#include "raw/FileOutput.h"
#include "raw/GreenMatch.h"
#include "raw/Highlights.h"
#include "raw/Identify.h"
#include "raw/Loaders.h"
#include "raw/LosslessJpeg.h"
#include "raw/SensorPrep.h"

namespace raw {
namespace {

[[noreturn]] void missing(DecoderState& s, const char* step) {
    decoder_fail(s, "%s is not available", step);
}

} // namespace

void identify_camera(DecoderState& s) { s.raw_count = 0; }




void median_filter(DecoderState& s) { missing(s, "Median filter"); }
void blend_highlights(DecoderState& s) { missing(s, "Highlight blending"); }
void recover_highlights(DecoderState& s) { missing(s, "Highlight rebuilding"); }

void fuji_rotate(DecoderState& s) { missing(s, "45-degree rotation"); }
void convert_to_rgb_threaded(DecoderState& s) { missing(s, "Colour conversion"); }
void convert_to_rgb(DecoderState& s) { missing(s, "Colour conversion"); }
void stretch(DecoderState& s) { missing(s, "Pixel-aspect stretch"); }
void createCGImage(DecoderState& s, int) { missing(s, "Output bitmap"); }

void write_ppm_tiff(DecoderState& s) { missing(s, "Image file writer"); }
void jpeg_thumb(DecoderState& s) { missing(s, "Thumbnail writer"); }


} // namespace raw
