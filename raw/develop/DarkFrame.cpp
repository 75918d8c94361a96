// Dark-frame subtraction: a 16-bit binary PGM taken with the cap on, of the visible size,
// is subtracted photosite by photosite; its values already contain every black level.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "raw/core/PhotositeAccess.h"
#include "raw/develop/SensorPrep.h"

namespace raw {
namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

// A header number after white space and "#" comments; -1 when there is none.
long read_header_number(FILE* f) {
    int ch = std::fgetc(f);
    for (;;) {
        while (ch != EOF && std::isspace(ch))
            ch = std::fgetc(f);
        if (ch != '#') break;
        while (ch != EOF && ch != '\n')
            ch = std::fgetc(f);
    }
    long value = -1;
    for (int digits = 0; ch != EOF && std::isdigit(ch) && digits < 9; ++digits, ch = std::fgetc(f))
        value = (value < 0 ? 0 : value * 10) + (ch - '0');
    // One white-space byte ends the number (and, after the last, the header).
    if (ch == EOF || !std::isspace(ch)) return -1;
    return value;
}

struct PgmHeader {
    long width = -1, height = -1, maximum = -1;
};

bool read_header(FILE* f, PgmHeader& h) {
    char magic[2];
    if (std::fread(magic, 1, 2, f) != 2 || std::memcmp(magic, "P5", 2) != 0) return false;
    h.width = read_header_number(f);
    h.height = read_header_number(f);
    h.maximum = read_header_number(f);
    return h.width >= 0 && h.height >= 0 && h.maximum == 65535;
}

bool data_is_complete(FILE* f, uint64_t bytes) {
    const off_t here = ftello(f);
    if (here < 0 || fseeko(f, 0, SEEK_END) != 0) return false;
    const off_t end = ftello(f);
    return end >= here && uint64_t(end - here) >= bytes && fseeko(f, here, SEEK_SET) == 0;
}

void subtract_rows(DecoderState& s, FILE* f) {
    std::vector<uint8_t> line(size_t(s.visible_width) * 2);
    for (int row = 0; row < s.visible_height; ++row) {
        if (std::fread(line.data(), 1, line.size(), f) != line.size()) return;
        for (int col = 0; col < s.visible_width; ++col) {
            uint16_t* pixel = photosite_pixel(s, row, col);
            if (!pixel) continue;
            const int dark = line[2 * col] << 8 | line[2 * col + 1];
            uint16_t& value = pixel[photosite_colour(s, row, col)];
            value = uint16_t(value > dark ? value - dark : 0);
        }
    }
}

} // namespace

bool subtract_dark_frame(DecoderState& s, const char* pgm_path) {
    File f(std::fopen(pgm_path, "rb"), std::fclose);
    if (!f) {
        std::perror(pgm_path);
        return false;
    }
    PgmHeader h;
    if (!read_header(f.get(), h)) {
        std::fprintf(stderr, "%s is not a valid PGM file!\n", pgm_path);
        return false;
    }
    if (h.width != s.visible_width || h.height != s.visible_height) {
        std::fprintf(stderr, "%s has the wrong dimensions!\n", pgm_path);
        return false;
    }
    // A short file would leave part of the image with its blacks and part without.
    if (!data_is_complete(f.get(), uint64_t(h.width) * h.height * 2)) {
        std::fprintf(stderr, "%s is not a valid PGM file!\n", pgm_path);
        return false;
    }
    if (s.pixel_image) subtract_rows(s, f.get());
    s.black_level = 0;
    std::memset(s.channel_black, 0, sizeof s.channel_black);
    return true;
}

} // namespace raw
