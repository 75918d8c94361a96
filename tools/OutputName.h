#pragma once
// Where the decoder command line writes: beside the input, under the input's name.
#include <string>
#include <string_view>

namespace tools {

struct OutputNaming {
    std::string_view extension; // with its dot: ".tiff", ".ppm", ".jpg"...
    bool thumbnail = false;     // inserts ".thumb" before the extension
    bool numbered = false;      // "-s all": the shot number, padded to raw_count - 1's width
    unsigned shot = 0;
    unsigned raw_count = 1;
};

// The input path with its extension (if the file name has one) replaced.
std::string output_name(std::string_view input, const OutputNaming& naming);

} // namespace tools
