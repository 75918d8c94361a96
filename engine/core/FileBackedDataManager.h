#pragma once
// The process-wide keeper of file-backed memory: zero-filled mappings of temporary files
// in the app-private temporary folder, for buffers that ordinary memory cannot hold.
// Returned mappings are unmapped and their files removed on a background queue.
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>

#include "platform/SerialQueue.h"

class FileBackedDataManager {
  public:
    // Created on first call and never destroyed.
    static FileBackedDataManager& sharedFileBackedDataManager();

    FileBackedDataManager(const FileBackedDataManager&) = delete;
    FileBackedDataManager& operator=(const FileBackedDataManager&) = delete;

    // A zero-filled mapping of `size` bytes, or null.
    void* allocVM(uint64_t size);
    // Gives back a mapping of allocVM; any other address is freed as ordinary memory.
    void deallocVM(void* address);
    // Returns once the mappings given back so far are unmapped and their files removed.
    void flushReleases();

    // Zero-filled ordinary memory of `size` bytes, or null when the request is larger
    // than the memory that can be had. The system overcommits, so a large request is
    // judged against the memory available now instead of trusting the allocator.
    void* allocRealMemory(uint64_t size);
    // Largest request that allocRealMemory accepts; nullopt judges by available memory.
    void setMemoryCeiling(std::optional<uint64_t> bytes);

    static constexpr const char* kTempFilePattern = "lumivartempfile.XXXXXX";

  private:
    FileBackedDataManager();

    struct Mapping {
        void* address;
        int fd;
        uint64_t length;
        std::string path;
    };
    static void release(const Mapping& m);

    std::mutex lock_;
    std::list<Mapping> mappings_;
    std::optional<uint64_t> ceiling_;
    platform::SerialQueue releaser_{"file-backed memory release"};
};
