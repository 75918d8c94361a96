#include "tools/CommandLineDecode.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

#include "platform/AtomicFile.h"
#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/core/RoadSteps.h"
#include "raw/develop/Demosaic.h"
#include "raw/develop/SensorPrep.h"
#include "raw/identify/Identify.h"
#include "raw/loaders/Loaders.h"
#include "raw/output/FileOutput.h"
#include "tools/IdentifyListing.h"
#include "tools/OutputName.h"

namespace tools {
namespace {

constexpr const char* kFoveonText = "Foveron sensors aren't supported";
constexpr const char* kNoLoaderText = "No loader for this file";

const char* thumbnail_extension(const raw::DecoderState& s) {
    if (s.thumbnail_writer == raw::jpeg_thumb || !s.thumbnail_writer) return ".jpg";
    const bool one_colour = s.thumbnail_writer == raw::layer_thumb && (s.thumbnail_misc >> 5 & 7) == 1;
    return one_colour ? ".pgm" : ".ppm";
}

const char* image_extension(const raw::DecoderState& s) {
    if (s.tiff_output) return ".tiff";
    if (s.colour_count == 1) return ".pgm";
    return s.colour_count == 3 ? ".ppm" : ".pam";
}

void seek(FILE* f, uint64_t offset) {
    if (f && offset <= uint64_t(LLONG_MAX)) fseeko(f, off_t(offset), SEEK_SET);
}

} // namespace

CommandLineDecode::CommandLineDecode(const DecoderOptions& options, const char* path, unsigned shot)
    : o_(options), path_(path), shot_(shot), state_(std::make_unique<raw::DecoderState>()), s_(*state_) {}

CommandLineDecode::~CommandLineDecode() { release(); }

void CommandLineDecode::release() {
    if (s_.output_file && s_.output_file != stdout) std::fclose(s_.output_file);
    s_.output_file = nullptr;
    if (s_.input_file) std::fclose(s_.input_file);
    s_.input_file = nullptr;
    for (void* block : {static_cast<void*>(s_.raw_buffer), static_cast<void*>(s_.pixel_image),
                        static_cast<void*>(s_.meta_block), static_cast<void*>(s_.output_profile)})
        raw::file_backed_free(s_, block);
    s_.raw_buffer = nullptr;
    s_.pixel_image = nullptr;
    s_.meta_block = nullptr;
    s_.output_profile = nullptr;
    raw::file_backed_release_all(s_);
}

bool CommandLineDecode::run() {
    try {
        if (!identify()) return false;
        if (o_.timestamp_only) return stamp_dates();
        if (o_.thumbnail_only) {
            if (!s_.thumbnail_offset) {
                std::fprintf(stderr, "%s has no thumbnail.\n", path_);
                return false;
            }
            if (!s_.thumbnail_loader) return write_thumbnail();
            prepare_thumbnail_image();
        } else if (o_.identify_only) {
            return list_identity();
        }
        return develop_and_write();
    } catch (const raw::DecoderText& thrown) {
        report_decoder_failure(thrown.text);
    } catch (const std::bad_alloc&) {
        report_decoder_failure(raw::kOutOfMemoryText);
    }
    return false;
}

void CommandLineDecode::report_decoder_failure(const char* thrown) {
    const char* text = s_.decoder_message[0] ? s_.decoder_message
                       : thrown && *thrown   ? thrown
                                             : "Decoding failed";
    // Some texts name the file already.
    if (std::strncmp(text, path_, std::strlen(path_)) == 0)
        std::fprintf(stderr, "%s\n", text);
    else
        std::fprintf(stderr, "%s: %s\n", path_, text);
}

bool CommandLineDecode::identify() {
    apply_options_before_identifying();
    s_.input_file = std::fopen(path_, "rb");
    if (!s_.input_file) {
        std::fprintf(stderr, "%s: %s\n", path_, std::strerror(errno));
        return false;
    }
    raw::identify_camera(s_);
    apply_options_after_identifying();
    return true;
}

void CommandLineDecode::apply_options_before_identifying() {
    raw::DecoderState& s = s_;
    s.input_path = path_;
    s.shot_index = shot_;
    s.verbose_output = o_.verbose;
    s.half_size_option = o_.half_size;
    s.four_colour_option = o_.four_colour;
    s.use_as_shot_wb = o_.use_camera_wb;
    s.auto_white_balance = o_.auto_wb || o_.grey_box_given;
    std::copy(std::begin(o_.grey_box), std::end(o_.grey_box), s.grey_box);
    std::copy(std::begin(o_.user_multipliers), std::end(o_.user_multipliers), s.user_multipliers);
    s.highlight_mode = o_.highlight_mode;
    s.median_passes = o_.median_passes;
    s.no_demosaic_mode = o_.document_mode;
    s.denoise_threshold = o_.denoise_threshold;
    std::copy(std::begin(o_.aberration_scales), std::end(o_.aberration_scales), s.aberration_scales);
    s.output_space = o_.output_space;
    s.tiff_output = o_.tiff;
    s.gamma_params[0] = o_.gamma[0];
    s.gamma_params[1] = o_.gamma[1];
    s.output_bits = o_.output_bits;
    s.brightness = o_.brightness;
    s.as_shot_white_xyz[0] = -1000; // no white point yet
    s.use_file_backed_memory = false;
}

void CommandLineDecode::apply_options_after_identifying() {
    if (o_.user_flip >= 0) s_.orientation_code = o_.user_flip;
    const bool embedded_in_use =
        !s_.camera_colour_output &&
        std::memcmp(s_.rgb_from_camera, s_.embedded_matrix, sizeof s_.rgb_from_camera) == 0;
    if (o_.camera_matrix == DecoderOptions::Matrix::Use && s_.embedded_matrix[0][0] > 0.125f) {
        std::memcpy(s_.rgb_from_camera, s_.embedded_matrix, sizeof s_.rgb_from_camera);
        s_.camera_colour_output = 0;
    } else if (o_.camera_matrix == DecoderOptions::Matrix::Ignore && embedded_in_use) {
        // Without the file's matrix the camera's own colours pass through.
        std::memset(s_.rgb_from_camera, 0, sizeof s_.rgb_from_camera);
        for (int i = 0; i < 3; ++i)
            s_.rgb_from_camera[i][i] = 1;
        s_.camera_colour_output = 1;
    }
}

bool CommandLineDecode::stamp_dates() {
    if (!s_.capture_time) {
        std::fprintf(stderr, "%s has no timestamp.\n", path_);
        return false;
    }
    if (o_.identify_only) {
        std::printf("%10ld%10d %s\n", long(s_.capture_time), int(s_.shot_order), path_);
        return true;
    }
    if (o_.verbose) std::fprintf(stderr, "%s time set to %d.\n", path_, int(s_.capture_time));
    const struct timespec times[2] = {{time_t(s_.capture_time), 0}, {time_t(s_.capture_time), 0}};
    if (utimensat(AT_FDCWD, path_, times, 0) != 0) {
        std::fprintf(stderr, "%s: %s\n", path_, std::strerror(errno));
        return false;
    }
    return true;
}

bool CommandLineDecode::list_identity() {
    if (o_.verbose) {
        if (s_.camera_make[0]) print_identify_listing(stdout, s_, path_, o_);
    } else if (s_.raw_count) {
        std::printf("%s is a %s %s image.\n", path_, s_.camera_make, s_.camera_model);
    }
    if (s_.raw_count) return true;
    std::fprintf(stderr, "Cannot decode file %s\n", path_);
    return false;
}

bool CommandLineDecode::write_thumbnail() {
    seek(s_.input_file, s_.thumbnail_offset);
    return write_file(s_.thumbnail_writer ? s_.thumbnail_writer : raw::jpeg_thumb, thumbnail_extension(s_),
                      true);
}

// A thumbnail stored as pixels goes through the road like a small, already rendered image.
void CommandLineDecode::prepare_thumbnail_image() {
    thumbnail_image_ = true;
    s_.raw_loader = s_.thumbnail_loader;
    s_.sensor_data_offset = s_.thumbnail_offset;
    s_.sensor_height = s_.visible_height = s_.thumbnail_height;
    s_.sensor_width = s_.visible_width = s_.thumbnail_width;
    s_.margin_top = s_.margin_left = 0;
    s_.cfa_pattern = 0;
    s_.colour_count = 3;
    s_.rotated_width = 0;
    s_.pixel_aspect_ratio = 1;
    s_.black_level = 0;
    std::fill(std::begin(s_.channel_black), std::end(s_.channel_black), uint16_t(0));
    std::fill(std::begin(s_.daylight_multipliers), std::end(s_.daylight_multipliers), 1.0f);
    s_.use_as_shot_wb = 0;
    s_.camera_colour_output = 1;
}

bool CommandLineDecode::develop_and_write() {
    if (!thumbnail_image_) {
        if (!s_.raw_count) {
            std::fprintf(stderr, "Cannot decode file %s\n", path_);
            return false;
        }
        if (shot_ >= s_.raw_count) {
            std::fprintf(stderr, "%s: \"-s %u\" requests a nonexistent image!\n", path_, shot_);
            return false;
        }
    }
    develop();
    // Damaged data still gives an image (what could be read), but the file counts as failed.
    const bool written = write_file(raw::write_ppm_tiff, image_extension(s_), thumbnail_image_);
    if (!loader_message_.empty()) {
        std::fprintf(stderr, "%s: %s\n", path_, loader_message_.c_str());
        return false;
    }
    return written;
}

void CommandLineDecode::develop() {
    prepare_sensor_data();
    finish_image();
}

void CommandLineDecode::prepare_sensor_data() {
    raw::DecoderState& s = s_;
    const bool aberration = o_.aberration_scales[0] != 1 || o_.aberration_scales[1] != 1;
    const int shrink = s.cfa_pattern && (o_.half_size || o_.denoise_threshold != 0 || aberration) ? 1 : 0;
    s.shrink_image = shrink;
    s.image_height = uint16_t((s.visible_height + shrink) >> shrink);
    s.image_width = uint16_t((s.visible_width + shrink) >> shrink);
    if (s.foveon_sensor) throw raw::DecoderText{kFoveonText};
    if (!s.raw_loader) throw raw::DecoderText{kNoLoaderText};
    if (o_.verbose)
        std::fprintf(stderr, "Loading %s %s image from %s ...\n", s.camera_make, s.camera_model, path_);
    raw::allocate_decode_buffers(s, "main()");
    seek(s.input_file, s.sensor_data_offset);
    s.raw_loader(s);
    loader_message_ = s.decoder_message;
    if (s.raw_buffer) {
        raw::crop_active_area(s);
        raw::file_backed_free(s, s.raw_buffer);
        s.raw_buffer = nullptr;
    }
    if (s.zero_pixels_bad) raw::fill_zero_pixels(s);
    raw::bad_pixels(s, o_.bad_pixel_file);
    if (o_.dark_frame_file) raw::subtract_dark_frame(s, o_.dark_frame_file);
    if (o_.user_black >= 0) {
        // The given level replaces every measured one, the black pattern included.
        s.black_level = uint32_t(o_.user_black);
        std::fill(s.channel_black, s.channel_black + 7, uint16_t(0));
    }
    raw::normalise_blacks(s);
    if (o_.user_saturation > 0) s.white_level = uint32_t(o_.user_saturation);
}

void CommandLineDecode::finish_image() {
    raw::DecoderState& s = s_;
    if (s.no_demosaic_mode < 2) raw::scale_colors(s);
    raw::pre_interpolate(s);
    if (s.cfa_pattern && !s.no_demosaic_mode) raw::interpolate_by_quality(s, o_.quality);
    // "-o 0" keeps a four-colour image in its camera colours.
    raw::finish_development(s,
                            {.rotate_and_stretch = !o_.no_rotate_or_stretch, .four_colours_in_srgb = false});
}

bool CommandLineDecode::write_file(raw::Routine writer, const char* extension, bool thumbnail) {
    if (o_.to_stdout) {
        if (o_.verbose) std::fprintf(stderr, "Writing data to standard output ...\n");
        return write_to(stdout, writer, "standard output");
    }
    const std::string name =
        output_name(path_, {extension, thumbnail, o_.all_shots, shot_, std::max(s_.raw_count, 1u)});
    if (o_.verbose) std::fprintf(stderr, "Writing data to %s ...\n", name.c_str());
    // The old file stays whole until the new one is complete.
    platform::AtomicFile file(name);
    platform::Error error;
    if (!file.open(&error)) {
        std::fprintf(stderr, "%s\n", error.failureReason.c_str());
        return false;
    }
    FILE* out = std::fopen(file.temporaryPath().c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "Cannot write %s: %s\n", name.c_str(), std::strerror(errno));
        return false;
    }
    if (!write_to(out, writer, name.c_str())) return false;
    if (!file.commit(&error)) {
        std::fprintf(stderr, "%s\n", error.failureReason.c_str());
        return false;
    }
    return true;
}

bool CommandLineDecode::write_to(FILE* out, raw::Routine writer, const char* name) {
    s_.output_file = out;
    errno = 0;
    writer(s_);
    bool failed = std::ferror(out) != 0;
    int error = errno;
    s_.output_file = nullptr;
    if (out == stdout ? std::fflush(out) != 0 : std::fclose(out) != 0) {
        failed = true;
        error = errno;
    }
    if (failed) std::fprintf(stderr, "Cannot write %s: %s\n", name, std::strerror(error ? error : EIO));
    // Reported once here; the check of standard output at the end looks for new failures.
    if (out == stdout) std::clearerr(stdout);
    return !failed;
}

} // namespace tools
