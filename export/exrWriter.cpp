#include "export/exrWriter.h"

#include "export/ExrOutputStream.h"
#include "platform/Log.h"

#include <Imath/half.h>
#include <ImfChannelList.h>
#include <ImfChromaticitiesAttribute.h>
#include <ImfFloatAttribute.h>
#include <ImfFrameBuffer.h>
#include <ImfOutputFile.h>
#include <ImfPreviewImage.h>
#include <ImfStringAttribute.h>
#include <ImfThreading.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

// The number of pixels of a width x height image, when its float RGBA buffer (16 bytes a
// pixel) and every size derived from it fit the address space.
std::optional<size_t> pixelCount(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return std::nullopt;
    uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (pixels > SIZE_MAX / 16) return std::nullopt;
    return size_t(pixels);
}

Imf::Header makeHeader(int32_t width, int32_t height) {
    // An invalid size gets a 1 x 1 header, which no write ever uses.
    bool valid = pixelCount(width, height).has_value();
    return Imf::Header(valid ? width : 1, valid ? height : 1, 1.0f, Imath::V2f(0, 0), 1.0f, Imf::INCREASING_Y,
                       Imf::ZIP_COMPRESSION);
}

// A linear value as an 8-bit preview sample: a gamma of about 1/2.2 with 0.18 mapped to 84.
unsigned char previewSample(float v) {
    if (!(v > 0)) return 0; // NaN too
    float s = std::pow(5.5555f * v, 0.4545f) * 84.66f;
    return (unsigned char)std::min(s, 255.0f);
}

unsigned char previewAlpha(float a) {
    float s = a * 255.0f;
    if (!(s > 0)) return 0;
    return (unsigned char)(std::min(s, 255.0f) + 0.5f);
}

Imf::FrameBuffer frameBuffer(char* base, Imf::PixelType type, size_t sampleSize, int32_t width, bool alpha) {
    static const char* const names[] = {"R", "G", "B", "A"};
    size_t xStride = 4 * sampleSize;
    size_t yStride = xStride * size_t(width);
    Imf::FrameBuffer buffer;
    for (size_t c = 0; c < (alpha ? 4u : 3u); ++c)
        buffer.insert(names[c], Imf::Slice(type, base + c * sampleSize, xStride, yStride, 1, 1, 0.0));
    return buffer;
}

} // namespace

exrWriter::exrWriter(int32_t width, int32_t height)
    : width_(width), height_(height), header_(makeHeader(width, height)) {}

exrWriter::~exrWriter() = default;

void exrWriter::setMetadata(MetadataKey code, std::string_view text, int32_t iValue, double fValue) {
    auto setText = [&](const char* name) { header_.insert(name, Imf::StringAttribute(std::string(text))); };
    auto setFloat = [&](const char* name, float v) { header_.insert(name, Imf::FloatAttribute(v)); };
    switch (code) {
    case MetadataKey::TIFFMake:
        setText("make");
        break;
    case MetadataKey::TIFFModel:
        setText("model");
        break;
    case MetadataKey::TIFFSoftware:
        setText("software");
        break;
    case MetadataKey::TIFFDateTime:
    case MetadataKey::ExifDateTimeDigitized:
        setText("capDate");
        break;
    case MetadataKey::TIFFArtist:
        // The artist only stands in for an owner that is already there.
        if (header_.findTypedAttribute<Imf::StringAttribute>("owner")) setText("owner");
        break;
    case MetadataKey::TIFFCopyright:
        setText("owner");
        break;
    case MetadataKey::ExifExposureTime:
        setFloat("expTime", float(fValue));
        break;
    case MetadataKey::ExifISOSpeedRatings:
        setFloat("isoSpeed", float(iValue));
        break;
    case MetadataKey::ExifShutterSpeedValue:
        setFloat("expTime", 1.0f / std::exp2(float(fValue)));
        break;
    case MetadataKey::ExifApertureValue:
        setFloat("aperture", std::exp2(float(fValue) * 0.5f));
        break;
    case MetadataKey::ExifSubjectDistance:
        setFloat("focus", float(fValue));
        break;
    case MetadataKey::ExifUserComment:
        setText("comments");
        break;
    case MetadataKey::ExifAuxLensModel:
        setText("lensModel");
        break;
    default:
        break;
    }
}

// The text is cut to the 767 characters a caller's fixed buffer once held.
bool exrWriter::fail(platform::Error* error, platform::Error failure) {
    constexpr size_t kMaxText = 767;
    if (failure.failureReason.size() > kMaxText) failure.failureReason.resize(kMaxText);
    LV_LOG("%s", failure.failureReason.c_str());
    return platform::fail(error, std::move(failure));
}

void exrWriter::setPreview(const float* rgba) {
    unsigned pw = unsigned(width_ / 8), ph = unsigned(height_ / 8);
    Imf::PreviewImage preview(pw, ph);
    for (unsigned y = 0; y < ph; ++y) {
        const float* row = rgba + size_t(8 * y) * size_t(width_) * 4;
        for (unsigned x = 0; x < pw; ++x) {
            const float* p = row + size_t(8 * x) * 4;
            preview.pixel(x, y) = Imf::PreviewRgba(previewSample(p[0]), previewSample(p[1]),
                                                   previewSample(p[2]), previewAlpha(p[3]));
        }
    }
    header_.setPreviewImage(preview);
}

void exrWriter::setChromaticities() {
    if (!writeChromaticities_) {
        header_.erase("chromaticities");
        return;
    }
    // ProPhoto RGB primaries with a D50 white.
    Imf::Chromaticities c(Imath::V2f(0.7347f, 0.2653f), Imath::V2f(0.1596f, 0.8404f),
                          Imath::V2f(0.0366f, 0.0001f), Imath::V2f(0.34567f, 0.3585f));
    header_.insert("chromaticities", Imf::ChromaticitiesAttribute(c));
}

void exrWriter::setChannels() {
    // Rebuilt each time, so an "A" of an earlier write never outlives setOmitAlpha(true).
    Imf::PixelType type = floatPixels_ ? Imf::FLOAT : Imf::HALF;
    Imf::ChannelList& channels = header_.channels();
    channels = Imf::ChannelList();
    for (const char* name : {"R", "G", "B"})
        channels.insert(name, Imf::Channel(type, 1, 1, false));
    if (!omitAlpha_) channels.insert("A", Imf::Channel(type, 1, 1, false));
}

void exrWriter::writePixels(const float* rgba, const char* path) {
    ExrOutputStream stream(path);
    {
        Imf::OutputFile file(stream, header_, Imf::globalThreadCount());
        std::vector<half> halves;
        if (floatPixels_) {
            // The library only reads through the slices of an output file.
            char* base = reinterpret_cast<char*>(const_cast<float*>(rgba));
            file.setFrameBuffer(frameBuffer(base, Imf::FLOAT, sizeof(float), width_, !omitAlpha_));
        } else {
            size_t samples = *pixelCount(width_, height_) * 4;
            halves.resize(samples);
            for (size_t i = 0; i < samples; ++i)
                halves[i] = half(rgba[i]);
            char* base = reinterpret_cast<char*>(halves.data());
            file.setFrameBuffer(frameBuffer(base, Imf::HALF, sizeof(half), width_, !omitAlpha_));
        }
        file.writePixels(height_);
    } // the file's last bytes go out as it closes
    stream.commit();
}

bool exrWriter::write(const float* rgba, const char* path, platform::Error* error) {
    using namespace exporting::errors;
    if (!pixelCount(width_, height_))
        return fail(error, Table.error(ExrBadSize, {std::to_string(width_), std::to_string(height_)}));
    if (!rgba || !path || !*path) return fail(error, Table.error(ExrNoImage));
    try {
        setPreview(rgba);
        setChromaticities();
        setChannels();
        writePixels(rgba, path);
    } catch (const std::exception& e) {
        return fail(error, Table.withReason(ExrLibraryFailed, e.what()));
    }
    return true;
}
