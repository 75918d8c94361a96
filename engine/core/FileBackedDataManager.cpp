#include "engine/core/FileBackedDataManager.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/Paths.h"

namespace {

// Requests below this are never weighed against available memory.
constexpr uint64_t kAlwaysInMemory = 64ull << 20;

uint64_t availableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    uint64_t kib = 0;
    std::string unit;
    while (meminfo >> key >> kib >> unit)
        if (key == "MemAvailable:") return kib * 1024;
    long pages = ::sysconf(_SC_AVPHYS_PAGES), page = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && page > 0 ? uint64_t(pages) * uint64_t(page) : UINT64_MAX;
}

} // namespace

FileBackedDataManager& FileBackedDataManager::sharedFileBackedDataManager() {
    static FileBackedDataManager* instance = new FileBackedDataManager;
    return *instance;
}

FileBackedDataManager::FileBackedDataManager() = default;

void* FileBackedDataManager::allocVM(uint64_t size) {
    if (size == 0 || size > uint64_t(SIZE_MAX) || size > uint64_t(INT64_MAX)) return nullptr;
    std::string path = (platform::paths::ensure(platform::paths::temporary()) / kTempFilePattern).string();
    std::lock_guard guard(lock_);
    int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) return nullptr;
    // Reserving the blocks now turns a full disk into a failed allocation here instead of
    // a fault on first write into the mapping. A fresh file reads as zeros.
    void* address = MAP_FAILED;
    if (::posix_fallocate(fd, 0, off_t(size)) == 0)
        address = ::mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED) {
        ::close(fd);
        ::unlink(path.c_str());
        return nullptr;
    }
    mappings_.push_back({address, fd, size, std::move(path)});
    return address;
}

void FileBackedDataManager::deallocVM(void* address) {
    if (!address) return;
    std::unique_lock guard(lock_);
    for (auto it = mappings_.begin(); it != mappings_.end(); ++it) {
        if (it->address != address) continue;
        Mapping m = std::move(*it);
        mappings_.erase(it);
        guard.unlock();
        releaser_.async([m] { release(m); });
        return;
    }
    guard.unlock();
    std::free(address);
}

void FileBackedDataManager::release(const Mapping& m) {
    // Cutting the file first spares writing its dirty pages back on unmap.
    int cut = ::ftruncate(m.fd, 0);
    (void)cut;
    ::munmap(m.address, size_t(m.length));
    ::close(m.fd);
    ::unlink(m.path.c_str());
}

void FileBackedDataManager::flushReleases() {
    releaser_.sync([] {});
}

void* FileBackedDataManager::allocRealMemory(uint64_t size) {
    if (size > uint64_t(SIZE_MAX)) return nullptr;
    std::optional<uint64_t> ceiling;
    {
        std::lock_guard guard(lock_);
        ceiling = ceiling_;
    }
    if (ceiling ? size > *ceiling : (size >= kAlwaysInMemory && size > availableMemory())) return nullptr;
    void* block = std::calloc(std::max<size_t>(size_t(size), 1), 1);
    return block;
}

void FileBackedDataManager::setMemoryCeiling(std::optional<uint64_t> bytes) {
    std::lock_guard guard(lock_);
    ceiling_ = bytes;
}
