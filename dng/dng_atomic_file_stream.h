#pragma once
// An output stream for a file that replaces its destination in one step: the bytes go to a
// hidden temporary file beside it, renamed over the destination by Commit. Destroyed without
// a commit (a failed write), it removes the temporary file and leaves the destination as it was.
#include "dng/dng_stream.h"

#include "platform/AtomicFile.h"

class dng_atomic_file_stream : public dng_stream {
  public:
    // 100008 when the temporary file cannot be made (a missing folder, no permission).
    explicit dng_atomic_file_stream(const char* path, uint32_t bufferSize = kBigBufferSize);
    ~dng_atomic_file_stream() override;

    // Flushes, closes and renames; 100010 when any of that fails.
    void Commit();

  protected:
    uint64_t DoGetLength() override;
    void DoRead(void* data, uint32_t count, uint64_t offset) override;
    void DoSetLength(uint64_t length) override;
    void DoWrite(const void* data, uint32_t count, uint64_t offset) override;

  private:
    platform::AtomicFile fFile;
    int fFD = -1;
};
