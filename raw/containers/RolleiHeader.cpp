// Rollei digital backs: a text header of "key=value" lines ending with "EOHD".
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "raw/containers/ContainerReading.h"
#include "raw/containers/Containers.h"
#include "raw/loaders/Loaders.h"

namespace raw {
namespace {

using namespace container_io;

// A header number; negative or unreadable values count as 0.
uint64_t header_number(const char* text) {
    const long long v = std::strtoll(text, nullptr, 10);
    return v > 0 ? uint64_t(v) : 0;
}

struct RolleiDate {
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
};

void apply_line(DecoderState& s, const char* key, const char* value, RolleiDate& date) {
    if (!std::strcmp(key, "DAT")) std::sscanf(value, "%d.%d.%d", &date.day, &date.month, &date.year);
    if (!std::strcmp(key, "TIM")) std::sscanf(value, "%d:%d:%d", &date.hour, &date.minute, &date.second);
    if (!std::strcmp(key, "HDR")) s.thumbnail_offset = header_number(value);
    if (!std::strcmp(key, "X  ")) s.sensor_width = fit16(header_number(value));
    if (!std::strcmp(key, "Y  ")) s.sensor_height = fit16(header_number(value));
    if (!std::strcmp(key, "TX ")) s.thumbnail_width = fit16(header_number(value));
    if (!std::strcmp(key, "TY ")) s.thumbnail_height = fit16(header_number(value));
}

} // namespace

void parse_rollei_header(DecoderState& s) {
    RolleiDate date;
    char line[128];
    seek(s, 0);
    do {
        // A header without its end mark is not one of ours.
        if (!std::fgets(line, sizeof line, s.input_file)) return;
        char* value = std::strchr(line, '=');
        if (value)
            *value++ = 0;
        else
            value = line + std::strlen(line);
        apply_line(s, line, value, date);
    } while (std::strncmp(line, "EOHD", 4) != 0);

    s.sensor_data_offset = s.thumbnail_offset + uint64_t(s.thumbnail_width) * s.thumbnail_height * 2;
    if (const int64_t when = local_time(date.year, date.month, date.day, date.hour, date.minute, date.second))
        s.capture_time = when;
    set_text(s.camera_make, "Rollei");
    set_text(s.camera_model, "d530flex");
    s.thumbnail_writer = rollei_thumb;
}

} // namespace raw
