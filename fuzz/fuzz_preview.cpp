// libFuzzer target: arbitrary bytes as a raw file in the browser: the embedded-preview
// locator (the decoder's header walk, then the preview's bytes checked against the file) and
// the preview's JPEG decode at the reduced scale of a grid cell, turned by the orientation.
#include <cstdint>

#include <QImage>

#include "app/browser/Thumbnailer.h"
#include "fuzz/FuzzScratch.h"
#include "raw/core/BandRunner.h"
#include "raw/wrapper/EmbeddedPreview.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    raw::set_band_threads_enabled(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto file = fuzzing::scratch().write("preview.raw", data, size);
    const auto preview = raw::readEmbeddedPreview(file);
    if (!preview) return 0;
    // A cell of the grid, then the largest size the browser asks for.
    (void)browser::decodePreviewJpeg(preview->jpeg, 128, preview->orientation);
    (void)browser::decodePreviewJpeg(preview->jpeg, 512, preview->orientation);
    return 0;
}
