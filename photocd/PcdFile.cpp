#include "photocd/PcdFile.h"

#include <limits>
#include <sys/types.h>

namespace photocd {

bool PcdFile::open(const std::string& path) {
    file_.reset(std::fopen(path.c_str(), "rb"));
    return file_ != nullptr;
}

bool PcdFile::seek(uint64_t offset) {
    if (!file_ || offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
    return fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) == 0;
}

size_t PcdFile::read(void* into, size_t count) { return file_ ? std::fread(into, 1, count, file_.get()) : 0; }

size_t PcdFile::readAt(uint64_t offset, void* into, size_t count) {
    return seek(offset) ? read(into, count) : 0;
}

int64_t PcdFile::size() {
    if (!file_ || fseeko(file_.get(), 0, SEEK_END) != 0) return -1;
    const off_t end = ftello(file_.get());
    return end < 0 ? -1 : static_cast<int64_t>(end);
}

} // namespace photocd
