// Sinar IA files: a little-endian directory of named blocks, then the camera block.
#include <cstring>

#include "raw/containers/ContainerReading.h"
#include "raw/containers/Containers.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/Loaders.h"

namespace raw {
namespace {

using namespace container_io;

constexpr uint64_t kEntrySize = 16;

void read_block_directory(DecoderState& s) {
    seek(s, 4);
    uint32_t entries = read_u32(s);
    const uint64_t directory = read_u32(s);
    const uint64_t length = file_length(s);
    if (!seek(s, directory)) return;
    // The count is the file's word; the entries themselves must be in the file.
    for (; entries > 0 && tell(s) + kEntrySize <= length; --entries) {
        const uint32_t offset = read_u32(s);
        read_u32(s); // length
        char name[9];
        read_text(s, name, 8);
        if (!std::strcmp(name, "META")) s.maker_data_offset = offset;
        if (!std::strcmp(name, "THUMB")) s.thumbnail_offset = offset;
        if (!std::strcmp(name, "RAW0")) s.sensor_data_offset = offset;
    }
}

} // namespace

void parse_sinar_ia_block(DecoderState& s) {
    s.byte_order = kLittleEndian;
    read_block_directory(s);
    seek(s, s.maker_data_offset + 20);
    char make[64];
    read_text(s, make, 64);
    if (char* space = std::strchr(make, ' ')) {
        set_text(s.camera_model, space + 1);
        *space = 0;
    }
    set_text(s.camera_make, make);
    s.sensor_width = read_u16(s);
    s.sensor_height = read_u16(s);
    s.raw_loader = plain_words_load_raw;
    read_u32(s);
    s.thumbnail_width = read_u16(s);
    s.thumbnail_height = read_u16(s);
    s.thumbnail_writer = ppm_thumb;
    s.white_level = 0x3FFF;
}

} // namespace raw
