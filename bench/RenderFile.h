#pragma once
// A raw file through the image wrapper and the render driver, rendered as an export renders
// it, written as a 16-bit grey TIFF. A driver for measurements and real-file checks; the
// program render_file is its command line.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Value.h"

namespace renderfile {

struct Options {
    std::filesystem::path input, output;
    platform::Dictionary settings; // the image's settings dictionary (empty: defaults)
    std::string type = "public.tiff";
    // One setting changed after the first render, then rendered again.
    std::optional<std::pair<std::string, platform::Value>> then;
    // Sees every strip of every render (0 the first, 1 the one after `then`): its first row
    // from the top and its 16-bit RGBA pixels in the rendering space.
    std::function<void(int render, uint32_t firstRow, const platform::Bitmap& strip)> onStrip;
};

// One render, as the engine and the process saw it.
struct RenderStats {
    int64_t decodes = 0;        // master images the wrapper developed
    int64_t stage0Runs = 0;     // stage-0 runs (a run with nothing new to decode is cheap)
    int64_t stageTiles[4] = {}; // tiles computed by stages 1, 2 (all three), 3, in [1..3]
    double decodeSeconds = 0, stagesSeconds = 0, exportSeconds = 0, totalSeconds = 0;
    uint64_t peakBytes = 0; // the process's peak resident size since the decode (VmHWM)
};

struct Result {
    int exitStatus = 0;  // 0 written, 1 not
    std::string message; // what went wrong
    std::string decoderStatus;
    uint32_t width = 0, height = 0;
    uint64_t decodePeakBytes = 0;  // VmHWM from the start over the decode
    uint64_t afterDecodeBytes = 0; // resident size right after the decode (VmRSS)
    std::vector<RenderStats> renders;
};

Result renderFile(const Options& options);

// render_file [--settings S.plist] [--type UTI] [--then KEY=VALUE] [--stats] IN OUT.tiff
int main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// A setting's value from the command line: a boolean, an integer, a real or else a text.
platform::Value parseValue(const std::string& text);

// The process's peak resident size in bytes (0 when unknown), and a fresh start for it.
uint64_t peakResidentBytes();
void resetPeakResident();

} // namespace renderfile
