#pragma once
// Streams over bytes built in a test, and the negative a DNG file's bytes or path make.
#include "dng/dng_file_stream.h"
#include "dng/dng_host.h"
#include "dng/dng_info.h"
#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_negative.h"

#include <memory>
#include <string>
#include <vector>

namespace dngtest {

inline std::unique_ptr<dng_memory_stream> StreamOver(const std::vector<uint8_t>& bytes) {
    auto stream = std::make_unique<dng_memory_stream>(gDefaultDNGMemoryAllocator);
    if (!bytes.empty()) stream->Put(bytes.data(), uint32_t(bytes.size()));
    stream->Flush();
    stream->SetReadPosition(0);
    return stream;
}

// Parses the file and builds its negative with the stage-1 image.
inline std::unique_ptr<dng_negative> ReadNegative(dng_host& host, dng_stream& stream,
                                                  dng_info* infoOut = nullptr) {
    dng_info info;
    info.Parse(host, stream);
    auto negative = info.BuildNegative(host, stream, true);
    if (infoOut) *infoOut = std::move(info);
    return negative;
}

} // namespace dngtest
