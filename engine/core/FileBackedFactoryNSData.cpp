#include "engine/core/FileBackedFactoryNSData.h"

#include <cstring>

#include "engine/core/FileBackedDataManager.h"
#include "platform/Log.h"

std::shared_ptr<FileBackedFactoryNSData> FileBackedFactoryNSData::create(uint64_t size,
                                                                         bool preferVirtualMemory) {
    std::shared_ptr<FileBackedFactoryNSData> data(new FileBackedFactoryNSData(size));
    auto& manager = FileBackedDataManager::sharedFileBackedDataManager();
    void* storage = nullptr;
    if (!preferVirtualMemory) {
        storage = manager.allocRealMemory(size);
        if (!storage) LV_LOG(">>>>> Warning: real memory could not be assigned; falling back to virtual");
    }
    if (!storage) storage = manager.allocVM(size);
    if (!storage) {
        LV_LOG("FileBackedFactoryNSData failed - no memory");
        return nullptr;
    }
    data->pBuffer_ = data->writePtr_ = static_cast<uint8_t*>(storage);
    return data;
}

FileBackedFactoryNSData::~FileBackedFactoryNSData() { doneWithData(); }

bool FileBackedFactoryNSData::writeToData(const void* source, uint64_t count) {
    if (!writePtr_) return false;
    uint64_t used = uint64_t(writePtr_ - pBuffer_);
    if (count > bufferLength_ - used) {
        LV_LOG("FileBackedFactoryNSData writeToData buffer overrun failure");
        return false;
    }
    if (count) std::memcpy(writePtr_, source, size_t(count));
    writePtr_ += count;
    return true;
}

bool FileBackedFactoryNSData::appendBytes(std::span<const uint8_t> data) {
    return writeToData(data.data(), data.size());
}

void FileBackedFactoryNSData::doneWithData() {
    if (pBuffer_) FileBackedDataManager::sharedFileBackedDataManager().deallocVM(pBuffer_);
    pBuffer_ = writePtr_ = nullptr;
    bufferLength_ = 0;
    fileName_.clear();
}
