#pragma once
// Gathers the image metadata dictionary ({TIFF}, {Exif}, {ExifAux}, {GPS}, {DNG} and a few
// root keys) from the directory entries that the TIFF/EXIF/GPS parsers hand over while they
// read a raw file. One engine per decode; it reads values itself, in its own byte order,
// and never fails the decode: an entry it cannot read is left out.
#include "platform/Value.h"
#include "raw/tiff/exifTagTables.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

class exifEngine {
  public:
    exifEngine() = default;
    virtual ~exifEngine() = default;
    exifEngine(const exifEngine&) = delete;
    exifEngine& operator=(const exifEngine&) = delete;

    // Adds the entry whose value starts at the file's current position (an inline value
    // or the data an offset points to). gps selects the GPS tag table. The file position
    // is the same afterwards.
    virtual void addTag(FILE* file, uint32_t tag, uint32_t type, uint32_t count, bool gps);
    // Adds a raw 12-byte directory entry {tag, type, count, value or offset} in the
    // engine's byte order; offsets are relative to the embedded TIFF being walked.
    virtual void addIFDEntry(FILE* file, const uint8_t* entry);
    virtual void setByteOrder(bool little);
    // Adds a value the decoder read from a container without TIFF directories (the CIFF
    // records of a CRW file), stored as the entry of that tag would be: real numbers
    // with a float's precision, as rationals read from a file are.
    void addValue(uint32_t tag, platform::Value value);
    // Prints the tag's name and value, read at the file's current position, to standard
    // output. A debugging aid.
    virtual void dumpTag(FILE* file, uint32_t tag, uint32_t type, uint32_t count,
                         std::span<const raw::ExifTagRow> table);
    // A copy of the root dictionary, or a null value when nothing was ever added.
    virtual platform::Value copyDictionary() const;

    // The last failure of an embedded TIFF walk; nothing in the decode depends on it.
    const std::string& lastError() const { return lastError_; }

  private:
    struct Field {
        uint32_t tag, type, count;
    };

    void addEntry(FILE* file, Field field, bool gps, const uint8_t* entry);
    bool readValue(FILE* file, const Field& field, const uint8_t* entry, std::vector<uint8_t>& bytes) const;
    platform::Value convert(const Field& field, const std::vector<uint8_t>& bytes) const;
    platform::Value number(uint32_t type, const uint8_t* p) const;
    bool postProcess(uint32_t tag, platform::Value& value);
    void store(const raw::ExifTagRow& row, platform::Value value);

    void walkEmbeddedTiffIfPresent(FILE* file);
    std::string walkEmbeddedTiff(FILE* file);

    uint16_t get16(const uint8_t* p) const;
    uint32_t get32(const uint8_t* p) const;
    uint64_t get64(const uint8_t* p) const;

    bool littleEndian_ = false;
    std::string lastError_;
    int64_t baseOffset_ = 0; // start of the embedded TIFF being walked, else 0
    int64_t largestWidth_ = 0;
    int64_t largestHeight_ = 0;
    // Sub-dictionary keys never collide with the root's own keys.
    platform::Dictionary root_;
    bool hasValues_ = false;
};
