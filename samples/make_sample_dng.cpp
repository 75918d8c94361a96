// Writes the sample DNG bundled with the repository: a test chart from a made-up camera
// that sees linear sRGB, its sensor data as lossless JPEG. The file must come out the same
// on every run; a test compares it with the committed one.
#include <cstdio>
#include <vector>

#include "tests/support/SyntheticDng.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s OUTPUT.dng\n", argv[0]);
        return 1;
    }
    testsupport::SyntheticDngSpec spec;
    spec.width = 360;
    spec.height = 240;
    spec.losslessJpeg = true;
    spec.model = "Test Chart";
    spec.black = 64;
    spec.white = 4095;
    const std::vector<uint8_t> dng = testsupport::buildSyntheticDng(spec);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(dng.data(), 1, dng.size(), out) != dng.size() || std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
