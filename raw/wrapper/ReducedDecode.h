#pragma once
// A quick look at a raw file that carries no preview of its own: the sensor data developed at
// half size (each 2 x 2 block of photosites one pixel, no demosaicing), in sRGB through the
// decoder's display curve, turned upright. For thumbnails only.
//
// It works on a decoder record of its own, never on the process-wide one, so it neither
// waits for nor holds up a document's decode; any number may run side by side.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace raw {

struct ReducedImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb; // 8-bit sRGB, three bytes a pixel, rows top to bottom
};

// Files whose sensor data holds more photosites than this are not developed for a thumbnail:
// the loader needs the whole sensor in memory, and no thumbnail is worth that much.
inline constexpr uint64_t kMaxReducedPhotosites = 120'000'000;

// Nothing when the decoder cannot develop the file (unknown, header only, no loader,
// damaged sensor data) or it is too large.
std::optional<ReducedImage> decodeReduced(const std::filesystem::path& file);

} // namespace raw
