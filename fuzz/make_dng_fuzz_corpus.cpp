// Writes small DNG files made by the tests' builders into a folder, as the DNG reader's seeds.
#include <cstdio>

#include "tests/support/MemoryFile.h"
#include "tests/support/SyntheticDng.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    testsupport::SyntheticDngSpec spec;
    spec.width = 24;
    spec.height = 16;
    testsupport::writeFile(argv[1], "synthetic-strips.dng", testsupport::buildSyntheticDng(spec));
    spec.losslessJpeg = true;
    testsupport::writeFile(argv[1], "synthetic-ljpeg.dng", testsupport::buildSyntheticDng(spec));
    spec.rawImages = 2;
    spec.jpegThumbnail = {0xFF, 0xD8, 0xFF, 0xD9};
    testsupport::writeFile(argv[1], "synthetic-two-raws.dng", testsupport::buildSyntheticDng(spec));
    return 0;
}
