// Dead photosites listed by the photographer: lines of "column row time", where a pixel
// counts only for photos taken at or after the time it died.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "raw/core/PhotositeAccess.h"
#include "raw/develop/SensorPrep.h"

namespace raw {
namespace {

constexpr int kLargestRadius = 16; // covers every colour cell, the 16x16 table included

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

File open_list(const char* list_path) {
    if (list_path) return File(std::fopen(list_path, "r"), std::fclose);
    std::error_code error;
    std::filesystem::path folder = std::filesystem::current_path(error);
    while (!error && !folder.empty()) {
        if (FILE* f = std::fopen((folder / ".badpixels").c_str(), "r")) return File(f, std::fclose);
        if (folder == folder.parent_path()) break;
        folder = folder.parent_path();
    }
    return File(nullptr, std::fclose);
}

// Three decimal numbers at the start of a line whose comment has been cut off.
bool parse_entry(const char* line, long long value[3]) {
    const char* at = line;
    for (int i = 0; i < 3; ++i) {
        char* end;
        errno = 0;
        value[i] = std::strtoll(at, &end, 10);
        if (end == at || errno == ERANGE) return false;
        at = end;
    }
    return true;
}

// The mean of the slot over the same-colour photosites on the nearest square ring that
// has any.
void repair(DecoderState& s, int row, int col, int slot, bool same_colour_only) {
    for (int radius = 1; radius <= kLargestRadius; ++radius) {
        uint64_t sum = 0, count = 0;
        for (int r = row - radius; r <= row + radius; ++r)
            for (int c = col - radius; c <= col + radius; ++c) {
                if (std::abs(r - row) != radius && std::abs(c - col) != radius) continue;
                if (r < 0 || c < 0 || r >= s.visible_height || c >= s.visible_width) continue;
                if (same_colour_only && photosite_colour(s, r, c) != slot) continue;
                if (const uint16_t* pixel = photosite_pixel(s, r, c)) sum += pixel[slot], count++;
            }
        if (count) {
            photosite_pixel(s, row, col)[slot] = uint16_t(sum / count);
            return;
        }
    }
}

void repair_photosite(DecoderState& s, int row, int col) {
    if (s.cfa_pattern) {
        repair(s, row, col, photosite_colour(s, row, col), true);
        return;
    }
    for (int slot = 0; slot < 4; ++slot)
        repair(s, row, col, slot, false);
}

} // namespace

void bad_pixels(DecoderState& s, const char* list_path) {
    if (!s.pixel_image) return;
    File list = open_list(list_path);
    if (!list) return;
    char* line = nullptr;
    size_t capacity = 0;
    while (getline(&line, &capacity, list.get()) != -1) {
        if (char* comment = std::strchr(line, '#')) *comment = 0;
        long long entry[3];
        if (!parse_entry(line, entry)) continue;
        const long long col = entry[0], row = entry[1], time = entry[2];
        if (col < 0 || row < 0 || col >= s.visible_width || row >= s.visible_height || time > s.capture_time)
            continue;
        if (photosite_pixel(s, int(row), int(col))) repair_photosite(s, int(row), int(col));
    }
    std::free(line);
}

} // namespace raw
