// The document's export: one render of the whole image (or a crop) through its engine,
// handed to the writer of the type. The external editor's update is an export over the proxy.
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <system_error>

#include "app/core/AppFiles.h"
#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "app/core/MyDocument.h"
#include "engine/core/BitmapImage.h"
#include "engine/core/QueueEngine.h"
#include "engine/core/TiledEngine.h"
#include "export/ExifBlock.h"
#include "export/JpegDestination.h"
#include "export/dngWrapper.h"
#include "export/exrWrapper.h"
#include "platform/ImageProperties.h"
#include "platform/Log.h"
#include "raw/wrapper/ImageWrapper.h"

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Error;
using platform::Value;

namespace {

// Root keys of the properties handed to the writers, with the platform's names.
constexpr const char* kPropertyOrientation = "Orientation";
constexpr const char* kPropertyHasAlpha = "HasAlpha";
constexpr const char* kPropertyQuality = "kCGImageDestinationLossyCompressionQuality";

// The export's own text, then why the writer failed ("...: No space left on device").
Error exportError(app::errors::Code code, const Error& why = {}) {
    Error error = app::errors::Table.error(code);
    if (!why.failureReason.empty()) error.failureReason += ". " + why.failureReason;
    return error;
}

// The writer's own text is the reason.
Error writerError(const Error& why) {
    return app::errors::Table.withReason(app::errors::WriterFailed, why.failureReason);
}

// A full-size bitmap is some 190 MB of pages to hand back to the system, tens of
// milliseconds on one core: a worker lets go of it, and the export is done without waiting.
void releaseOnWorker(std::shared_ptr<BitmapImage> bitmap) {
    if (bitmap) QueueEngine::sharedQueueEngine().sharedQueue().async([bitmap = std::move(bitmap)] {});
}

// width x height x bytesPerPixel, or none when it does not fit in memory's addressing.
std::optional<size_t> bufferSize(size_t width, size_t height, size_t bytesPerPixel) {
    uint64_t pixels = 0, bytes = 0;
    if (__builtin_mul_overflow(uint64_t(width), uint64_t(height), &pixels)) return std::nullopt;
    if (__builtin_mul_overflow(pixels, uint64_t(bytesPerPixel), &bytes)) return std::nullopt;
    if (bytes > SIZE_MAX / 2) return std::nullopt;
    return size_t(bytes);
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

Dictionary writerProperties(std::optional<Dictionary> metaData, double quality) {
    Dictionary properties = metaData ? std::move(*metaData) : Dictionary{};
    properties[kPropertyOrientation] = 1; // the pixels are already turned
    properties[kPropertyHasAlpha] = false;
    properties[kPropertyQuality] = quality;
    Value& tiff = properties[platform::kCGImagePropertyTIFFDictionary];
    if (!tiff.isDictionary()) tiff = Dictionary{};
    (*tiff.dictionary())[platform::kCGImagePropertyTIFFSoftware] = lumivarSoftwareName();
    return properties;
}

bool writeExr(BitmapImage& bitmap, int outputFormat, const fs::path& url, const Dictionary& properties,
              std::string_view type, Error* error) {
    const size_t width = bitmap.getWidth(), height = bitmap.getHeight();
    const auto bytes = bufferSize(width, height, 16);
    if (!bytes) return platform::fail(error, exportError(app::errors::NotEnoughMemory));
    std::unique_ptr<float[]> buffer(new (std::nothrow) float[*bytes / sizeof(float)]);
    if (!buffer) return platform::fail(error, exportError(app::errors::NotEnoughMemory));
    if (!bitmap.getFloatRBGABuffer(std::span<float>(buffer.get(), *bytes / sizeof(float))))
        return platform::fail(error, exportError(app::errors::NoLinearBuffer));
    exrWrapper writer{int(width), int(height)};
    Error why;
    if (!writer.writeToFile(buffer.get(), outputFormat, url, Value(properties), type, &why))
        return platform::fail(error, writerError(why));
    return true;
}

// 16-bit linear RGB of the rendering space through the DNG/TIFF writer, which embeds the
// space's profile and the EXIF it fills from the properties.
// The rendered bitmap is let go once its samples are copied out: the writer holds its own copy
// of them, and a 24-megapixel bitmap is 183 MiB more at the peak.
bool writeTiffOrDng(std::shared_ptr<BitmapImage> bitmap, const fs::path& url, const Dictionary& properties,
                    std::string_view type, Error* error) {
    const size_t width = bitmap->getWidth(), height = bitmap->getHeight();
    const auto bytes = bufferSize(width, height, 6);
    if (!bytes) return platform::fail(error, exportError(app::errors::NotEnoughMemory));
    const size_t samples = *bytes / sizeof(uint16_t);
    std::unique_ptr<uint16_t[]> rgb(new (std::nothrow) uint16_t[samples]);
    if (!rgb) return platform::fail(error, exportError(app::errors::NotEnoughMemory));
    if (!bitmap->getLinearBuffer(std::span<uint16_t>(rgb.get(), samples)))
        return platform::fail(error, exportError(app::errors::NoLinearBuffer));
    bitmap.reset();
    dngWrapper writer{int(width), int(height)};
    Error why;
    if (!writer.writeToFile(std::move(rgb), 0, url, {}, Value(properties), type, &why))
        return platform::fail(error, writerError(why));
    return true;
}

bool writeJpeg(BitmapImage& bitmap, const fs::path& url, Dictionary properties, double quality,
               const std::shared_ptr<const platform::ColorSpace>& profile, Error* error) {
    Error why;
    auto destination = JpegDestination::create(url, &why);
    if (!destination) return platform::fail(error, exportError(app::errors::NoDestination, why));
    destination->addImage(bitmap.getImageRef(), properties, quality, profile);
    if (destination->finalize(&why)) return true;
    // The system refused the file (no room, no permission): without the EXIF it would too.
    if (why.domain == platform::kPosixErrorDomain)
        return platform::fail(error, exportError(app::errors::CouldNotFinalize, why));
    // Metadata the file cannot hold: write the image without its EXIF directory.
    LV_LOG("%s first finalize failed (%s); writing without {Exif}", __PRETTY_FUNCTION__,
           why.failureReason.c_str());
    destination = JpegDestination::create(url, &why);
    if (!destination) return platform::fail(error, exportError(app::errors::NoDestination, why));
    properties.erase(platform::kCGImagePropertyExifDictionary);
    destination->addImage(bitmap.getImageRef(), std::move(properties), quality, profile);
    if (!destination->finalize(&why))
        return platform::fail(error, exportError(app::errors::CouldNotFinalize, why));
    return true;
}

} // namespace

bool MyDocument::exportToURL(const fs::path& url, std::string_view type, const platform::Rect& crop,
                             bool canReleaseImages, Error* error) {
    // Writing over the raw file would destroy the original.
    if (rawFile_ && sameFile(url, *rawFile_))
        return platform::fail(error, exportError(app::errors::NoDestination));
    auto engine = displayEngine();
    if (!engine) return platform::fail(error, exportError(app::errors::NoFinalImage));

    engine->setDelegate(nullptr);
    engine->configureRenderingSpaceForType(std::string(type), false);
    engine->engineActiveRectDirty();
    const bool written = renderAndWrite(*engine, url, type, crop, error);
    if (!canReleaseImages) restoreDisplay(*engine);
    return written;
}

void MyDocument::restoreDisplay(ThreadedImageEngine& engine) {
    engine.configureRenderingSpaceForType(std::nullopt, false);
    if (!closed_) engine.setDelegate(std::weak_ptr<ThreadedImageEngineDelegate>(weak_from_this()));
}

bool MyDocument::renderAndWrite(ThreadedImageEngine& engine, const fs::path& url, std::string_view type,
                                const platform::Rect& crop, Error* error) {
    const Dictionary settings = getSettingsDictionary();
    const int exrFormat = app::exportTypeForSettings(settings).exrOutputFormat;
    auto output = engine.outputImage();
    if (!output) return platform::fail(error, renderFailure());
    int32_t orientation = 0;
    if (auto it = settings.find(std::string(app::keys::ImageOrientation)); it != settings.end())
        orientation = it->second.intValue();

    const bool isExr = type == app::kTypeOpenEXR;
    const bool isTiffOrDng = type == app::kTypeDNG || type == app::kTypeTIFF;
    std::shared_ptr<BitmapImage> bitmap;
    std::shared_ptr<ColorSyncProfileWrap> space;
    std::optional<Dictionary> metaData;
    {
        // Held through the render's waits on the shared queue: they run only the output
        // stage's blocks and the colour conversion's rows (DispatchGroup, parallelRows),
        // never another export of this document, so the lock is never asked for beneath it.
        std::lock_guard guard(documentLock_);
        output->flushCache();
        space = engine.renderingSpace();
        if (auto source = engine.rawFileWrapper()) metaData = source->metaData();
        bitmap =
            output->imageTile(0, 1.0, exportRect(crop, output->extent()), space, nullptr, isExr, orientation);
    }
    if (!bitmap) return platform::fail(error, renderFailure());

    const double quality = exportQuality(settings, type);
    Dictionary properties = writerProperties(std::move(metaData), quality);

    if (isTiffOrDng) return writeTiffOrDng(std::move(bitmap), url, properties, type, error);
    const bool written = isExr ? writeExr(*bitmap, exrFormat, url, properties, type, error)
                               : writeJpeg(*bitmap, url, std::move(properties), quality,
                                           space ? space->cgColorSpace() : nullptr, error);
    releaseOnWorker(std::move(bitmap));
    return written;
}

// A file the decoder could not develop gives no image: its reason is what the user needs.
Error MyDocument::renderFailure() const {
    std::optional<Error> decoder;
    if (wrapperReportsError(&decoder)) return *decoder;
    return exportError(app::errors::NoFinalImage);
}

platform::Rect MyDocument::exportRect(const platform::Rect& crop, const platform::Rect& extent) {
    if (crop.width < 1 || crop.height < 1) return extent;
    // The crop counts from the top; the stage's rectangles from the bottom.
    return {crop.x, extent.height - crop.height - crop.y, crop.width, crop.height};
}

double MyDocument::exportQuality(const Dictionary& settings, std::string_view type) {
    if (type == app::kTypeDNG || type == app::kTypeTIFF) return 1.0;
    auto it = settings.find(std::string(app::keys::JPEGQuality));
    return it != settings.end() && it->second.isNumber() ? it->second.doubleValue() / 10.0 : 1.0;
}

bool MyDocument::updateExternalEditor(Error* error) {
    if (!extEditorURL_) return platform::fail(error, exportError(app::errors::NoDestination));
    const std::string ext = app::lowercaseExtension(*extEditorURL_);
    const std::string_view type = ext == "jpg" || ext == "jpeg" ? app::kTypeJPEG : app::kTypeTIFF;
    return exportToURL(*extEditorURL_, type, platform::Rect{0, 0, 0, 0}, false, error);
}
