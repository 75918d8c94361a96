#include "raw/wrapper/EmbeddedPreview.h"

#include <fstream>
#include <mutex>
#include <system_error>

#include "raw/core/DCRaw.h"
#include "raw/output/FileOutput.h"

namespace raw {
namespace {

struct PreviewLocation {
    uint64_t offset = 0;
    uint64_t length = 0;
    int orientation = 0;
};

std::optional<PreviewLocation> locatePreview(const std::filesystem::path& file) {
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    // A file the decoder cannot develop (header only, no loader) may still carry its preview.
    decoder.loadFile(file.string(), nullptr);
    const DecoderState& s = DCRaw::state();
    if (s.thumbnail_writer != jpeg_thumb || s.thumbnail_length == 0 || s.thumbnail_offset == 0) return {};
    return PreviewLocation{s.thumbnail_offset, s.thumbnail_length,
                           s.orientation_code > 0 ? s.orientation_code & 7 : 0};
}

} // namespace

std::optional<EmbeddedPreview> readEmbeddedPreview(const std::filesystem::path& file) {
    const std::optional<PreviewLocation> where = locatePreview(file);
    if (!where || where->length > kMaxEmbeddedPreviewBytes) return {};
    std::error_code ec;
    const uint64_t fileSize = std::filesystem::file_size(file, ec);
    if (ec || where->offset > fileSize || where->length > fileSize - where->offset) return {};

    std::ifstream in(file, std::ios::binary);
    if (!in.seekg(std::streamoff(where->offset))) return {};
    EmbeddedPreview preview;
    preview.jpeg.resize(where->length);
    if (!in.read(reinterpret_cast<char*>(preview.jpeg.data()), std::streamsize(where->length))) return {};
    if (preview.jpeg.size() < 4 || preview.jpeg[0] != 0xFF || preview.jpeg[1] != 0xD8) return {};
    preview.orientation = where->orientation;
    return preview;
}

} // namespace raw
