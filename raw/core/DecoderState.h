#pragma once
// Everything the decoder knows about the file being decoded. One record per decode:
// DCRaw value-initialises it at every loadFile, so nothing survives from one file to the
// next. Decoder functions take the record explicitly (tests build their own); the
// process-wide instance is reached only through DCRaw under DCRaw::decodeLock().
//
// Big tables live inside the record, so always allocate it on the heap.
#include <cstdint>
#include <cstdio>

class exifEngine;

namespace raw {

struct DecoderState;

// Loaders, thumbnail readers and file writers are plain routines over the state.
using Routine = void (*)(DecoderState&);

// One live file-backed allocation (see FileBackedMemory.h).
struct mapping_record {
    void* address = nullptr;
    int32_t descriptor = -1;
    uint64_t length = 0;
    mapping_record* next = nullptr;
};

// One parsed TIFF image directory, as the raw-IFD choice needs it.
struct ifd_record {
    uint32_t width, height, bits_per_sample, compression, photometric, data_offset;
    uint32_t orientation, samples_per_pixel, byte_count, tile_width, tile_length;
    float exposure_time;
};

// Colour-pattern words with a meaning of their own.
inline constexpr uint32_t kPatternNone = 0;        // every pixel complete
inline constexpr uint32_t kPatternLeaf16 = 1;      // fixed 16x16 table
inline constexpr uint32_t kPatternXTrans = 9;      // 6x6 cell in xtrans_layout
inline constexpr uint32_t kPatternBayerMin = 1000; // this and above: Bayer words

// One track of a CR3 file as its box walk records it (CMP1 header, sizes, offset).
struct cr3_track_record {
    uint32_t format_version, image_width, image_height, tile_width, tile_height;
    uint32_t bits_per_sample, plane_count, cfa_layout, encoding_type, wavelet_levels;
    uint32_t tile_columns_flag, tile_rows_flag, media_header_size, media_size;
    uint64_t media_offset;
    int32_t media_kind; // 0 none, 1 CRX raw data, 2 JPEG
};
inline constexpr int kCr3MaxTracks = 16;

inline constexpr int kMessageSize = 512;
inline constexpr int kMaxIfds = 10;

struct DecoderState {
    // File and identity
    const char* input_path = nullptr;
    FILE* input_file = nullptr;
    FILE* output_file = nullptr;
    uint16_t byte_order = 0;
    char camera_make[64];
    char camera_model[64];
    exifEngine* metadata_engine = nullptr;
    char decoder_message[kMessageSize];

    // Geometry
    uint16_t sensor_height, sensor_width;
    uint16_t visible_height, visible_width;
    uint16_t margin_top, margin_left;
    uint16_t image_height, image_width;
    uint16_t rotated_width;
    uint16_t thumbnail_height, thumbnail_width;

    // Colour pattern and levels
    uint32_t cfa_pattern;
    int8_t xtrans_layout[6][6];
    int32_t colour_count;
    uint32_t black_level;
    uint16_t channel_black[4102];
    uint32_t white_level;
    uint16_t white_samples[8][8];
    int32_t masked_areas[8][4]; // {top, left, bottom, right}; right 0 = absent

    // White balance and colour
    float as_shot_multipliers[4];
    float daylight_multipliers[4];
    float embedded_matrix[3][4];
    int32_t use_embedded_matrix;
    float rgb_from_camera[3][4];
    float output_from_camera[3][4]; // what colour conversion applies: output space x rgb_from_camera
    int32_t camera_colour_output;
    float camera_from_xyz[3][3];
    float as_shot_white_xyz[3];
    float baseline_exposure;
    float highlight_exposure_adjust;
    uint32_t histogram[4][8192];

    // Buffers and loader selection
    uint16_t* raw_buffer = nullptr;
    uint16_t (*pixel_image)[4] = nullptr;
    uint16_t tone_table[65536];
    // {power, toe slope, toe end linear, toe end encoded, offset, area ratio}
    float gamma_params[6] = {0.45f, 4.5f, 0, 0, 0, 0};
    Routine raw_loader = nullptr;
    uint64_t sensor_data_offset;
    uint32_t bits_per_sample;
    uint32_t compression_code;
    uint32_t samples_per_pixel;
    uint32_t loader_flags;
    uint8_t* meta_block = nullptr;
    uint32_t meta_block_length;
    uint8_t* output_profile = nullptr;
    mapping_record* mapping_list = nullptr;
    bool use_file_backed_memory;
    int32_t data_error_count;
    uint32_t dng_version_word;

    // Counts and switches of the file
    uint32_t raw_count;
    uint32_t shot_index;
    int32_t foveon_sensor;
    int32_t zero_pixels_bad;
    int32_t merge_greens;
    int32_t orientation_code;
    float pixel_aspect_ratio;

    // Further fields of identification, the parsers and the loaders
    char description_text[512];
    char model_text_2[64];
    char artist_text[64];
    char colour_letters[8];
    int64_t capture_time;
    float iso_value, exposure_time, f_number, focal_length_mm;
    uint32_t camera_model_id, shot_order, kodak_bits_code;
    uint64_t thumbnail_offset, maker_data_offset, profile_offset;
    uint32_t thumbnail_length, thumbnail_misc, profile_length;
    Routine thumbnail_loader = nullptr;
    Routine thumbnail_writer = nullptr;
    uint32_t tiff_tile_width, tiff_tile_length;
    int32_t tiff_orientation;
    int32_t fuji_sensor_layout;
    int8_t xtrans_sensor_layout[6][6];
    int32_t fuji_dynamic_range;
    uint16_t small_raw_multipliers[4];
    uint32_t sony_private_key;
    uint32_t sony_keystream_words[128]; // the keystream continues across calls
    uint32_t sony_keystream_position;
    uint32_t exif_cfa_pattern;       // 2x2 pattern of the EXIF CFAPattern tag
    uint32_t panasonic_header_value; // set by tag 1 of a Panasonic directory
    int32_t tiff_nesting_depth;      // directories being parsed inside one another
    uint32_t tiff_entries_read;      // over every directory of the file
    uint32_t ifd_count;
    ifd_record ifd_table[kMaxIfds];
    Routine output_writer = nullptr;
    uint64_t strip_table_offset;
    uint16_t canon_slice_widths[3];
    uint32_t gps_data[32];
    int32_t panasonic_bit_depth, panasonic_encoding;
    int32_t half_size_option;
    // Canon CIFF shot data: the flash flag and the camera's exposure value (float words)
    float canon_flash_flag, canon_exposure_value;
    // Command line only: a mosaic developed at half size keeps each 2x2 block of
    // photosites in one pixel (set when halving, denoising or correcting aberration).
    int32_t shrink_image;
    int32_t four_colour_option;
    // Chromatic-aberration scales of slots 0 and 2; 1 means none.
    double aberration_scales[2] = {1.0, 1.0};
    // CR3: the tracks of the box walk and the one chosen for crx_load_raw.
    cr3_track_record cr3_tracks[kCr3MaxTracks];
    int32_t cr3_selected_track;

    // Bit reader
    uint32_t bit_buffer;
    int32_t bit_count;
    int32_t marker_reached;
    int32_t ff_stuffing;

    // Phase One calibration
    int32_t phase_one_format;
    int32_t phase_one_black;
    int32_t phase_one_split_column, phase_one_split_row;
    uint64_t phase_one_row_blacks_offset, phase_one_column_blacks_offset;
    uint64_t phase_one_key_offset;
    uint16_t phase_one_calibration_key;
    float phase_one_curve_reference;
    // The 32-bit-word bit reader of phase_one_bits
    uint64_t phase_one_bit_buffer;
    int32_t phase_one_bit_count;
    int32_t phase_one_bits_ended; // a word came from past the end since the last reset

    // Options of the decode
    int32_t output_space;
    int32_t tiff_output;
    int32_t auto_white_balance;
    int32_t use_as_shot_wb;
    int32_t highlight_mode;
    int32_t median_passes;
    int32_t no_demosaic_mode;
    float denoise_threshold;
    float user_multipliers[4];
    int32_t verbose_output;
    // Where automatic white balance looks: {x, y, width, height}, clipped to the image.
    uint32_t grey_box[4] = {0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu};
    // The file writer: 8 or 16 bits per sample, and the white it maps to full scale is the
    // histogram's white divided by the brightness.
    int32_t output_bits = 8;
    float brightness = 1.0f;
};

} // namespace raw
