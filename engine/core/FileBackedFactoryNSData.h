#pragma once
// Pixel storage: zero-filled bytes in ordinary memory or, when memory cannot be had, in a
// mapped temporary file of FileBackedDataManager. Shared by the buffers that view it.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

class FileBackedFactoryNSData {
  public:
    // Memory first unless `preferVirtualMemory`; null when neither kind can be had.
    static std::shared_ptr<FileBackedFactoryNSData> create(uint64_t size, bool preferVirtualMemory);
    ~FileBackedFactoryNSData();
    FileBackedFactoryNSData(const FileBackedFactoryNSData&) = delete;
    FileBackedFactoryNSData& operator=(const FileBackedFactoryNSData&) = delete;

    uint64_t length() const { return bufferLength_; }
    const uint8_t* bytes() const { return pBuffer_; }
    uint8_t* mutableBytes() { return pBuffer_; }

    // Sequential writer: copies at the cursor and advances it; refuses (and logs) a write
    // that would pass the end.
    bool writeToData(const void* source, uint64_t count);
    bool appendBytes(std::span<const uint8_t> data);

    // Gives the storage back; safe to call more than once.
    void doneWithData();

    const std::string& fileName() const { return fileName_; }
    void setFileName(std::string name) { fileName_ = std::move(name); }

  private:
    explicit FileBackedFactoryNSData(uint64_t size) : bufferLength_(size) {}

    uint8_t* pBuffer_ = nullptr;
    uint8_t* writePtr_ = nullptr;
    uint64_t bufferLength_ = 0;
    std::string fileName_;
};
