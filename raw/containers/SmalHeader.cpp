// SMaL camera files: a short little-endian header that repeats the file's length.
#include <cstdio>

#include "raw/containers/ContainerReading.h"
#include "raw/containers/Containers.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/Loaders.h"

namespace raw {

void parse_smal_header(DecoderState& s, uint64_t offset, uint64_t file_size) {
    using namespace container_io;
    if (!seek(s, offset + 2)) return;
    s.byte_order = kLittleEndian;
    const int version = std::fgetc(s.input_file);
    if (version == 6) skip(s, 5);
    if (read_u32(s) != file_size) return;
    if (version > 6) s.sensor_data_offset = read_u32(s);
    s.visible_height = s.sensor_height = read_u16(s);
    s.visible_width = s.sensor_width = read_u16(s);
    set_text(s.camera_make, "SMaL");
    std::snprintf(s.camera_model, sizeof s.camera_model, "v%d %dx%d", version, s.visible_width,
                  s.visible_height);
    if (version == 6) s.raw_loader = smal_6_load_raw;
    if (version == 9) s.raw_loader = smal_9_load_raw;
}

} // namespace raw
