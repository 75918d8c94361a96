// libFuzzer target: arbitrary bytes as an external editor's JPEG or TIFF proxy: its type and
// orientation as the browser's image reader judges them (from the content, whatever the
// name says) with a thumbnail read at reduced size, and its metadata as the decoder reads it
// when the proxy is the only file left to develop.
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include <QGuiApplication>
#include <QImageReader>

#include "app/browser/Thumbnailer.h"
#include "fuzz/FuzzScratch.h"
#include "raw/core/BandRunner.h"
#include "raw/core/DCRaw.h"

namespace {

QGuiApplication* application = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    raw::set_band_threads_enabled(false);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    application = new QGuiApplication(*argc, *argv); // image plugins are found through it
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (const char* name : {"IMG_0001-edit.jpg", "IMG_0001_v2.tif"}) {
        const auto file = fuzzing::scratch().write(name, data, size);
        QImageReader reader(QString::fromStdString(file.string()));
        (void)reader.format();
        (void)reader.transformation();
        (void)browser::imageReaderThumbnail(file, QSize(128, 128));
    }
    const auto file = fuzzing::scratch().folder() / "IMG_0001_v2.tif";
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    uint64_t pixelSize = 0;
    if (decoder.loadFile(file.string(), &pixelSize)) (void)decoder.metaData().size();
    return 0;
}
