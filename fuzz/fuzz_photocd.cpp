// libFuzzer target: a Photo CD image pack and its 64Base extension (fuzz/PhotoCdFuzzInput.h)
// parsed up to the highest level its header offers, then, up to Base, developed and read
// out as the browser's thumbnail and the document do. The header's metadata is read too.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "fuzz/FuzzScratch.h"
#include "fuzz/PhotoCdFuzzInput.h"
#include "photocd/PcdLevels.h"
#include "photocd/pcdDecode.h"

namespace {

// Zeros where no chunk lies: written as holes, so a pack of many megabytes costs nothing.
void layFiles(const std::vector<fuzzing::PcdChunk>& chunks) {
    std::map<int, int> descriptors;
    for (const auto& c : chunks) {
        auto it = descriptors.find(c.file);
        if (it == descriptors.end()) {
            const auto path = fuzzing::scratch().write(fuzzing::pcdFileName(c.file), nullptr, 0);
            it = descriptors.emplace(c.file, ::open(path.c_str(), O_WRONLY)).first;
            if (it->second < 0) std::abort();
        }
        const off_t end = off_t(c.offset + c.bytes.size());
        struct stat st {};
        if (::fstat(it->second, &st) != 0) std::abort();
        if (st.st_size < end && ::ftruncate(it->second, end) != 0) std::abort();
        if (!c.bytes.empty() &&
            ::pwrite(it->second, c.bytes.data(), c.bytes.size(), off_t(c.offset)) != ssize_t(c.bytes.size()))
            std::abort();
    }
    for (const auto& [file, fd] : descriptors)
        ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::scratch().clear();
    layFiles(fuzzing::parsePcdChunks(data, size));
    const std::string pack = (fuzzing::scratch().folder() / fuzzing::pcdFileName(0)).string();
    const std::string index = (fuzzing::scratch().folder() / fuzzing::pcdFileName(1)).string();

    pcdDecode decoder;
    std::string name, value;
    for (int i = 0; i < 22; ++i)
        decoder.metadataByIndex(i, name, value);
    if (!decoder.parseFile(pack, index, photocd::k64BaseLevel)) return 0;
    for (int i = 0; i < 22; ++i)
        decoder.metadataByIndex(i, name, value);
    int filmTerm = 0, code2 = 0, code3 = 0;
    decoder.filmTermInfo(filmTerm, code2, code3);
    (void)decoder.scanningTime();
    // Developing the residual levels only adds their samples to planes of fixed sizes, and
    // costs seconds a run under the sanitizers; their parsing is done above.
    if (decoder.level() > photocd::kBaseLevel) return 0;
    decoder.setColorMode(size ? data[size / 2] % 4 : 0);
    if (!decoder.buildHigherLevels()) return 0;
    const size_t pixels = size_t(decoder.width()) * size_t(decoder.height());
    std::vector<uint8_t> rgba(pixels * 4);
    decoder.read8BitImage(rgba.data(), rgba.data() + 1, rgba.data() + 2, rgba.data() + 3, 4);
    return 0;
}
