#include "raw/loaders/LoaderTable.h"

#include "raw/loaders/Loaders.h"

namespace raw {
namespace {

using enum LoaderOutput;

constexpr loader_entry kLoaders[] = {
    // Lossless JPEG and DNG sensor data.
    {ljpeg_sensor_load_raw, "ljpeg_sensor_load_raw", raw, "ljpeg_start()"},
    {canon_small_raw_load_raw, "canon_small_raw_load_raw", pixels, "ljpeg_start()"},
    {dng_ljpeg_load_raw, "dng_ljpeg_load_raw", raw_or_pixels, "ljpeg_start()"},
    {packed_dng_load_raw, "packed_dng_load_raw", raw_or_pixels, "packed_dng_load_raw()"},
    // Common packed and compressed formats.
    {packed_bits_load_raw, "packed_bits_load_raw", raw, nullptr},
    {plain_words_load_raw, "plain_words_load_raw", raw, nullptr},
    {nikon_compressed_load_raw, "nikon_compressed_load_raw", raw, "make_decoder()"},
    {nikon_14bit_load_raw, "nikon_14bit_load_raw", raw, "nikon_14bit_load_raw()"},
    {canon_crw_load_raw, "canon_crw_load_raw", raw, "make_decoder()"},
    {huffman_delta_load_raw, "huffman_delta_load_raw", raw, "huffman_delta_load_raw()"},
    {sony_arw2_load_raw, "sony_arw2_load_raw", raw, "sony_arw2_load_raw()"},
    {sony_huffman_load_raw, "sony_huffman_load_raw", raw, "sony_huffman_load_raw()"},
    {panasonic_blocks_load_raw, "panasonic_blocks_load_raw", raw, nullptr},
    {panasonicC6_load_raw, "panasonicC6_load_raw", raw, "panasonicC6_load_raw()"},
    {panasonicC7_load_raw, "panasonicC7_load_raw", raw, "panasonicC7_load_raw()"},
    {eight_bit_load_raw, "eight_bit_load_raw", raw, "eight_bit_load_raw()"},
    {ycbcr12_pair_load_raw, "ycbcr12_pair_load_raw", pixels, "ycbcr12_pair_load_raw()"},
    {rgb_shorts_load_raw, "rgb_shorts_load_raw", pixels, nullptr},
    {ljpeg_2x2_tiles_load_raw, "ljpeg_2x2_tiles_load_raw", raw, "ljpeg_start()"},
    {split_10bit_load_raw, "split_10bit_load_raw", raw, "split_10bit_load_raw()"},
    {empty_loader, "empty_loader", nothing, nullptr},
    {red_jpeg2000_entry, "red_jpeg2000_entry", nothing, nullptr},
    {kodak_jpeg_entry, "kodak_jpeg_entry", nothing, nullptr},
    {lossy_dng_entry, "lossy_dng_entry", nothing, nullptr},
    // Maker-specific formats.
    {adaptive_12bit_load_raw, "adaptive_12bit_load_raw", raw, nullptr},
    {canon600_packed_load_raw, "canon600_packed_load_raw", raw, nullptr},
    {diagonal_8bit_load_raw, "diagonal_8bit_load_raw", raw, nullptr},
    {hasselblad_load_raw, "hasselblad_load_raw", raw_or_pixels, "hasselblad_load_raw()"},
    {kodak_262_load_raw, "kodak_262_load_raw", raw, "kodak_262_load_raw()"},
    {kodak_block_load_raw, "kodak_block_load_raw", raw, nullptr},
    {kodak_c330_load_raw, "kodak_c330_load_raw", pixels, "kodak_c330_load_raw()"},
    {kodak_c603_load_raw, "kodak_c603_load_raw", pixels, "kodak_c603_load_raw()"},
    {kodak_rgb_blocks_load_raw, "kodak_rgb_blocks_load_raw", pixels, nullptr},
    {kodak_ycc_load_raw, "kodak_ycc_load_raw", pixels, nullptr},
    {leaf_hdr_load_raw, "leaf_hdr_load_raw", raw_or_pixels, "leaf_hdr_load_raw()"},
    {line_remap_8bit_load_raw, "line_remap_8bit_load_raw", raw, nullptr},
    {nokia_load_raw, "nokia_load_raw", raw, "nokia_load_raw()"},
    {quicktake_100_load_raw, "quicktake_100_load_raw", raw, nullptr},
    {radc_load_raw, "radc_load_raw", raw, nullptr},
    {samsung_adaptive_load_raw, "samsung_adaptive_load_raw", raw, nullptr},
    {samsung_block_load_raw, "samsung_block_load_raw", raw, nullptr},
    {samsung_huffman_load_raw, "samsung_huffman_load_raw", raw, nullptr},
    {sinar_4shot_load_raw, "sinar_4shot_load_raw", raw_or_pixels, "sinar_4shot_load_raw()"},
    {smal_6_load_raw, "smal_6_load_raw", raw, nullptr},
    {smal_9_load_raw, "smal_9_load_raw", raw, nullptr},
    {sony_scrambled_load_raw, "sony_scrambled_load_raw", raw, nullptr},
    {three_per_word_load_raw, "three_per_word_load_raw", raw, nullptr},
    // Phase One, compressed Fuji, Canon CR3.
    {phase_one_plain_load_raw, "phase_one_plain_load_raw", raw, nullptr},
    {fuji_compressed_load_raw, "fuji_compressed_load_raw", raw, nullptr},
    {crx_load_raw, "crx_load_raw", raw, nullptr},
};

} // namespace

std::span<const loader_entry> loader_table() { return kLoaders; }

const loader_entry* find_loader_entry(Routine loader) {
    for (const loader_entry& e : kLoaders)
        if (e.loader == loader) return &e;
    return nullptr;
}

} // namespace raw
