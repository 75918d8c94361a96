#include "raw/core/FileBackedMemory.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/Paths.h"

namespace raw {
namespace {

// An anonymous file in our own temporary folder: never visible by name, so nothing is
// left behind when the process dies or a mapping fails.
int open_anonymous_file() {
    std::string folder = platform::paths::ensure(platform::paths::temporary()).string();
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    std::string name = folder + "/decode-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
    return fd;
}

void* map_file_block(DecoderState& s, uint64_t bytes) {
    int fd = open_anonymous_file();
    if (fd < 0) return nullptr;
    if (::ftruncate(fd, off_t(bytes)) != 0) {
        ::close(fd);
        return nullptr;
    }
    // A fresh file reads as zeros, so the block needs no clearing.
    void* address = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    auto* record = new (std::nothrow) mapping_record{address, fd, bytes, nullptr};
    if (!record) {
        ::munmap(address, bytes);
        ::close(fd);
        return nullptr;
    }
    mapping_record** tail = &s.mapping_list;
    while (*tail)
        tail = &(*tail)->next;
    *tail = record;
    return address;
}

void release_mapping(mapping_record* record) {
    // Cutting the file first spares writing its dirty pages back on unmap.
    int cut = ::ftruncate(record->descriptor, 0);
    (void)cut;
    ::munmap(record->address, record->length);
    ::close(record->descriptor);
    delete record;
}

} // namespace

bool checked_size(uint64_t count, uint64_t size, uint64_t& bytes) {
    return !__builtin_mul_overflow(count, size, &bytes);
}

void* file_backed_calloc(DecoderState& s, uint64_t count, uint64_t size) {
    uint64_t bytes = 0;
    if (!checked_size(count, size, bytes) || bytes > SIZE_MAX) return nullptr;
    if (bytes >= kFileBackedThreshold && s.use_file_backed_memory) {
        if (void* mapped = map_file_block(s, bytes)) return mapped;
    }
    void* block = std::calloc(size_t(count), size_t(size));
    return block;
}

void file_backed_free(DecoderState& s, void* address) {
    for (mapping_record** link = &s.mapping_list; *link; link = &(*link)->next) {
        if ((*link)->address == address) {
            mapping_record* found = *link;
            *link = found->next;
            release_mapping(found);
            return;
        }
    }
    std::free(address);
}

void file_backed_release_all(DecoderState& s) {
    while (mapping_record* record = s.mapping_list) {
        s.mapping_list = record->next;
        release_mapping(record);
    }
}

} // namespace raw
