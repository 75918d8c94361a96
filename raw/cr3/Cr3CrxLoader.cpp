// crx_load_raw: the CRX-coded sensor data of the chosen CR3 track, tile by tile.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <vector>

#include "raw/core/BandRunner.h"
#include "raw/core/DecoderError.h"
#include "raw/cr3/Cr3Crx.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/tiff/TiffReading.h"

namespace raw {
namespace {

// The whole media of the track; the file must hold all of it.
std::vector<uint8_t> read_media(DecoderState& s, const cr3_track_record& t) {
    const uint64_t length = uint64_t(file_length(s));
    if (t.media_offset > length || t.media_size > length - t.media_offset)
        throw DecoderText{crx::kFillBufferText};
    std::vector<uint8_t> media(t.media_size);
    if (!seek_inside(s, int64_t(t.media_offset)) ||
        std::fread(media.data(), 1, media.size(), s.input_file) != media.size())
        throw DecoderText{crx::kFillBufferText};
    return media;
}

// False when damage ended a band early; what was decoded is still kept.
bool decode_plane(const crx::Layout& layout, const crx::Tile& tile, const crx::Plane& plane,
                  const uint8_t* data, std::vector<int32_t>& out) {
    bool whole = true;
    out.assign(uint64_t(tile.width) * tile.height, 0);
    std::vector<std::vector<int32_t>> bands(plane.bands.size());
    for (size_t b = 0; b < bands.size(); ++b) {
        const crx::Subband& band = plane.bands[b];
        bands[b].resize(uint64_t(band.width) * band.height);
        const crx::BandCoding coding{b > 0, b == 0 ? plane.rounding : 0};
        whole = crx::decode_band(data, band, coding, bands[b].data()) && whole;
    }
    if (layout.levels)
        crx::inverse_wavelet(tile, layout.levels, bands, out.data());
    else
        out.swap(bands[0]);
    return whole;
}

// The planes of a tile are independent: each decodes on a band thread of its own. A
// status thrown there is carried back to this thread.
bool decode_tile(const crx::Layout& layout, const crx::Tile& tile, const uint8_t* data,
                 std::vector<std::vector<int32_t>>& planes) {
    std::vector<std::exception_ptr> failures(layout.planes);
    std::vector<char> whole(layout.planes, 1);
    run_bands(int(layout.planes), [&](int p) {
        try {
            whole[p] = decode_plane(layout, tile, tile.planes[p], data, planes[p]);
        } catch (...) {
            failures[p] = std::current_exception();
        }
    });
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
    return std::all_of(whole.begin(), whole.end(), [](char w) { return w != 0; });
}

} // namespace

void crx_load_raw(DecoderState& s) {
    const int32_t index = s.cr3_selected_track;
    if (index < 0 || index >= kCr3MaxTracks || s.cr3_tracks[index].media_kind != 1)
        return count_data_error(s);
    const cr3_track_record& t = s.cr3_tracks[index];
    if (!loader::require_raw_buffer(s)) return;
    const std::vector<uint8_t> media = read_media(s, t);
    crx::Layout layout;
    // Larger frames could not have been identified; they would only claim work areas.
    if (t.image_width > 0xFFFF || t.image_height > 0xFFFF ||
        !crx::read_layout(t, media.data(), media.size(), layout))
        return count_data_error(s);
    const crx::OutputFormat format{t.bits_per_sample, t.plane_count, t.cfa_layout, t.encoding_type};
    std::vector<std::vector<int32_t>> planes(layout.planes);
    for (const crx::Tile& tile : layout.tiles) {
        const bool whole = decode_tile(layout, tile, media.data(), planes);
        crx::write_tile(s, format, tile, planes);
        if (!whole) count_data_error(s);
    }
}

} // namespace raw
