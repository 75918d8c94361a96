// Some headerless raw files leave their metadata to the JPEG the camera wrote beside them.
#include <cctype>
#include <cstdio>
#include <strings.h>

#include "raw/containers/Containers.h"
#include "raw/tiff/TiffParser.h"

namespace raw {
namespace {

constexpr size_t kStemLength = 8;
constexpr size_t kExtensionLength = 4; // with its dot

// Counts the number before the extension up by one; trailing nines carry.
void increment_number(std::string& name, size_t extension_at) {
    for (size_t i = extension_at; i-- > 0 && std::isdigit(static_cast<unsigned char>(name[i]));) {
        if (name[i] != '9') {
            ++name[i];
            return;
        }
        name[i] = '0';
    }
}

// Restores the raw file as the input however the companion's parse ends.
class InputSwap {
  public:
    InputSwap(DecoderState& s, FILE* other) : s_(s), saved_(s.input_file) { s.input_file = other; }
    ~InputSwap() {
        std::fclose(s_.input_file);
        s_.input_file = saved_;
    }
    InputSwap(const InputSwap&) = delete;
    InputSwap& operator=(const InputSwap&) = delete;

  private:
    DecoderState& s_;
    FILE* saved_;
};

} // namespace

std::string companion_jpeg_name(const std::string& raw_path) {
    const size_t slash = raw_path.rfind('/');
    const size_t stem_at = slash == std::string::npos ? 0 : slash + 1;
    if (raw_path.size() - stem_at != kStemLength + kExtensionLength) return {};
    const size_t extension_at = stem_at + kStemLength;
    if (raw_path[extension_at] != '.') return {};

    std::string name = raw_path;
    if (strcasecmp(name.c_str() + extension_at, ".jpg") != 0) {
        const bool upper = std::isupper(static_cast<unsigned char>(name[extension_at + 1]));
        name.replace(extension_at, kExtensionLength, upper ? ".JPG" : ".jpg");
        // Cameras that number their files first write the JPEG with the halves swapped.
        if (std::isdigit(static_cast<unsigned char>(name[stem_at])))
            name = name.substr(0, stem_at) + name.substr(stem_at + 4, 4) + name.substr(stem_at, 4) +
                   name.substr(extension_at);
    } else {
        increment_number(name, extension_at);
    }
    return name == raw_path ? std::string() : name;
}

void parse_external_jpeg(DecoderState& s) {
    if (!s.input_path) return;
    const std::string name = companion_jpeg_name(s.input_path);
    if (name.empty()) return;
    if (FILE* jpeg = std::fopen(name.c_str(), "rb")) {
        InputSwap swap(s, jpeg);
        if (s.verbose_output) std::fprintf(stderr, "Reading metadata from %s ...\n", name.c_str());
        parse_tiff_file(s, 12);
        s.thumbnail_offset = 0;
        s.raw_count = 1;
    }
    if (!s.capture_time) std::fprintf(stderr, "Failed to read metadata from %s\n", name.c_str());
}

} // namespace raw
