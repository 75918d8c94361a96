#include "raw/loaders/DngSensorData.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "raw/core/BandRunner.h"
#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"

namespace raw {
namespace {

// Tile sizes of 0 mean one tile across (or down) the whole sensor, as the TIFF parser
// records untiled data; taken literally they would never advance.
uint64_t tile_extent(uint32_t size) { return size ? size : uint64_t(kNoRestart); }

// A second-shot pixel reads one sample past its own.
uint64_t spare_samples(const DecoderState& s) {
    return dng_samples_per_pixel(s) == 2 && s.shot_index ? 1 : 0;
}

void copy_lossless_tile(DecoderState& s, ljpeg_header& jh, uint64_t tr, uint64_t tc) {
    const uint64_t spp = dng_samples_per_pixel(s);
    const uint64_t row_samples = uint64_t(jh.wide) * uint64_t(jh.components);
    const uint64_t divisor = std::max<uint64_t>(1, std::min<uint64_t>(s.raw_count, spp));
    uint64_t jwide = std::max<uint64_t>(1, row_samples / divisor);
    // Never past the end of the decoded row, whatever the counts claim.
    jwide = std::min(jwide, (row_samples - std::min(row_samples, spare_samples(s))) / spp);
    const uint64_t tile_w = tile_extent(s.tiff_tile_width);
    const bool tiled = s.tiff_tile_width != 0 && s.tiff_tile_width != uint32_t(kNoRestart);
    const uint64_t rows = s.raw_buffer ? s.sensor_height : s.visible_height;
    uint64_t row = 0, col = 0;
    for (int32_t jrow = 0; jrow < jh.high && tr + row < rows; ++jrow) {
        const int64_t before = ljpeg_stream_position(s);
        const uint16_t* cursor = ljpeg_decode_row(s, jrow, jh);
        for (uint64_t jcol = 0; jcol < jwide; ++jcol) {
            dng_copy_pixel(s, tr + row, tc + col, cursor);
            // Untiled frames may hold several sensor rows a row; a tile wider than the sensor
            // only pads its rows, whose extra columns are dropped, not wrapped.
            if (++col >= tile_w || (!tiled && col >= s.sensor_width)) {
                col = 0;
                ++row;
            }
        }
        if (ljpeg_data_ended(s, before)) return;
    }
}

// Lossy tiles: 8 x 8 blocks whose rows land two sensor rows apart.
void copy_lossy_tile(DecoderState& s, ljpeg_header& jh, uint64_t tr, uint64_t tc) {
    if (dng_samples_per_pixel(s) != 1) {
        count_data_error(s); // a block holds one sample per pixel
        return;
    }
    const uint64_t tile_w = tile_extent(s.tiff_tile_width);
    jh.column_predictors[0] = 16384;
    read_bits(s, -1);
    for (int64_t jr = 0; jr + 7 < jh.high; jr += 8) {
        const int64_t before = ljpeg_stream_position(s);
        for (int64_t jc = 0; jc + 7 < jh.wide; jc += 8) {
            ljpeg_decode_dct_block(s, jh);
            const uint16_t* cursor = jh.dct_block;
            for (int i = 0; i < 16; i += 2)
                for (int j = 0; j < 8; ++j)
                    dng_copy_pixel(s, tr + jc / tile_w + 2 * jr + i, tc + jc % tile_w + j, cursor);
        }
        if (ljpeg_data_ended(s, before)) return;
    }
}

// The tile at `offset`, or where the file stands; false when it holds no JPEG frame.
bool decode_tile(DecoderState& s, std::optional<uint32_t> offset, uint64_t tr, uint64_t tc) {
    if (offset && std::fseek(s.input_file, long(*offset), SEEK_SET) != 0) return false;
    ljpeg_header jh;
    if (!ljpeg_start(s, jh, false)) return false;
    if (jh.algorithm == 0xC1)
        copy_lossy_tile(s, jh, tr, tc);
    else
        copy_lossless_tile(s, jh, tr, tc);
    return true;
}

// Reads `bytes` at `offset` in as many calls as it takes; false on an error or an early end.
bool read_fully_at(int descriptor, uint8_t* to, uint64_t bytes, uint64_t offset) {
    while (bytes) {
        const ssize_t got = pread(descriptor, to, bytes, off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        offset += uint64_t(got);
        bytes -= uint64_t(got);
    }
    return true;
}

// The common uncompressed DNG: 16-bit single samples into raw_buffer, the whole block in a
// file on disk. Bands read their rows side by side straight into the buffer, then swap and
// linearise them there, which is what the row-by-row road gives when no row falls short;
// the stream is then left where that road leaves it. Anything else (a short file, a memory
// stream, other samples) returns false with the stream untouched, for the row-by-row road.
bool load_whole_16bit_rows(DecoderState& s) {
    if (s.bits_per_sample != 16 || dng_samples_per_pixel(s) != 1 || !s.raw_buffer || !s.input_file)
        return false;
    const int descriptor = fileno(s.input_file); // memory streams have none
    const off_t start = descriptor < 0 ? -1 : ftello(s.input_file);
    struct stat info;
    if (start < 0 || fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    const uint64_t row_bytes = uint64_t(s.sensor_width) * sizeof(uint16_t);
    const uint64_t end = uint64_t(start) + row_bytes * s.sensor_height;
    if (row_bytes == 0 || uint64_t(info.st_size) < end) return false; // a short file keeps its quirks
    // About 256 KiB a read, so each chunk is still in the cache when it is converted.
    const uint64_t chunk_rows = std::max<uint64_t>(1, (uint64_t(256) << 10) / row_bytes);
    const bool swap = s.byte_order == kBigEndian;
    std::atomic<bool> failed{false};
    run_bands(kBandCount, [&](int band) {
        const BandRange rows = band_range(s.sensor_height, kBandCount, band);
        for (uint64_t r = uint64_t(rows.begin); r < uint64_t(rows.end) && !failed; r += chunk_rows) {
            const uint64_t n = std::min(chunk_rows, uint64_t(rows.end) - r);
            uint16_t* first = s.raw_buffer + r * s.sensor_width;
            if (!read_fully_at(descriptor, reinterpret_cast<uint8_t*>(first), n * row_bytes,
                               uint64_t(start) + r * row_bytes)) {
                failed = true;
                return;
            }
            const uint64_t count = n * s.sensor_width;
            for (uint64_t i = 0; i < count; ++i) {
                const uint16_t v = swap ? uint16_t((first[i] >> 8) | (first[i] << 8)) : first[i];
                first[i] = s.tone_table[v];
            }
        }
    });
    if (failed) {
        // The file changed under us: start again on the stream from the calloc'd buffer.
        std::memset(s.raw_buffer, 0, row_bytes * s.sensor_height);
        fseeko(s.input_file, start, SEEK_SET);
        return false;
    }
    fseeko(s.input_file, off_t(end), SEEK_SET);
    s.ff_stuffing = 0; // as the stream road leaves it
    return true;
}

} // namespace

void dng_copy_pixel(DecoderState& s, uint64_t row, uint64_t column, const uint16_t*& cursor) {
    const uint32_t spp = dng_samples_per_pixel(s);
    const uint16_t* sample = cursor + spare_samples(s);
    if (s.raw_buffer) {
        if (row < s.sensor_height && column < s.sensor_width)
            s.raw_buffer[row * s.sensor_width + column] = s.tone_table[sample[0]];
    } else if (s.pixel_image && row < std::min(s.visible_height, s.image_height) &&
               column < std::min(s.visible_width, s.image_width)) {
        uint16_t* pixel = s.pixel_image[row * s.image_width + column];
        for (uint32_t c = 0; c < spp && c < 4; ++c)
            pixel[c] = s.tone_table[sample[c]];
    }
    cursor += spp;
}

void dng_ljpeg_load_raw(DecoderState& s) {
    const uint64_t tile_w = tile_extent(s.tiff_tile_width);
    const uint64_t tile_l = tile_extent(s.tiff_tile_length);
    int decoded = 0, refused = 0;
    for (uint64_t tr = 0, tc = 0; tr < s.sensor_height;) {
        const long position = std::ftell(s.input_file);
        std::optional<uint32_t> offset; // untiled data starts where we stand
        if (tile_l < uint64_t(kNoRestart)) {
            offset = read_u32(s);
            if (std::feof(s.input_file)) {
                count_data_error(s); // the offset list runs past the end of the file
                break;
            }
        }
        if (decode_tile(s, offset, tr, tc)) {
            ++decoded;
        } else {
            count_data_error(s); // a damaged tile leaves a hole; the others still decode
            ++refused;
        }
        std::fseek(s.input_file, position + 4, SEEK_SET);
        tc += tile_w;
        if (tc >= s.sensor_width) {
            tc = 0;
            tr += tile_l;
        }
    }
    if (!decoded && refused) throw DecoderText{kNotLosslessJpegText};
}

void packed_dng_load_raw(DecoderState& s) {
    if (load_whole_16bit_rows(s)) return;
    const uint64_t spp = dng_samples_per_pixel(s);
    const uint64_t samples = uint64_t(s.sensor_width) * spp;
    auto release = [&s](uint16_t* p) { file_backed_free(s, p); };
    std::unique_ptr<uint16_t, decltype(release)> row(
        static_cast<uint16_t*>(file_backed_calloc(s, samples + spare_samples(s), sizeof(uint16_t))), release);
    memory_error(s, row.get(), "packed_dng_load_raw()");
    s.ff_stuffing = 0; // packed samples are plain bits, 0xFF bytes included
    for (uint64_t r = 0; r < s.sensor_height; ++r) {
        if (s.bits_per_sample == 16) {
            read_u16_array(s, row.get(), samples);
        } else {
            read_bits(s, -1); // every row starts on a fresh byte
            for (uint64_t i = 0; i < samples; ++i)
                row.get()[i] = uint16_t(read_bits(s, int(s.bits_per_sample)));
        }
        const uint16_t* cursor = row.get();
        for (uint64_t col = 0; col < s.sensor_width; ++col)
            dng_copy_pixel(s, r, col, cursor);
        if (std::feof(s.input_file)) break; // rows past the end stay black
    }
}

} // namespace raw
