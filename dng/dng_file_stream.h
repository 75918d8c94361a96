#pragma once
// A stream over a file; whoever writes one flushes it before destroying it.
#include "dng/dng_stream.h"

#include <cstdio>

class dng_file_stream : public dng_stream {
  public:
    explicit dng_file_stream(const char* path, bool output = false, uint32_t bufferSize = kDefaultBufferSize);
    ~dng_file_stream() override;

  protected:
    uint64_t DoGetLength() override;
    void DoRead(void* data, uint32_t count, uint64_t offset) override;
    void DoWrite(const void* data, uint32_t count, uint64_t offset) override;

  private:
    std::FILE* fFile = nullptr;
};
