#pragma once
// Allocation of the decoder's large arrays. With use_file_backed_memory set, blocks of
// 1 MiB and more are mapped from unlinked files in the app-private temporary folder, so
// the system pages them to disk instead of into swap; smaller blocks, and any mapping
// that fails, come from the heap.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "raw/core/DecoderError.h"
#include "raw/core/DecoderState.h"

namespace raw {

inline constexpr uint64_t kFileBackedThreshold = 0x100000;

// A zeroed block of count x size bytes, or null (also when count x size overflows).
void* file_backed_calloc(DecoderState& s, uint64_t count, uint64_t size);
// Releases a block of file_backed_calloc or of the heap; null is allowed.
void file_backed_free(DecoderState& s, void* address);
// Releases every live mapping (a decode that ended without freeing its blocks).
void file_backed_release_all(DecoderState& s);

// count x size in 64 bits; false when the product overflows.
bool checked_size(uint64_t count, uint64_t size, uint64_t& bytes);

struct file_backed_release {
    DecoderState* s;
    void operator()(void* address) const { file_backed_free(*s, address); }
};
template <typename T> using file_backed_ptr = std::unique_ptr<T, file_backed_release>;

// A zeroed T (a work area of plain arrays) released when it goes out of scope; running
// out of memory fails the decode with `where` as the location.
template <typename T> file_backed_ptr<T> file_backed_object(DecoderState& s, const char* where) {
    file_backed_ptr<T> object(static_cast<T*>(file_backed_calloc(s, 1, sizeof(T))), {&s});
    memory_error(s, object.get(), where);
    return object;
}

} // namespace raw
