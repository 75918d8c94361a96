#pragma once
// Negatives and images built in code for the writer's tests, and the readers they are checked with.
#include "dng/dng_atomic_file_stream.h"
#include "dng/dng_camera_profile.h"
#include "dng/dng_exif.h"
#include "dng/dng_ifd.h"
#include "dng/dng_image_writer.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_negative.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_preview.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_sets.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_threaded_host.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace writertest {

// Samples row by row, planes interleaved.
inline std::unique_ptr<dng_simple_image> MakeImage(dng_host& host, uint32_t rows, uint32_t cols,
                                                   uint32_t planes, const std::vector<uint16_t>& samples) {
    auto image = std::make_unique<dng_simple_image>(dng_rect(rows, cols), planes, ttShort, host.Allocator());
    dng_pixel_buffer buffer = image->Buffer();
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < cols; ++c)
            for (uint32_t p = 0; p < planes; ++p)
                *buffer.DirtyPixelAs<uint16_t>(int32_t(r), int32_t(c), p) =
                    samples[(size_t(r) * cols + c) * planes + p];
    return image;
}

inline std::vector<uint16_t> RandomSamples(size_t count, uint32_t seed, uint32_t limit = 65536) {
    std::mt19937 rng(seed);
    std::vector<uint16_t> v(count);
    for (auto& x : v)
        x = uint16_t(rng() % limit);
    return v;
}

// A smooth field with noise, as sensor data looks to a predictor.
inline std::vector<uint16_t> SceneSamples(uint32_t rows, uint32_t cols, uint32_t planes, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint16_t> v(size_t(rows) * cols * planes);
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < cols; ++c)
            for (uint32_t p = 0; p < planes; ++p)
                v[(size_t(r) * cols + c) * planes + p] =
                    uint16_t(2000 + (r * 37 + c * 23 + p * 1000) % 30000 + rng() % 64);
    return v;
}

// 0 = three-plane linear RGB; otherwise a one-plane mosaic of that Bayer phase (0 is GRBG).
inline std::unique_ptr<dng_negative> MakeNegative(dng_host& host, uint32_t rows, uint32_t cols,
                                                  const std::vector<uint16_t>& samples, int bayerPhase = -1) {
    std::unique_ptr<dng_negative> negative(host.MakeNegative());
    const bool cfa = bayerPhase >= 0;
    negative->SetModelName("Lumivar Test Camera");
    negative->SetLocalName("Lumivar Test Camera");
    negative->SetColorChannels(3);
    if (cfa) {
        negative->SetColorKeys(0, 1, 2);
        negative->SetBayerMosaic(uint32_t(bayerPhase));
    }
    negative->SetActiveArea(dng_rect(rows, cols));
    negative->SetWhiteLevel(65535);
    negative->SetBlackLevel(0);
    negative->SetDefaultCropOrigin(0, 0);
    negative->SetDefaultCropSize(cols, rows);
    negative->SetAnalogBalance(dng_vector_3(1, 1, 1));
    negative->SetCameraWhiteXY(0.3457, 0.3585);
    negative->SetColorimetricReference(cfa ? 0 : 1);
    auto profile = std::make_unique<dng_camera_profile>();
    profile->SetName("Lumivar Test Profile");
    profile->SetCalibrationIlluminant1(23);
    profile->SetColorMatrix1(
        dng_matrix_3by3(1.3459, -0.2556, -0.0511, -0.5446, 1.5082, 0.0205, 0.0, 0.0, 1.2118));
    negative->AddProfile(std::move(profile));
    dng_exif& exif = *negative->GetExif();
    exif.fMake.Set("Lumivar");
    exif.fModel.Set("Test Camera");
    exif.fSoftware.Set("Lumivar tests");
    exif.fISOSpeedRatings[0] = 200;
    exif.SetExposureTime(1.0 / 125.0);
    exif.SetFNumber(5.6);
    negative->SetStage1Image(MakeImage(host, rows, cols, cfa ? 1 : 3, samples));
    return negative;
}

// The samples of one format: unsigned integers of 8, 16 or 32 bits, or floats stored in 16,
// 24 or 32 bits.
struct SampleFormat {
    uint32_t bits = 16;
    bool isFloat = false;

    uint32_t PixelType() const {
        if (isFloat) return ttFloat;
        return bits == 8 ? ttByte : bits == 16 ? ttShort : ttLong;
    }
};

// A test picture: a flat band (long runs for the coders), then a ramp with noise; floats span
// many exponents, within what the narrow formats hold as normal values.
inline std::unique_ptr<dng_simple_image> FormatImage(dng_host& host, const SampleFormat& format,
                                                     uint32_t rows, uint32_t cols, uint32_t planes,
                                                     uint32_t seed) {
    auto image = std::make_unique<dng_simple_image>(dng_rect(rows, cols), planes, format.PixelType(),
                                                    host.Allocator());
    std::mt19937 rng(seed);
    const int span = format.isFloat && format.bits == 16 ? 26 : 56;
    dng_pixel_buffer buffer = image->Buffer();
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < cols; ++c)
            for (uint32_t p = 0; p < planes; ++p) {
                const uint32_t i = (r * cols + c) * planes + p;
                const bool flat = r < 6;
                if (format.isFloat) {
                    const float magnitude =
                        float((1.0 + (i % 997) / 997.0) * std::ldexp(1.0, int((i / 5) % span) - span / 2));
                    *buffer.DirtyPixelAs<float>(int32_t(r), int32_t(c), p) =
                        flat ? 0.25f : ((i / 7) % 2 ? -magnitude : magnitude);
                    continue;
                }
                const uint32_t smooth = flat ? 1000 + p : 2000 + r * 37 + c * 23 + p * 1000 + rng() % 64;
                switch (format.bits) {
                case 8:
                    *buffer.DirtyPixelAs<uint8_t>(int32_t(r), int32_t(c), p) = uint8_t(smooth);
                    break;
                case 16:
                    *buffer.DirtyPixelAs<uint16_t>(int32_t(r), int32_t(c), p) = uint16_t(smooth);
                    break;
                default:
                    *buffer.DirtyPixelAs<uint32_t>(int32_t(r), int32_t(c), p) =
                        smooth * 65599u + (flat ? 0 : rng());
                    break;
                }
            }
    return image;
}

// A linear-raw directory of the format's samples, coded as given; the caller chooses its
// tiles or strips.
inline dng_ifd RawDirectory(uint32_t cols, uint32_t rows, uint32_t planes, const SampleFormat& format,
                            uint32_t compression, uint32_t predictor, uint32_t blockRows = 1,
                            uint32_t blockCols = 1, uint32_t interleave = 1) {
    dng_ifd ifd;
    ifd.fImageWidth = cols;
    ifd.fImageLength = rows;
    ifd.fSamplesPerPixel = planes;
    ifd.fPhotometricInterpretation = 34892;
    ifd.fCompression = compression;
    ifd.fPredictor = predictor;
    for (uint32_t& b : ifd.fBitsPerSample)
        b = format.bits;
    for (uint32_t& f : ifd.fSampleFormat)
        f = format.isFloat ? 3 : 1;
    ifd.fSubTileBlockRows = blockRows;
    ifd.fSubTileBlockCols = blockCols;
    ifd.fRowInterleaveFactor = interleave;
    return ifd;
}

// A minimal DNG whose IFD 0 is the image, written by WriteImage under the directory given.
inline std::vector<uint8_t> OneImageDNG(const dng_image& image, const dng_ifd& ifd, bool bigEndian,
                                        uint32_t threads = 4) {
    dng_threaded_host host(threads);
    dng_memory_stream stream(host.Allocator());
    stream.SetBigEndian(bigEndian);
    dng_tiff_directory directory;
    dng_basic_tag_set basic(directory, ifd);
    static const uint8_t kVersion[4] = {1, 4, 0, 0};
    tag_uint8_ptr version(50706, kVersion, 4);
    tag_uint8_ptr backward(50707, kVersion, 4);
    directory.Add(&version);
    directory.Add(&backward);
    stream.SetWritePosition(8 + directory.Size());
    dng_image_writer writer;
    writer.WriteImage(host, ifd, basic, stream, image);
    stream.SetLength(stream.Position());
    stream.SetWritePosition(0);
    stream.Put_uint16(bigEndian ? 0x4D4D : 0x4949);
    stream.Put_uint16(42);
    stream.Put_uint32(8);
    directory.Put(stream);
    stream.Flush();
    std::vector<uint8_t> bytes(stream.Length());
    stream.SetReadPosition(0);
    stream.Get(bytes.data(), uint32_t(bytes.size()));
    return bytes;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The DNG in memory, as the writer lays it out with `threads` threads.
inline std::vector<uint8_t> DNGBytes(dng_negative& negative, uint32_t threads, bool uncompressed,
                                     uint32_t compatibility = 0x01040000,
                                     const dng_preview_list* previews = nullptr) {
    dng_threaded_host host(threads);
    dng_memory_stream stream(host.Allocator());
    dng_image_writer writer;
    writer.WriteDNG(host, stream, negative, previews, compatibility, uncompressed);
    std::vector<uint8_t> bytes(stream.Length());
    stream.SetReadPosition(0);
    stream.Get(bytes.data(), uint32_t(bytes.size()));
    return bytes;
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Standard output and exit status of a shell command.
inline std::pair<std::string, int> RunCommand(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return {"", -1};
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), pipe)) > 0)
        out.append(chunk, n);
    const int status = pclose(pipe);
    return {out, WEXITSTATUS(status)};
}

inline bool HaveTool(const char* name) { return RunCommand(std::string("command -v ") + name).second == 0; }

// exiftool's validation, less its "OK" line: empty when it finds nothing to say.
inline std::string ExiftoolComplaints(const std::string& path) {
    const auto [out, status] = RunCommand("exiftool -validate -warning -a -s " + path);
    std::string complaints;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.find("Validate") == std::string::npos || line.find(": OK") == std::string::npos)
            complaints += line + "\n";
    if (status != 0) complaints += "exit status " + std::to_string(status);
    return complaints;
}

// A mid-grey 8-bit sRGB preview.
inline std::unique_ptr<dng_image_preview> MakePreview(dng_host& host, uint32_t rows, uint32_t cols) {
    auto preview = std::make_unique<dng_image_preview>();
    auto image = std::make_unique<dng_simple_image>(dng_rect(rows, cols), 3, ttByte, host.Allocator());
    image->SetConstant(128, image->Bounds());
    preview->fImage = std::move(image);
    preview->fInfo.fApplicationName.Set("Lumivar");
    preview->fInfo.fApplicationVersion.Set("1.0");
    preview->fInfo.fColorSpace = 2;
    return preview;
}

} // namespace writertest

namespace writertest {

// Entries of a little-endian TIFF directory, read from a whole file in memory.
struct TiffEntry {
    uint16_t type = 0;
    uint32_t count = 0;
    uint32_t value = 0; // the first value when it fits in the entry, else the offset
};

inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return at + 4 <= b.size() ? uint32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24)
                              : 0;
}
inline uint16_t Get16(const std::vector<uint8_t>& b, size_t at) {
    return at + 2 <= b.size() ? uint16_t(b[at] | b[at + 1] << 8) : 0;
}

inline std::map<uint16_t, TiffEntry> ReadIFD(const std::vector<uint8_t>& bytes, uint32_t offset) {
    std::map<uint16_t, TiffEntry> entries;
    const uint16_t n = Get16(bytes, offset);
    for (uint32_t i = 0; i < n; ++i) {
        const size_t at = offset + 2 + 12 * size_t(i);
        TiffEntry e{Get16(bytes, at + 2), Get32(bytes, at + 4), 0};
        e.value = e.type == 3 && e.count == 1 ? Get16(bytes, at + 8) : Get32(bytes, at + 8);
        entries[Get16(bytes, at)] = e;
    }
    return entries;
}

} // namespace writertest
