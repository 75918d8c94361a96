// libFuzzer target: identify and develop arbitrary bytes, as the folder browser does with
// every file it finds. A crash, hang, leak or sanitizer report is a finding.
#include <cstdint>
#include <cstdlib>

#include "raw/core/BandRunner.h"
#include "tests/support/DecodeBytes.h"

namespace {

testsupport::DecodeLimits limits;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Bands inline: the same work, without thread start-up dominating each run.
    raw::set_band_threads_enabled(false);
    if (const char* cap = std::getenv("LUMIVAR_FUZZ_MAX_PIXELS"))
        limits.maxPixels = std::strtoull(cap, nullptr, 10);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    testsupport::decodeBytes(data, size, limits);
    return 0;
}
