#pragma once
// Runs the whole decoder (identify, then develop into a buffer) over arbitrary bytes, as
// the folder browser does over whatever a photographer's folder holds. Shared by the
// fuzz target, the corruption test and the replay of saved inputs; header-only, so only
// the programs that include it need the decoder library.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>

#include "raw/core/DCRaw.h"

namespace testsupport {

struct DecodeLimits {
    // Files may claim any size; past this many pixels (image or sensor) the development
    // is skipped, so a run stays quick. Identification always runs.
    uint64_t maxPixels = uint64_t(1) << 18;
};

struct DecodeOutcome {
    bool identified = false;
    bool skipped = false; // over the pixel cap
    bool decoded = false;
    std::string status; // the decoder's last status text
    uint32_t width = 0, height = 0;
    uint16_t firstValue = 0, lastValue = 0; // read back from the handed-over buffer

    // One line that names what happened, stable from run to run.
    std::string summary() const {
        if (!identified) return "load: " + status;
        std::string size = std::to_string(width) + "x" + std::to_string(height);
        if (skipped) return "skipped: " + size;
        return "decode: " + status + (decoded ? " " + size : "");
    }
};

namespace detail {

// The decoder opens files by path: an anonymous in-memory file gives it one without
// touching the disk or leaving anything behind.
class AnonymousFile {
  public:
    AnonymousFile(const uint8_t* data, size_t size) : fd_(memfd_create("lumivar-input", MFD_CLOEXEC)) {
        for (size_t done = 0; fd_ >= 0 && done < size;) {
            ssize_t n = ::write(fd_, data + done, size - done);
            if (n <= 0) std::abort(); // memory files only fail when memory is gone
            done += size_t(n);
        }
        if (fd_ < 0) std::abort();
    }
    ~AnonymousFile() { ::close(fd_); }
    AnonymousFile(const AnonymousFile&) = delete;
    AnonymousFile& operator=(const AnonymousFile&) = delete;
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

  private:
    int fd_;
};

} // namespace detail

inline DecodeOutcome decodeBytes(const uint8_t* data, size_t size, const DecodeLimits& limits = {}) {
    detail::AnonymousFile file(data, size);
    const std::string path = file.path();
    DecodeOutcome out;
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    uint64_t pixelSize = 0;
    out.identified = decoder.loadFile(path, &pixelSize);
    out.status = decoder.dcStatus();
    if (!out.identified) return out;

    const raw::DecoderState& s = DCRaw::state();
    out.width = s.image_width;
    out.height = s.image_height;
    const uint64_t image = uint64_t(s.image_width) * s.image_height;
    const uint64_t sensor = uint64_t(s.sensor_width) * s.sensor_height;
    if (image > limits.maxPixels || sensor > limits.maxPixels) {
        out.skipped = true;
        return out;
    }
    uint16_t* buffer = nullptr;
    uint16_t width = 0, height = 0;
    out.decoded = decoder.processFileAndCreateBuffer(path, &buffer, 0, &width, &height);
    out.status = decoder.dcStatus();
    out.width = width;
    out.height = height;
    // The caller walks the whole buffer by the size it was told: touch both ends.
    if (buffer && width && height) {
        out.firstValue = buffer[0];
        out.lastValue = buffer[(size_t(width) * height - 1) * 4 + 3];
    }
    std::free(buffer);
    return out;
}

} // namespace testsupport
