// The Sony private directory: an enciphered block that holds a TIFF directory with
// absolute offsets. It is deciphered into memory and parsed there.
#include <cstdio>
#include <cstring>
#include <vector>

#include "raw/tiff/TiffDirectory.h"
#include "raw/tiff/TiffReading.h"

namespace raw {

void parse_sony_private(DecoderState& s, const TiffDirectoryContext& d) {
    if (!d.sony_length || !seek_inside(s, d.sony_offset)) return;
    if (file_length(s) - d.sony_offset < int64_t(d.sony_length)) return; // claims more than the file has
    std::vector<uint8_t> block(d.sony_length);
    if (std::fread(block.data(), 1, block.size(), s.input_file) != block.size()) return;

    std::vector<uint32_t> words(block.size() / 4);
    std::memcpy(words.data(), block.data(), words.size() * 4);
    sony_keystream(s, words.data(), uint32_t(words.size()), 1, s.sony_private_key);
    std::memcpy(block.data(), words.data(), words.size() * 4);

    FILE* deciphered = fmemopen(block.data(), block.size(), "rb");
    if (!deciphered) return;
    FILE* original = s.input_file;
    s.input_file = deciphered;
    try {
        parse_tiff_directory(s, -d.sony_offset);
    } catch (...) {
        s.input_file = original;
        std::fclose(deciphered);
        throw;
    }
    s.input_file = original;
    std::fclose(deciphered);
}

} // namespace raw
