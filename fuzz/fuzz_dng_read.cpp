// libFuzzer target: arbitrary bytes read as a DNG file, down the whole road to a small render.
// Anything but a DNG error code (a crash, hang, leak, other exception or sanitizer report) is a
// finding.
#include <cstdint>

#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_info.h"
#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_negative.h"
#include "dng/dng_render.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    try {
        dng_host host;
        // One worker: the same work, without thread hand-off dominating each run.
        host.SetAreaTaskThreadCount(1);
        dng_memory_stream stream(gDefaultDNGMemoryAllocator);
        if (size) stream.Put(data, uint32_t(size));
        stream.Flush();
        stream.SetReadPosition(0);
        dng_info info;
        info.Parse(host, stream);
        std::unique_ptr<dng_negative> negative = info.BuildNegative(host, stream, true);
        negative->BuildStage2Image(host);
        negative->BuildStage3Image(host);
        dng_render render(host, *negative);
        render.SetMaximumSize(64);
        std::unique_ptr<dng_image> image(render.Render());
    } catch (const dng_exception&) {
    }
    return 0;
}
