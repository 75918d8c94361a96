#include "raw/wrapper/ReducedDecode.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <sys/types.h>

#include "raw/colour/CameraColour.h"
#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/core/RoadSteps.h"
#include "raw/develop/SensorPrep.h"
#include "raw/identify/Identify.h"
#include "raw/loaders/Loaders.h"
#include "raw/output/ColourOutput.h"

namespace raw {
namespace {

// The record and everything the road allocated in it, released however the decode ends.
struct OwnDecode {
    std::unique_ptr<DecoderState> state = std::make_unique<DecoderState>();
    std::string path;

    ~OwnDecode() {
        DecoderState& s = *state;
        if (s.input_file) std::fclose(s.input_file);
        s.input_file = nullptr;
        for (void* block : {static_cast<void*>(s.raw_buffer), static_cast<void*>(s.pixel_image),
                            static_cast<void*>(s.meta_block), static_cast<void*>(s.output_profile)})
            file_backed_free(s, block);
        file_backed_release_all(s);
    }
};

// As a document's decode identifies: as-shot white balance, sRGB out, the heap only.
bool identifyForThumbnail(DecoderState& s, const std::string& path) {
    s.input_path = path.c_str();
    s.output_space = 1;
    s.use_as_shot_wb = 1;
    s.as_shot_white_xyz[0] = -1000; // no white point yet
    s.use_file_backed_memory = false;
    s.half_size_option = 1;
    s.input_file = std::fopen(s.input_path, "rb");
    if (!s.input_file) return false;
    identify_camera(s);
    if (s.raw_count == 0 || !s.raw_loader || s.foveon_sensor || s.shot_index >= s.raw_count) return false;
    if (uint64_t(s.sensor_height) * s.sensor_width > kMaxReducedPhotosites) return false;
    if (s.raw_loader == kodak_ycc_load_raw) {
        // This loader works on pixel pairs.
        auto even = [](uint16_t v) { return uint16_t(v == 0xFFFF ? v - 1 : v + (v & 1)); };
        s.visible_height = even(s.visible_height);
        s.visible_width = even(s.visible_width);
    }
    if (s.use_embedded_matrix && s.embedded_matrix[0][0] > 0.25f) {
        std::memcpy(s.rgb_from_camera, s.embedded_matrix, sizeof s.rgb_from_camera);
        s.camera_colour_output = 0;
    }
    return true;
}

// A mosaic keeps each 2 x 2 block of photosites in one pixel; other data stays whole.
bool developHalfSize(DecoderState& s) {
    const int shrink = s.cfa_pattern ? 1 : 0;
    s.shrink_image = shrink;
    s.image_height = uint16_t((s.visible_height + shrink) >> shrink);
    s.image_width = uint16_t((s.visible_width + shrink) >> shrink);
    allocate_decode_buffers(s, "decodeReduced()");
    if (s.sensor_data_offset > uint64_t(LLONG_MAX) ||
        fseeko(s.input_file, off_t(s.sensor_data_offset), SEEK_SET) != 0)
        return false;
    s.raw_loader(s);
    // Damaged data would give a picture the document then refuses to develop.
    if (s.decoder_message[0]) return false;
    if (s.raw_buffer) {
        crop_active_area(s);
        file_backed_free(s, s.raw_buffer);
        s.raw_buffer = nullptr;
    }
    if (s.zero_pixels_bad) fill_zero_pixels(s);
    normalise_blacks(s);
    scale_colors(s);
    pre_interpolate(s);
    finish_development(s, {.rotate_and_stretch = true, .four_colours_in_srgb = true});
    return s.pixel_image && s.visible_width > 0 && s.visible_height > 0 && !s.decoder_message[0];
}

// Through the display curve, with the white where the brightest 1% of the pixels begin,
// turned by the file's orientation.
ReducedImage encode(DecoderState& s) {
    build_gamma_curve(s, s.gamma_params[0], s.gamma_params[1], 2, float(white_bin(s) << 3));
    const int sourceHeight = s.visible_height, sourceWidth = s.visible_width;
    const bool swap = s.orientation_code & 4;
    ReducedImage image;
    image.width = swap ? sourceHeight : sourceWidth;
    image.height = swap ? sourceWidth : sourceHeight;
    image.rgb.resize(size_t(image.width) * size_t(image.height) * 3);
    const bool grey = s.colour_count < 3;
    uint8_t* out = image.rgb.data();
    for (int row = 0; row < image.height; ++row) {
        const OrientedRow walk = oriented_row(s.orientation_code, sourceHeight, sourceWidth, row);
        int64_t at = walk.start;
        for (int col = 0; col < image.width; ++col, at += walk.step) {
            const uint16_t* pixel = s.pixel_image[at];
            for (int c = 0; c < 3; ++c)
                *out++ = uint8_t(s.tone_table[pixel[grey ? 0 : c]] >> 8);
        }
    }
    return image;
}

} // namespace

std::optional<ReducedImage> decodeReduced(const std::filesystem::path& file) {
    OwnDecode decode;
    decode.path = file.string();
    DecoderState& s = *decode.state;
    try {
        if (!identifyForThumbnail(s, decode.path) || !developHalfSize(s)) return std::nullopt;
        return encode(s);
    } catch (const DecoderText&) {
    } catch (const std::bad_alloc&) {
    }
    return std::nullopt;
}

} // namespace raw
