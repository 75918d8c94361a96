// Lossless JPEG tiles whose four components are the four photosites of a 2x2 cell.
#include <cstdint>
#include <cstdio>

#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"

namespace raw {
namespace {

using namespace loader;

constexpr uint32_t kUntiled = 0x7FFFFFFF;

// Decodes one tile's frame into the cells from (top, left) on; false when the stream
// there is no usable frame.
bool load_tile(DecoderState& s, uint64_t top, uint64_t left) {
    ljpeg_header jh;
    if (!ljpeg_start(s, jh, false)) return false;
    if (jh.components < 4) return false; // fewer components than a cell has photosites
    for (int32_t j = 0; j < jh.high; ++j) {
        const int64_t before = ljpeg_stream_position(s);
        const uint16_t* row = ljpeg_decode_row(s, j, jh);
        const uint64_t r = top + 2 * uint64_t(j);
        for (int32_t x = 0; x < jh.wide; ++x) {
            const uint16_t* cell = row + int64_t(x) * jh.components;
            const uint64_t c = left + 2 * uint64_t(x);
            put_raw(s, r, c, cell[0]);
            put_raw(s, r, c + 1, cell[1]);
            put_raw(s, r + 1, c, cell[2]);
            put_raw(s, r + 1, c + 1, cell[3]);
        }
        if (ljpeg_data_ended(s, before)) break;
    }
    ljpeg_release(s, jh);
    return true;
}

} // namespace

// Tiles are walked as the DNG tile loader walks them: a damaged tile leaves a hole and
// counts a data error, and data with no frame at all is refused.
void ljpeg_2x2_tiles_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    if (!s.tiff_tile_width || !s.tiff_tile_length) {
        count_data_error(s);
        return;
    }
    int decoded = 0, refused = 0;
    uint64_t top = 0, left = 0;
    while (top < s.sensor_height) {
        const off_t entry = ftello(s.input_file);
        if (s.tiff_tile_length < kUntiled) {
            const uint32_t offset = read_u32(s);
            if (std::feof(s.input_file)) {
                count_data_error(s); // the offset list runs past the end of the file
                break;
            }
            seek_to(s, offset);
        }
        if (load_tile(s, top, left)) {
            ++decoded;
        } else {
            count_data_error(s);
            ++refused;
        }
        if (entry >= 0) seek_to(s, uint64_t(entry) + 4);
        left += s.tiff_tile_width;
        if (left >= s.sensor_width) {
            left = 0;
            top += s.tiff_tile_length;
        }
    }
    if (!decoded && refused) throw DecoderText{kNotLosslessJpegText};
}

} // namespace raw
