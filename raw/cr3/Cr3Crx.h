#pragma once
// Inside the CRX decoder of CR3 raw tracks: the coded-data layout read from the media
// header, the bit reader with its adaptive Rice codes, line decoding and output.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "raw/core/DecoderState.h"

namespace raw::crx {

// Thrown (as the decoder's status) when a band's coded data end before its lines do.
inline constexpr const char* kFillBufferText = "Exception in crxFillBuffer";

struct Subband {
    uint64_t offset = 0, size = 0; // inside the coded data
    bool quantised = false;
    int32_t quant_start = 0;
    uint32_t width = 0, height = 0;
};

struct Plane {
    uint64_t offset = 0, size = 0;
    uint32_t rounding = 0; // rounding selector 0..3
    bool support_partial = false;
    std::vector<Subband> bands; // 3 x levels + 1
};

struct Tile {
    uint32_t column = 0, row = 0, width = 0, height = 0; // in plane samples
    uint32_t edges = 0; // bit 0 right, 1 left, 2 below, 3 above: a neighbouring tile
    std::vector<Plane> planes;
};

struct Layout {
    uint32_t plane_width = 0, plane_height = 0, planes = 0, levels = 0;
    uint32_t columns = 0, rows = 0;
    std::vector<Tile> tiles; // row by row
};

// Reads the tile, plane and sub-band headers at the start of `media`; false when the
// header does not describe the track's tiles or its data do not fit the media.
bool read_layout(const cr3_track_record& track, const uint8_t* media, uint64_t media_size, Layout& layout);

// Bits most significant first; running past the band's data throws kFillBufferText.
class BitReader {
  public:
    BitReader(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}
    uint32_t bits(int count);
    uint32_t bit() { return bits(1); }
    // Zero bits before the next 1 bit (the 1 is consumed).
    uint32_t prefix();

  private:
    void fill();
    const uint8_t* data_;
    uint64_t size_, next_ = 0;
    uint64_t cache_ = 0;
    int cached_ = 0;
};

// A Rice-coded value with parameter k (prefixes from `escape` up hold `escape_bits` raw bits).
uint32_t rice_value(BitReader& in, int k, uint32_t escape = 41, int escape_bits = 21);
// The parameter after value v, at most `limit`.
int adapt_parameter(int k, uint32_t v, int limit = 15);
inline int32_t zigzag(uint32_t v) { return (v & 1) ? -int32_t((v >> 1) + 1) : int32_t(v >> 1); }
// The quantisation step of parameter q (0 for small q, growing by a sixth of an octave).
int64_t quant_step(int32_t q);

// Decodes one band, line by line, into `out` (width x height samples). Damage that ends
// the tile early returns false and leaves the remaining lines zero.
struct BandCoding {
    bool high = false; // a wavelet high band: residuals without prediction
    uint32_t rounding = 0;
};
bool decode_band(const uint8_t* data, const Subband& band, const BandCoding& coding, int32_t* out);

// Sets the sizes of a tile's bands: one band the size of the tile without wavelet, else
// the low band of the deepest level and three high bands per level, overlaps included.
void set_band_sizes(Tile& tile, uint32_t levels);

// Rebuilds a plane of a tile from its bands (already decoded, in band order) with the
// reversible 5/3 lifting; `out` gets tile.width x tile.height samples.
void inverse_wavelet(const Tile& tile, uint32_t levels, const std::vector<std::vector<int32_t>>& bands,
                     int32_t* out);
// One line of the 5/3 inverse: `low` and `high` interleave into `out` (n samples).
void inverse_53_line(const int32_t* low, const int32_t* high, uint32_t n, bool left, bool right,
                     int32_t* out);

// Writes decoded plane samples of a tile into raw_buffer.
struct OutputFormat {
    uint32_t bits = 14, planes = 4, cfa_layout = 0, encoding = 0;
};
void write_tile(DecoderState& s, const OutputFormat& format, const Tile& tile,
                const std::vector<std::vector<int32_t>>& planes);

} // namespace raw::crx
