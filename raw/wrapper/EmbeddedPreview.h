#pragma once
// The camera's own JPEG preview inside a raw file, for thumbnails. The decoder's lock is held
// only while the file is identified; the preview's bytes are read after it, so a browser
// making thumbnails never keeps a document's decode waiting for more than a header walk.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace raw {

struct EmbeddedPreview {
    std::vector<uint8_t> jpeg;
    // The decoder's orientation code: bit 0 mirrors left-right, bit 1 top-bottom, bit 2
    // swaps rows and columns after the mirroring.
    int orientation = 0;
};

// Previews larger than this are not read: no camera writes one, a damaged header may claim one.
inline constexpr uint64_t kMaxEmbeddedPreviewBytes = 64ull << 20;

// Nothing when the file has no JPEG preview the decoder can locate, or its bytes are not
// all in the file, or they do not start like a JPEG stream.
std::optional<EmbeddedPreview> readEmbeddedPreview(const std::filesystem::path& file);

} // namespace raw
