// Placeholders for decoder steps that are not written yet. Each later piece of work
// deletes its functions from this file and defines them in files of its own.
// Identification finds nothing, so every file ends as "Could not parse raw file";
// every other step fails with a status text naming what is missing.
#include "raw/CameraAdjust.h"
#include "raw/CameraColour.h"
#include "raw/ColourOutput.h"
#include "raw/Containers.h"
#include "raw/Cr3.h"
#include "raw/DecoderError.h"
#include "raw/Demosaic.h"
#include "raw/FileOutput.h"
#include "raw/GreenMatch.h"
#include "raw/Highlights.h"
#include "raw/Loaders.h"
#include "raw/LosslessJpeg.h"
#include "raw/SensorPrep.h"

namespace raw {
namespace {

[[noreturn]] void missing(DecoderState& s, const char* step) {
    decoder_fail(s, "%s is not available", step);
}

} // namespace

// Parsers and adjustments identification calls. Until they exist they recognise
// nothing and change nothing, so files end unidentified ("Could not parse raw file")
// instead of failing with a text about a missing step.
void parse_external_jpeg(DecoderState&) {}
void parse_ciff_heap(DecoderState&, uint64_t, uint64_t, int) {}
void parse_rollei_header(DecoderState&) {}
void parse_sinar_ia_block(DecoderState&) {}
void parse_phase_one_header(DecoderState&, uint64_t) {}
void parse_fuji_raf(DecoderState&, uint64_t) {}
int parse_jpeg_segments(DecoderState&, uint64_t) { return 0; }
void parse_riff_chunks(DecoderState&) {}
void parse_qt_boxes(DecoderState&, uint64_t) {}
void parse_smal_header(DecoderState&, uint64_t, uint64_t) {}
void parse_cine_header(DecoderState&) {}
void parse_r3d_header(DecoderState&) {}
void identify_cr3(DecoderState&) {}
void apply_camera_adjustments(DecoderState&, uint64_t) {}

void write_ppm_tiff(DecoderState& s) { missing(s, "Image file writer"); }
void jpeg_thumb(DecoderState& s) { missing(s, "Thumbnail writer"); }


} // namespace raw
