// Writes small DNG files made by the tests' builders and by our own writer into a folder, as
// the DNG reader's seeds: every coding the writer makes is a road the reader must survive.
#include <cstdio>

#include "tests/dng/writer/WriterFixtures.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/SyntheticDng.h"

namespace {

struct Seed {
    const char* name;
    uint32_t compression, predictor;
    writertest::SampleFormat format;
    uint32_t planes;
    uint32_t blockRows, blockCols, interleave;
};

// 32 x 24 images in tiles of 16 x 16.
std::vector<uint8_t> WrittenSeed(const Seed& seed) {
    dng_host host;
    const auto image = writertest::FormatImage(host, seed.format, 24, 32, seed.planes, 1);
    dng_ifd ifd = writertest::RawDirectory(32, 24, seed.planes, seed.format, seed.compression, seed.predictor,
                                           seed.blockRows, seed.blockCols, seed.interleave);
    ifd.FindTileSize(16 * 16 * seed.planes * seed.format.bits / 8, 16, 16);
    return writertest::OneImageDNG(*image, ifd, false, 1);
}

} // namespace

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

    const Seed seeds[] = {
        {"writer-lzw-pred2.dng", 5, 2, {16, false}, 3, 1, 1, 1},
        {"writer-f16-deflate-pred34894.dng", 8, 34894, {16, true}, 1, 1, 1, 1},
        {"writer-f24-lzw-pred3.dng", 5, 3, {24, true}, 3, 1, 1, 1},
        {"writer-f32-deflate-pred34895.dng", 8, 34895, {32, true}, 1, 1, 1, 1},
        {"writer-subtile-deflate.dng", 8, 2, {16, false}, 1, 2, 4, 1},
        {"writer-interleave.dng", 1, 1, {16, false}, 1, 1, 1, 3},
    };
    for (const Seed& seed : seeds)
        testsupport::writeFile(argv[1], seed.name, WrittenSeed(seed));

    // A whole DNG with a preview and a transparency mask.
    dng_host host;
    auto negative = writertest::MakeNegative(host, 24, 32, writertest::SceneSamples(24, 32, 1, 2), 1);
    negative->SetTransparencyMask(writertest::FormatImage(host, {8, false}, 24, 32, 1, 3));
    dng_preview_list previews;
    std::unique_ptr<dng_preview> preview(writertest::MakePreview(host, 6, 8).release());
    previews.Append(preview);
    testsupport::writeFile(argv[1], "writer-mask.dng",
                           writertest::DNGBytes(*negative, 1, false, 0x01040000, &previews));
    return 0;
}
