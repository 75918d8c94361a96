#include "export/JpegDestination.h"

#include <algorithm>
#include <memory>
#include <string>

#include "color/BuiltinProfiles.h"
#include "export/ExifBlock.h"
#include "export/JpegEncoder.h"
#include "platform/ConcurrentQueue.h"

using namespace platform;

namespace {

constexpr size_t kSegmentPayloadLimit = 65533;
constexpr std::string_view kIccSignature{"ICC_PROFILE\0", 12};
// The signature, the chunk's number and the number of chunks precede each piece.
constexpr size_t kIccChunkData = kSegmentPayloadLimit - kIccSignature.size() - 2;

// The table's text, or the reason the EXIF block or the encoder gave.
bool failWith(Error* error, JpegDestination::ErrorCode code, std::string_view reason = {}) {
    return fail(error, kJpegDestinationErrors.withReason(code, reason));
}

void appendSegment(std::string& out, uint8_t marker, std::string_view payload) {
    const size_t length = payload.size() + 2;
    out += char(0xFF);
    out += char(marker);
    out += char(length >> 8);
    out += char(length & 0xFF);
    out += payload;
}

std::vector<uint8_t> profileBytes(const ColorSpace& space) {
    switch (space.kind()) {
    case ColorSpace::Kind::SRGB:
        return BuiltinProfiles::sRGB();
    case ColorSpace::Kind::GenericLinearRGB:
        return BuiltinProfiles::linearRGB();
    default:
        return space.iccData();
    }
}

bool isSRGB(const std::shared_ptr<const ColorSpace>& space) {
    return space && (space->kind() == ColorSpace::Kind::SRGB || space->name().starts_with("sRGB"));
}

// APP2 segments in the ICC's own chunked form: at most 255 chunks.
bool appendProfile(std::string& out, const std::vector<uint8_t>& icc) {
    const size_t chunks = (icc.size() + kIccChunkData - 1) / kIccChunkData;
    if (chunks > 255) return false;
    for (size_t i = 0; i < chunks; ++i) {
        std::string payload(kIccSignature);
        payload += char(i + 1);
        payload += char(chunks);
        const size_t start = i * kIccChunkData;
        const size_t end = std::min(icc.size(), start + kIccChunkData);
        payload.append(reinterpret_cast<const char*>(icc.data()) + start, end - start);
        appendSegment(out, 0xE2, payload);
    }
    return true;
}

// Our segments go after SOI and the JFIF segment the coder begins with (JFIF wants to be first).
size_t insertionPoint(std::string_view jpeg) {
    size_t at = 2;
    if (jpeg.size() >= 6 && uint8_t(jpeg[2]) == 0xFF && uint8_t(jpeg[3]) == 0xE0)
        at += 2 + (size_t(uint8_t(jpeg[4])) << 8 | uint8_t(jpeg[5]));
    return std::min(at, jpeg.size());
}

// The file the coder writes to, our segments put in at the stream's start.
class FileSink : public JpegSink {
  public:
    FileSink(AtomicFile& file, std::string_view segments, Error* error)
        : file_(file), segments_(segments), error_(error) {}

    bool write(std::string_view piece) override {
        const size_t split = atStart_ ? insertionPoint(piece) : 0;
        const bool written =
            (!atStart_ || (file_.write(piece.substr(0, split), error_) && file_.write(segments_, error_))) &&
            file_.write(piece.substr(split), error_);
        atStart_ = false;
        failed_ = !written;
        return written;
    }
    bool restart() override {
        atStart_ = true;
        failed_ = !file_.rewind(error_);
        return !failed_;
    }
    // True when writing failed, the reason in the error given.
    bool failed() const { return failed_; }

  private:
    AtomicFile& file_;
    std::string_view segments_;
    Error* error_;
    bool atStart_ = true;
    bool failed_ = false;
};

} // namespace

std::unique_ptr<JpegDestination> JpegDestination::create(const std::filesystem::path& path, Error* error) {
    auto file = std::make_unique<AtomicFile>(path);
    if (!file->open(error)) return nullptr;
    return std::unique_ptr<JpegDestination>(new JpegDestination(std::move(file)));
}

JpegDestination::~JpegDestination() = default;

void JpegDestination::addImage(std::shared_ptr<Bitmap> image, Dictionary properties, double quality,
                               std::shared_ptr<const ColorSpace> profile) {
    image_ = std::move(image);
    properties_ = std::move(properties);
    quality_ = quality;
    profile_ = std::move(profile);
}

bool JpegDestination::finalize(Error* error) {
    if (!file_) return failWith(error, kFinalised);
    // Spent from here on: leaving without commit removes the temporary file.
    std::unique_ptr<AtomicFile> file = std::move(file_);
    if (!image_) return failWith(error, kNoImage);
    auto rgb = rgb8Pixels(image_);
    if (!rgb) return failWith(error, kUnreadablePixels);

    const size_t width = image_->width(), height = image_->height();
    std::string failure;
    ExifImageInfo info{uint32_t(std::min<size_t>(width, UINT32_MAX)),
                       uint32_t(std::min<size_t>(height, UINT32_MAX)), isSRGB(profile_)};
    auto exif = makeExifBlock(properties_, info, &failure);
    if (!exif) return failWith(error, kMetadata, failure);
    std::string segments;
    appendSegment(segments, 0xE1,
                  std::string_view(reinterpret_cast<const char*>(exif->data()), exif->size()));
    if (profile_ && !appendProfile(segments, profileBytes(*profile_))) return failWith(error, kProfile);

    // Written as it is coded, our segments inside the stream's first piece (its header).
    FileSink sink(*file, segments, error);
    if (!encodeJpegTo(rgb.get(), width, height, jpegQuality(quality_), sink, &failure))
        return sink.failed() ? false : failWith(error, kEncoder, failure);
    // The 8-bit copy (72 MB at 24 megapixels) goes back to the system on a worker while the
    // file is flushed.
    ConcurrentQueue* queue = ConcurrentQueue::current();
    (queue ? *queue : ConcurrentQueue::shared()).async([pixels = std::shared_ptr<uint8_t[]>(std::move(rgb))] {
    });
    return file->commit(error);
}
