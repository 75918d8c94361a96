// The media header of a CRX track: one header per tile, plane and sub-band, whose data
// sizes place each band in the coded data that follow the header.
#include "raw/cr3/Cr3Crx.h"

namespace raw::crx {
namespace {

constexpr uint64_t kHeaderBytes = 12;
constexpr uint32_t kMinTileSide = 22; // the three-level wavelet needs this much

uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t be32(const uint8_t* p) { return be16(p) << 16 | be16(p + 2); }

// Reads headers from the media header in order; every read is bounded by its size.
struct HeaderReader {
    const uint8_t* media;
    uint64_t header_size, at = 0;

    const uint8_t* next(uint32_t marker) {
        if (at + kHeaderBytes > header_size || be16(media + at) != marker) return nullptr;
        const uint8_t* h = media + at;
        at += kHeaderBytes;
        return h;
    }
};

// The next region of `size` bytes inside [at, end); false when it does not fit.
bool take(uint64_t& at, uint64_t end, uint64_t size, uint64_t& offset) {
    if (size > end - at) return false;
    offset = at;
    at += size;
    return true;
}

bool read_plane(HeaderReader& in, uint32_t index, uint32_t bands, uint64_t& at, uint64_t end, Plane& plane) {
    const uint8_t* h = in.next(0xFF02);
    if (!h || (h[8] >> 4) != index || !take(at, end, be32(h + 4), plane.offset)) return false;
    plane.size = be32(h + 4);
    plane.support_partial = h[8] >> 3 & 1;
    plane.rounding = h[8] >> 1 & 3;
    plane.bands.resize(bands);
    uint64_t band_at = plane.offset;
    for (Subband& band : plane.bands) {
        const uint8_t* b = in.next(0xFF03);
        if (!b) return false;
        const uint32_t size = be32(b + 4), word = be32(b + 8);
        const uint32_t padding = word & 0x7FF;
        if (padding > size || !take(band_at, plane.offset + plane.size, size, band.offset)) return false;
        band.size = size - padding;
        band.quantised = word >> 27 & 1;
        band.quant_start = int32_t(word >> 19 & 0xFF);
    }
    return true;
}

bool read_tile(HeaderReader& in, uint32_t index, const Layout& layout, uint64_t& data_at, uint64_t media_size,
               Tile& tile) {
    const uint8_t* h = in.next(0xFF01);
    uint64_t offset = 0;
    if (!h || be16(h + 8) != index || !take(data_at, media_size, be32(h + 4), offset)) return false;
    const uint64_t end = offset + be32(h + 4);
    tile.planes.resize(layout.planes);
    for (uint32_t p = 0; p < layout.planes; ++p)
        if (!read_plane(in, p, 3 * layout.levels + 1, offset, end, tile.planes[p])) return false;
    set_band_sizes(tile, layout.levels);
    return true;
}

void place_tile(const Layout& layout, uint32_t tile_width, uint32_t tile_height, uint32_t index, Tile& tile) {
    const uint32_t column = index % layout.columns, row = index / layout.columns;
    tile.column = column * tile_width;
    tile.row = row * tile_height;
    tile.width = column + 1 < layout.columns ? tile_width : layout.plane_width - tile.column;
    tile.height = row + 1 < layout.rows ? tile_height : layout.plane_height - tile.row;
    tile.edges =
        (column + 1 < layout.columns) | (column > 0) << 1 | (row + 1 < layout.rows) << 2 | (row > 0) << 3;
}

} // namespace

bool read_layout(const cr3_track_record& track, const uint8_t* media, uint64_t media_size, Layout& layout) {
    const uint32_t halve = track.plane_count == 4 ? 2 : 1;
    layout.planes = track.plane_count;
    layout.levels = track.wavelet_levels;
    layout.plane_width = track.image_width / halve;
    layout.plane_height = track.image_height / halve;
    const uint32_t tile_width = track.tile_width / halve, tile_height = track.tile_height / halve;
    if (tile_width < kMinTileSide || tile_height < kMinTileSide || track.media_header_size > media_size)
        return false;
    layout.columns = (layout.plane_width + tile_width - 1) / tile_width;
    layout.rows = (layout.plane_height + tile_height - 1) / tile_height;
    if (layout.plane_width - (layout.columns - 1) * tile_width < kMinTileSide ||
        layout.plane_height - (layout.rows - 1) * tile_height < kMinTileSide)
        return false;
    const uint64_t tiles = uint64_t(layout.columns) * layout.rows;
    const uint64_t per_tile = kHeaderBytes * (1 + layout.planes * (3 * layout.levels + 2));
    if (tiles * per_tile > track.media_header_size) return false; // also keeps the count sane
    HeaderReader in{media, track.media_header_size};
    uint64_t data_at = track.media_header_size;
    layout.tiles.resize(tiles);
    for (uint32_t i = 0; i < tiles; ++i) {
        place_tile(layout, tile_width, tile_height, i, layout.tiles[i]);
        if (!read_tile(in, i, layout, data_at, media_size, layout.tiles[i])) return false;
    }
    return true;
}

} // namespace raw::crx
