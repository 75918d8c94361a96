// The loader of compressed Fuji data: it never throws; the decoder's failures become the
// decode's status, and the raw buffer keeps what was decoded.
#include "raw/core/DecoderError.h"
#include "raw/fuji/FujiCompressed.h"
#include "raw/loaders/Loaders.h"

namespace raw {

void fuji_compressed_load_raw(DecoderState& s) {
    XTransCompressed decoder(s.sensor_width, s.sensor_height, s.raw_buffer, s.xtrans_sensor_layout,
                             s.cfa_pattern);
    const int read = decoder.parseHeader(s.input_file, s.sensor_data_offset);
    s.sensor_data_offset += uint64_t(read);
    if (read == XTransCompressed::kHeaderSize) {
        s.sensor_width = decoder.rawWidth();
        s.sensor_height = decoder.rawHeight();
        decoder.loadRaw();
    } else {
        set_decoder_message(s, "Could not read from RAF file");
    }
    if (decoder.error())
        set_decoder_message(s, decoder.message() ? decoder.message() : "Unknown error in Fuji machine");
}

} // namespace raw
