#include "raw/core/DCRaw.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "platform/Log.h"
#include "raw/colour/CameraColour.h"
#include "raw/core/BandRunner.h"
#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/core/FrameStrips.h"
#include "raw/core/RoadSteps.h"
#include "raw/develop/Demosaic.h"
#include "raw/develop/GreenMatch.h"
#include "raw/develop/SensorPrep.h"
#include "raw/identify/Identify.h"
#include "raw/loaders/Loaders.h"
#include "raw/output/ColourOutput.h"
#include "raw/output/FileOutput.h"
#include "raw/tiff/MetadataEngine.h"

using raw::DecoderState;

namespace {

constexpr const char* kNotParsedText = "Could not parse raw file";
constexpr const char* kNotRawText = "Image does not appear to be in raw format.";
constexpr const char* kShotMissingText = "Lumivar could not decode the raw file format";
constexpr const char* kFoveonText = "Foveron sensors aren't supported";
constexpr const char* kOutputFileText = "could not open output file";
constexpr const char* kUnknownErrorText = "Unknown error demosaicing raw image";

void close_stream(FILE*& file) {
    // The standard streams belong to the process, not to the decode.
    if (file && fileno(file) > 2) std::fclose(file);
    file = nullptr;
}

// Turns whatever a decode step threw into decoder_message.
void absorb_current_exception(DecoderState& s) {
    try {
        throw;
    } catch (const raw::DecoderText& thrown) {
        if (thrown.text && *thrown.text) raw::set_decoder_message(s, thrown.text);
    } catch (const std::bad_alloc&) {
        if (!s.decoder_message[0]) raw::set_decoder_message(s, raw::kOutOfMemoryText);
    } catch (...) {
        if (!s.decoder_message[0]) raw::set_decoder_message(s, kUnknownErrorText);
    }
    close_stream(s.input_file);
    close_stream(s.output_file);
}

bool make_skips_green_matching(const char* make) {
    for (const char* name : {"NIKON", "Sony", "Canon", "Nokia"})
        if (std::strcmp(make, name) == 0) return true;
    return false;
}

int sharpening_step(float sharpening) {
    if (!(sharpening >= 0.1f)) return 0; // NaN included
    return int(24 / sharpening - 8);
}

// The camera's as-shot white as chromaticity; 0, 0 when the file gave none.
void white_chromaticity(const DecoderState& s, float& x, float& y) {
    const float* w = s.as_shot_white_xyz;
    float sum = w[0] + w[1] + w[2];
    x = sum > 0 ? w[0] / sum : 0;
    y = sum > 0 ? w[1] / sum : 0;
}

// The record and image where the two renderings part, kept for the second; empty when
// there was no memory for them.
struct PartedRecord {
    std::unique_ptr<DecoderState> record;
    raw::file_backed_ptr<uint16_t[4]> image;
};

PartedRecord part_record(DecoderState& s) {
    PartedRecord parted{nullptr, raw::file_backed_ptr<uint16_t[4]>(nullptr, {&s})};
    const uint64_t pixels = uint64_t(s.image_height) * s.image_width;
    parted.image.reset(
        static_cast<uint16_t(*)[4]>(raw::file_backed_calloc(s, pixels, sizeof *s.pixel_image)));
    if (!parted.image) return parted;
    // In bands side by side: first touching the fresh block's pages is most of the cost.
    const uint64_t width = s.image_width;
    try {
        raw::run_bands(raw::kBandCount, [&](int band) {
            const raw::BandRange rows = raw::band_range(s.image_height, raw::kBandCount, band);
            const uint64_t first = uint64_t(rows.begin) * width,
                           count = uint64_t(rows.end - rows.begin) * width;
            if (count)
                std::memcpy(parted.image.get() + first, s.pixel_image + first, count * sizeof *s.pixel_image);
        });
    } catch (...) {
        parted.image.reset();
        return parted;
    }
    parted.record.reset(new (std::nothrow) DecoderState(s));
    if (!parted.record) parted.image.reset();
    return parted;
}

// Everything the first rendering changed goes back: sizes, orientation, colour count,
// histogram, tone table, messages. Its blocks go first (its image was handed over); the
// parted record still owns meta_block, and its image is the copy. Live mappings stay listed.
void restore_parted_record(DecoderState& s, const DecoderState& parted, uint16_t (*image)[4]) {
    if (s.raw_buffer != parted.raw_buffer) raw::file_backed_free(s, s.raw_buffer);
    if (s.meta_block != parted.meta_block) raw::file_backed_free(s, s.meta_block);
    if (s.output_profile != parted.output_profile) raw::file_backed_free(s, s.output_profile);
    close_stream(s.output_file);
    raw::mapping_record* const mappings = s.mapping_list;
    s = parted;
    s.mapping_list = mappings;
    s.pixel_image = image;
}

} // namespace

DCRaw::DCRaw() {
    std::scoped_lock lock(decodeLock());
    DecoderState& s = state();
    s.metadata_engine = nullptr;
    s.use_file_backed_memory = true;
    s.use_embedded_matrix = 0;
}

DCRaw::~DCRaw() {
    std::scoped_lock lock(decodeLock());
    DecoderState& s = state();
    // A decode that ended early must not leave its file or mappings to the next one;
    // a later decoder object owns the record once it has loaded a file.
    if (generation_ == currentGeneration()) {
        close_stream(s.input_file);
        raw::file_backed_release_all(s);
    }
    releaseEngine();
}

uint64_t& DCRaw::currentGeneration() {
    static uint64_t generation = 0;
    return generation;
}

std::recursive_mutex& DCRaw::decodeLock() {
    static std::recursive_mutex lock;
    return lock;
}

DecoderState& DCRaw::state() {
    static DecoderState* shared = new DecoderState(); // lives as long as the process
    return *shared;
}

void DCRaw::releaseEngine() {
    DecoderState& s = state();
    if (s.metadata_engine == engine_) s.metadata_engine = nullptr;
    raw::destroy_metadata_engine(engine_);
    engine_ = nullptr;
}

void DCRaw::resetState(DecoderState& s) {
    close_stream(s.input_file);
    close_stream(s.output_file);
    raw::file_backed_release_all(s);
    releaseEngine();
    // Value-initialise in place: the record is too large for a temporary on the stack.
    new (&s) DecoderState();
    s.output_space = outputColorSpace_ ? outputColorSpace_ : 1;
    s.tiff_output = 1;
    s.auto_white_balance = 0;
    s.use_as_shot_wb = 1;
    s.as_shot_white_xyz[0] = -1000;
    s.baseline_exposure = 0;
    s.highlight_mode = recoverHighlights_ ? 2 : 0;
    s.use_file_backed_memory = true;
    isOutputReferred_ = false;
}

bool DCRaw::loadFile(const std::string& path, uint64_t* pixelSize) {
    std::scoped_lock lock(decodeLock());
    DecoderState& s = state();
    resetState(s);
    generation_ = ++currentGeneration();
    engine_ = raw::create_metadata_engine();
    s.metadata_engine = engine_;
    inputPath_ = path;
    s.input_path = inputPath_.c_str();

    bool ok = false;
    try {
        ok = identify(s, pixelSize);
    } catch (...) {
        absorb_current_exception(s);
        ok = false;
    }
    metaData_ = raw::copy_metadata_dictionary(engine_);
    if (!ok) {
        close_stream(s.input_file);
        dcStatus_ = s.decoder_message[0] ? s.decoder_message : kNotParsedText;
        if (pixelSize) *pixelSize = 0;
        return false;
    }
    dcStatus_ = "ok";
    dcMake_ = s.camera_make;
    dcModel_ = s.camera_model;
    return true;
}

bool DCRaw::identify(DecoderState& s, uint64_t* pixelSize) {
    s.input_file = std::fopen(s.input_path, "rb");
    if (!s.input_file) {
        raw::set_decoder_message(s, std::strerror(errno));
        return false;
    }
    raw::identify_camera(s);
    if (s.raw_count == 0) return false;
    applyCameraProfile(s);
    if (conversionMode_ == 2) {
        const float green_only[4] = {0, 1, 0, 0};
        std::copy(green_only, green_only + 4, s.as_shot_multipliers);
        std::fill(s.daylight_multipliers, s.daylight_multipliers + 4, 1.0f);
    }
    s.output_writer = raw::write_ppm_tiff;
    if (s.raw_loader == raw::kodak_ycc_load_raw) {
        // This loader works on pixel pairs; 65535 cannot round up within 16 bits.
        auto even = [](uint16_t v) { return uint16_t(v == 0xFFFF ? v - 1 : v + (v & 1)); };
        s.visible_height = even(s.visible_height);
        s.visible_width = even(s.visible_width);
    }
    s.image_height = s.visible_height;
    s.image_width = s.visible_width;
    if (pixelSize) *pixelSize = (uint64_t(s.image_height) * 8 + 1024) * s.image_width + 1703936;
    takeCameraResults(s);
    isOutputReferred_ = raw::loads_rendered_data(s.raw_loader);
    return true;
}

void DCRaw::applyCameraProfile(DecoderState& s) {
    if (!cameraProfile_ || cameraProfile_->isAutoProfile()) return;
    float m[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = (cameraProfile_->getcolorMatrix1(i, j) + cameraProfile_->getcolorMatrix2(i, j)) * 0.5f;
    raw::camera_xyz_coefficients(s, s.rgb_from_camera, m, 3); // 3 rows, even for a 4-colour sensor
    raw::set_camera_matrix(s, m, 3);
}

void DCRaw::takeCameraResults(const DecoderState& s) {
    white_chromaticity(s, dcWhitex_, dcWhitey_);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            cameraFromXYZ_[i][j] = s.camera_from_xyz[i][j];
    cameraBaselineExposure_ = s.baseline_exposure;
}

bool DCRaw::processFileAndCreateBuffer(const std::string& path, uint16_t** createdBuffer, float sharpening,
                                       uint16_t* bufferWidth, uint16_t* bufferHeight) {
    std::scoped_lock lock(decodeLock());
    DecoderState& s = state();
    const bool toBuffer = createdBuffer != nullptr;
    bool ok = true;
    try {
        const Unpacked unpacked = unpack(s, toBuffer);
        render(s, path, toBuffer, sharpening, algoSelect_, unpacked.interpolate);
        ok = unpacked.loaderOk;
    } catch (...) {
        absorb_current_exception(s);
        ok = false;
    }
    close_stream(s.input_file);
    releaseRoadBlocks(s);
    if (!toBuffer) {
        raw::file_backed_free(s, s.pixel_image);
        s.pixel_image = nullptr;
    }
    const Rendering rendering = endRendering(s, ok);
    if (toBuffer) *createdBuffer = rendering.buffer;
    if (bufferWidth) *bufferWidth = rendering.width;
    if (bufferHeight) *bufferHeight = rendering.height;
    return rendering.ok;
}

std::array<DCRaw::Rendering, 2> DCRaw::processFileAndCreateBuffers(int32_t alternateAlgoSelect,
                                                                   uint16_t masterFrame) {
    std::scoped_lock lock(decodeLock());
    DecoderState& s = state();
    std::array<Rendering, 2> renderings;
    Unpacked unpacked{};
    try {
        unpacked = unpack(s, true);
    } catch (...) {
        // Failed before the renderings part: a decode of the second would fail the same way.
        absorb_current_exception(s);
        close_stream(s.input_file);
        releaseRoadBlocks(s);
        renderings[0] = endRendering(s, false);
        renderings[1].status = renderings[0].status;
        return renderings;
    }
    // Nothing after the loader reads the file, and the kept record must not hold it.
    close_stream(s.input_file);
    if (frameApplies(s, unpacked, masterFrame)) {
        std::unique_ptr<raw::FrameStrips> strips;
        std::unique_ptr<DecoderState> record;
        try {
            strips = std::make_unique<raw::FrameStrips>(s.pixel_image, s.visible_height, s.visible_width,
                                                        masterFrame);
            record = std::make_unique<DecoderState>(s);
        } catch (const std::bad_alloc&) {
            record.reset(); // the whole master then, as without a frame
        }
        if (record) return renderWithMasterFrame(s, *record, alternateAlgoSelect, unpacked, *strips);
    }
    PartedRecord parted = part_record(s);
    renderings[0] = renderToBuffer(s, algoSelect_, unpacked);
    if (!parted.record) {
        releaseRoadBlocks(s);
        raw::set_decoder_message(s, raw::kOutOfMemoryText);
        renderings[1] = endRendering(s, false);
        return renderings;
    }
    restore_parted_record(s, *parted.record, parted.image.release());
    parted.record.reset();
    renderings[1] = renderToBuffer(s, alternateAlgoSelect, unpacked);
    releaseRoadBlocks(s);
    return renderings;
}

// Only steps that develop each pixel from its neighbourhood: AHD on a Bayer pattern, no
// median passes, highlights blended or clipped, no 45-degree or pixel-aspect resampling.
bool DCRaw::frameApplies(const DecoderState& s, const Unpacked& unpacked, int frame) const {
    const float aspect = s.pixel_aspect_ratio;
    const bool squarePixels = aspect == 1 || !(aspect > 0) || !std::isfinite(aspect);
    return frame > 0 && unpacked.interpolate && algoSelect_ == 0 && s.colour_count == 3 &&
           !s.no_demosaic_mode && s.cfa_pattern >= raw::kPatternBayerMin && !s.merge_greens &&
           s.median_passes == 0 && s.highlight_mode <= 2 && !s.rotated_width && squarePixels &&
           !s.foveon_sensor && s.image_height == s.visible_height && s.image_width == s.visible_width &&
           raw::FrameStrips::fits(s.visible_height, s.visible_width, frame);
}

// The alternate develops the unpacked image itself; the master's frame then develops from
// the strips, each on the record as the unpacking left it.
std::array<DCRaw::Rendering, 2> DCRaw::renderWithMasterFrame(DecoderState& s, const DecoderState& record,
                                                             int32_t alternateAlgoSelect,
                                                             const Unpacked& unpacked,
                                                             raw::FrameStrips& strips) {
    std::array<Rendering, 2> renderings;
    renderings[1] = renderToBuffer(s, alternateAlgoSelect, unpacked);
    renderings[0] = renderFrame(s, record, unpacked, strips);
    releaseRoadBlocks(s);
    // As when the master develops first, the status is the second's.
    dcStatus_ = renderings[1].status;
    return renderings;
}

DCRaw::Rendering DCRaw::renderFrame(DecoderState& s, const DecoderState& record, const Unpacked& unpacked,
                                    raw::FrameStrips& strips) {
    bool ok = unpacked.loaderOk;
    try {
        for (raw::FrameStrips::Strip& strip : strips.strips()) {
            restore_parted_record(s, record, strip.pixels.get());
            s.image_height = s.visible_height = uint16_t(strip.height);
            s.image_width = s.visible_width = uint16_t(strip.width);
            interpolate(s, algoSelect_);
            raw::finish_development(s, {.rotate_and_stretch = true, .four_colours_in_srgb = true});
            s.pixel_image = nullptr; // the strips keep their pixels
        }
        restore_parted_record(s, record, nullptr);
        s.pixel_image = strips.orientedImage(s);
        if (!s.pixel_image) throw raw::DecoderText{raw::kOutOfMemoryText};
    } catch (...) {
        for (const raw::FrameStrips::Strip& strip : strips.strips())
            if (s.pixel_image == strip.pixels.get()) s.pixel_image = nullptr;
        absorb_current_exception(s);
        ok = false;
    }
    Rendering rendering = endRendering(s, ok);
    if (ok) rendering.frame = strips.frame();
    return rendering;
}

DCRaw::Rendering DCRaw::renderToBuffer(DecoderState& s, int32_t algorithm, const Unpacked& unpacked) {
    bool ok = unpacked.loaderOk;
    try {
        render(s, {}, true, 0, algorithm, unpacked.interpolate);
    } catch (...) {
        absorb_current_exception(s);
        ok = false;
    }
    return endRendering(s, ok);
}

void DCRaw::releaseRoadBlocks(DecoderState& s) {
    raw::file_backed_free(s, s.raw_buffer);
    raw::file_backed_free(s, s.meta_block);
    raw::file_backed_free(s, s.output_profile);
    s.raw_buffer = nullptr;
    s.meta_block = nullptr;
    s.output_profile = nullptr;
}

// Takes the developed image out of the record and sets the status; a failed decode hands
// over whatever it developed, with no size.
DCRaw::Rendering DCRaw::endRendering(DecoderState& s, bool ok) {
    Rendering rendering;
    rendering.buffer = reinterpret_cast<uint16_t*>(s.pixel_image);
    s.pixel_image = nullptr;
    rendering.ok = ok;
    if (ok) {
        rendering.width = s.visible_width;
        rendering.height = s.visible_height;
        dcStatus_ = "ok";
        dcMake_ = s.camera_make;
        dcModel_ = s.camera_model;
    } else {
        if (!s.decoder_message[0]) raw::set_decoder_message(s, kNotParsedText);
        dcStatus_ = s.decoder_message;
    }
    rendering.status = dcStatus_;
    return rendering;
}

DCRaw::Unpacked DCRaw::unpack(DecoderState& s, bool toBuffer) {
    s.use_file_backed_memory = !toBuffer && useVirtualMemory_;
    s.median_passes = 0;
    if (s.raw_count == 0 || !s.raw_loader || !s.input_file) raw::decoder_fail(s, "%s", kNotRawText);
    if (s.use_embedded_matrix && s.embedded_matrix[0][0] > 0.25f) {
        std::memcpy(s.rgb_from_camera, s.embedded_matrix, sizeof s.rgb_from_camera);
        s.camera_colour_output = 0;
    }
    raw::allocate_decode_buffers(s, "LoadFile");
    if (s.shot_index >= s.raw_count)
        raw::decoder_fail(s, "%s", s.foveon_sensor ? kFoveonText : kShotMissingText);
    if (s.foveon_sensor) raw::decoder_fail(s, "%s", kFoveonText);

    if (s.sensor_data_offset <= uint64_t(INT64_MAX))
        fseeko(s.input_file, off_t(s.sensor_data_offset), SEEK_SET);
    s.raw_loader(s);
    // A text the loader left (a data error) lets development finish but fails the decode.
    Unpacked unpacked{.loaderOk = s.decoder_message[0] == 0, .interpolate = false};

    if (s.raw_buffer) {
        raw::crop_active_area(s);
        raw::file_backed_free(s, s.raw_buffer);
        s.raw_buffer = nullptr;
    }
    if (s.zero_pixels_bad) raw::fill_zero_pixels(s);
    raw::normalise_blacks(s);
    raw::scale_colors(s);
    cameraBaselineExposure_ = s.baseline_exposure;
    highlightExposureAdjust_ = s.highlight_exposure_adjust;
    unpacked.interpolate = prepareDemosaic(s);
    return unpacked;
}

bool DCRaw::prepareDemosaic(DecoderState& s) {
    if (s.colour_count == 1) return false;
    if (conversionMode_ == 2) {
        raw::cfa_to_monochrome_regression(s, 64);
        if (s.colour_count == 1) return false;
    }
    bool matched = false;
    if (s.cfa_pattern >= raw::kPatternBayerMin && doGreenChannelMatch_ &&
        !make_skips_green_matching(s.camera_make))
        matched = raw::green_channel_match_threaded(s, 512);
    if (!matched) raw::pre_interpolate(s);
    return s.cfa_pattern != 0;
}

void DCRaw::render(DecoderState& s, const std::string& path, bool toBuffer, float sharpening,
                   int32_t algorithm, bool needsInterpolation) {
    if (needsInterpolation) interpolate(s, algorithm);
    raw::finish_development(s, {.rotate_and_stretch = true, .four_colours_in_srgb = true});
    writeOutput(s, path, toBuffer, sharpening);
}

void DCRaw::interpolate(DecoderState& s, int32_t algorithm) {
    raw::demosaic_job job{};
    job.height = s.visible_height;
    job.width = s.visible_width;
    job.image = s.pixel_image;
    job.filters = s.cfa_pattern;
    std::memcpy(job.xtrans, s.xtrans_layout, sizeof job.xtrans);
    if (algorithm != 0 && s.colour_count == 3) {
        job.highlight_flag = recoverHighlights_ ? 1 : 0;
        raw::lmmse_interpolate_threaded(job);
    } else if (!s.no_demosaic_mode) {
        if (s.colour_count < 4)
            raw::ahd_interpolate_threaded(job);
        else
            raw::vng_interpolate(s);
    }
}

void DCRaw::writeOutput(DecoderState& s, const std::string& path, bool toBuffer, float sharpening) {
    if (toBuffer) {
        s.output_file = nullptr;
        raw::createCGImage(s, 0);
    } else {
        s.output_file = std::fopen(path.c_str(), "wb");
        if (!s.output_file) throw raw::DecoderText{kOutputFileText};
        std::setvbuf(s.output_file, nullptr, _IONBF, 0);
        raw::createCGImage(s, sharpening_step(sharpening));
        close_stream(s.output_file);
    }
    close_stream(s.input_file);
}

void DCRaw::rawDump(int row) const {
    std::scoped_lock lock(decodeLock());
    const DecoderState& s = state();
    if (!s.raw_buffer) {
        LV_LOG("%s: no raw data", __PRETTY_FUNCTION__);
        return;
    }
    // The buffer holds sensor_height + 7 rows; rendered data has four values a photosite.
    if (row < 0 || row >= s.sensor_height + 7) {
        LV_LOG("%s: row %d is outside the raw data", __PRETTY_FUNCTION__, row);
        return;
    }
    const int perPhotosite = raw::loads_rendered_data(s.raw_loader) ? 4 : 1;
    const size_t values = size_t(s.sensor_width) * perPhotosite;
    const uint16_t* line = s.raw_buffer + size_t(row) * values;
    constexpr size_t kPerLine = 16;
    for (size_t first = 0; first < values; first += kPerLine) {
        char text[kPerLine * 6 + 1] = "";
        size_t used = 0;
        for (size_t i = first; i < std::min(values, first + kPerLine); ++i)
            used += size_t(std::snprintf(text + used, sizeof text - used, " %u", unsigned(line[i])));
        LV_LOG("raw row %d, value %zu:%s", row, first, text);
    }
}

void DCRaw::rawDumpCanonRows() const {
    std::scoped_lock lock(decodeLock());
    const DecoderState& s = state();
    if (!s.raw_buffer) {
        LV_LOG("%s: no raw data", __PRETTY_FUNCTION__);
        return;
    }
    if (!s.margin_top) LV_LOG("%s: no masked rows above the image", __PRETTY_FUNCTION__);
    for (int row = 0; row < s.margin_top; ++row)
        rawDump(row);
}
