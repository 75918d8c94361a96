#pragma once
// The decoder command line's options, as parsed from the words before the file names.
#include <cstdint>
#include <cstdio>

namespace tools {

struct DecoderOptions {
    bool verbose = false;
    bool to_stdout = false;
    bool thumbnail_only = false;
    bool identify_only = false;
    bool timestamp_only = false;
    bool use_camera_wb = false;
    bool auto_wb = false;
    bool grey_box_given = false;
    uint32_t grey_box[4] = {0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu}; // x, y, width, height
    float user_multipliers[4] = {0, 0, 0, 0};
    enum class Matrix { Default, Use, Ignore } camera_matrix = Matrix::Default;
    double aberration_scales[2] = {1.0, 1.0}; // red, blue
    const char* bad_pixel_file = nullptr;
    const char* dark_frame_file = nullptr;
    int user_black = -1;      // -1: the file's
    int user_saturation = -1; // -1: the file's
    float denoise_threshold = 0;
    int highlight_mode = 0;
    int user_flip = -1; // -1: the file's orientation
    int output_space = 1;
    int document_mode = 0;
    bool no_rotate_or_stretch = false;
    float brightness = 1.0f;
    float gamma[2] = {0.45f, 4.5f}; // power (stored inverted) and toe slope
    int quality = 3;
    bool half_size = false;
    bool four_colour = false;
    int median_passes = 0;
    unsigned shot = 0;
    bool all_shots = false;
    int output_bits = 8;
    bool tiff = false;
};

// Reads the options from argv[1] on. Returns the index of the first file name (argc when
// there is none), or -1 after writing the reason to `errors`.
int parse_decoder_options(int argc, char** argv, DecoderOptions& options, FILE* errors);

// The banner and the option list, shown when the program is run without arguments.
void print_decoder_usage(FILE* out, const char* program);

} // namespace tools
