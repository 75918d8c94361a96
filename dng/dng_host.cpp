#include "dng/dng_host.h"

#include "dng/dng_abort_sniffer.h"
#include "dng/dng_area_task.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_memory.h"
#include "dng/dng_opcodes.h"
#include "dng/dng_stream.h"

#include <algorithm>

dng_host::dng_host(dng_memory_allocator* allocator, dng_abort_sniffer* sniffer)
    : fAllocator(allocator), fSniffer(sniffer) {}

dng_memory_allocator& dng_host::Allocator() { return fAllocator ? *fAllocator : gDefaultDNGMemoryAllocator; }

dng_memory_block* dng_host::Allocate(uint32_t logicalSize) { return Allocator().Allocate(logicalSize); }

void dng_host::SniffForAbort() { dng_abort_sniffer::SniffForAbort(fSniffer); }

bool dng_host::SaveLinearDNG(const dng_negative&) const { return fSaveLinearDNG; }

bool dng_host::IsTransientCode(int32_t code) const {
    return code == dng_error_user_canceled || code == dng_error_memory;
}

void dng_host::PerformAreaTask(dng_area_task& task, const dng_rect& area, dng_area_task_progress* progress) {
    RunAreaTask(task, area, &Allocator(), fSniffer, progress);
}

// Whole-file reading builds its negative from dng_info without a shared record.
dng_shared* dng_host::CreateShared() { ThrowNotYetImplemented(); }

dng_opcode* dng_host::CreateOpcode(uint32_t opcodeID, dng_stream& stream) {
    // The stream stands at the opcode's version, flags and parameter block.
    const uint32_t minVersion = stream.Get_uint32();
    const uint32_t flags = stream.Get_uint32();
    return MakeOpcode(opcodeID, minVersion, flags, stream).release();
}

namespace {
struct SizeBand {
    uint32_t low, high, minimum;
};
// Preferred sizes near the common preview sizes keep a somewhat smaller minimum.
constexpr SizeBand kMinimumForPreferred[] = {
    {160, 256, 160},    {490, 512, 490},    {980, 1024, 980},   {1470, 1536, 1470},
    {1960, 2048, 1960}, {2400, 2560, 2400}, {2561, 2880, 2448}, {2881, 3000, 2560},
    {3480, 4096, 3480}, {4097, 4500, 3824}, {4501, 5120, 4352}, {6528, 7680, 6528},
};
} // namespace

void dng_host::ValidateSizes() {
    if (fMaximumSize) {
        fMinimumSize = std::min(fMinimumSize, fMaximumSize);
        fPreferredSize = std::min(fPreferredSize, fMaximumSize);
        if (fPreferredSize)
            fMinimumSize = std::min(fMinimumSize, fPreferredSize);
        else
            fPreferredSize = fMaximumSize;
    } else {
        if (fPreferredSize == 0) return;
        fMinimumSize = std::min(fMinimumSize, fPreferredSize);
    }
    if (fMinimumSize) return;
    fMinimumSize = fPreferredSize;
    for (const SizeBand& band : kMinimumForPreferred)
        if (fPreferredSize >= band.low && fPreferredSize <= band.high) fMinimumSize = band.minimum;
}
