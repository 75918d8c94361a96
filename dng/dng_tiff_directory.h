#pragma once
// TIFF entries as the writer puts them into a file: one object per tag that knows its code,
// type, count and value bytes, and the directory that keeps them in code order and writes
// them. Tags only point at what they write: the value's owner must outlive the directory's Put.
#include "dng/dng_date_time.h"
#include "dng/dng_matrix.h"
#include "dng/dng_rational.h"
#include "dng/dng_string.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_uncopyable.h"

#include <cstdint>
#include <memory>
#include <vector>

class dng_camera_profile;
class dng_memory_block;
class dng_noise_profile;
class dng_stream;
class dng_xmp;

class tiff_tag : private dng_uncopyable {
  public:
    virtual ~tiff_tag() = default;

    uint16_t Code() const { return fCode; }
    uint16_t Type() const { return fType; }
    uint32_t Count() const { return fCount; }
    void SetCount(uint32_t count) { fCount = count; }
    uint32_t Size() const { return TagTypeSize(fType) * fCount; }

    // The value bytes, without padding, in the stream's byte order.
    virtual void Put(dng_stream& stream) const = 0;

  protected:
    tiff_tag(uint16_t code, uint16_t type, uint32_t count) : fCode(code), fType(type), fCount(count) {}

    uint16_t fCode;
    uint16_t fType;
    uint32_t fCount;
};

class tag_data_ptr : public tiff_tag {
  public:
    tag_data_ptr(uint16_t code, uint16_t type, uint32_t count, const void* data)
        : tiff_tag(code, type, count), fData(data) {}
    void SetData(const void* data) { fData = data; }
    void Put(dng_stream& stream) const override;

  protected:
    const void* fData;
};

// A single value held inside the tag.
template <typename T, uint16_t kType> class tag_value : public tag_data_ptr {
  public:
    tag_value(uint16_t code, T value = T()) : tag_data_ptr(code, kType, 1, &fValue), fValue(value) {}
    void Set(T value) { fValue = value; }

  private:
    T fValue;
};

using tag_uint8 = tag_value<uint8_t, ttByte>;
using tag_uint16 = tag_value<uint16_t, ttShort>;
using tag_uint32 = tag_value<uint32_t, ttLong>;
using tag_urational = tag_value<dng_urational, ttRational>;
using tag_srational = tag_value<dng_srational, ttSRational>;
using tag_real64 = tag_value<double, ttDouble>;

// An array owned by the caller.
template <typename T, uint16_t kType> class tag_array_ptr : public tag_data_ptr {
  public:
    tag_array_ptr(uint16_t code, const T* data, uint32_t count) : tag_data_ptr(code, kType, count, data) {}
};

using tag_uint8_ptr = tag_array_ptr<uint8_t, ttByte>;
using tag_uint16_ptr = tag_array_ptr<uint16_t, ttShort>;
using tag_uint32_ptr = tag_array_ptr<uint32_t, ttLong>;
using tag_urational_ptr = tag_array_ptr<dng_urational, ttRational>;
using tag_srational_ptr = tag_array_ptr<dng_srational, ttSRational>;
using tag_real32_ptr = tag_array_ptr<float, ttFloat>;

// ASCII, or BYTE for UTF-8 text unless ASCII is forced.
class tag_string : public tiff_tag {
  public:
    tag_string(uint16_t code, const dng_string& s, bool forceASCII = true);
    void Put(dng_stream& stream) const override;

  private:
    dng_string fString;
};

// EXIF user-comment style text: "ASCII" or "UNICODE" and the text without a terminator.
class tag_encoded_text : public tiff_tag {
  public:
    tag_encoded_text(uint16_t code, const dng_string& text);
    void Put(dng_stream& stream) const override;

  private:
    dng_string fText;
    dng_memory_data fUTF16;
    uint32_t fUnits = 0;
};

// Signed rationals over 10000, row by row.
class tag_matrix : public tag_data_ptr {
  public:
    tag_matrix(uint16_t code, const dng_matrix& m);

  private:
    dng_srational fEntry[16];
};

class tag_icc_profile : public tag_data_ptr {
  public:
    tag_icc_profile(const void* profileData, uint32_t profileSize);
};

// Columns, rows, then the pattern column by column.
class tag_cfa_pattern : public tiff_tag {
  public:
    tag_cfa_pattern(uint16_t code, uint32_t rows, uint32_t cols, const uint8_t* pattern);
    void Put(dng_stream& stream) const override;

  private:
    uint32_t fRows;
    uint32_t fCols;
    // 8 bytes per row.
    const uint8_t* fPattern;
};

class tag_exif_date_time : public tag_data_ptr {
  public:
    tag_exif_date_time(uint16_t code, const dng_date_time& dt);

  private:
    char fData[20];
};

// IPTC bytes as whole LONGs, zero padded.
class tag_iptc : public tiff_tag {
  public:
    tag_iptc(const void* data, uint32_t length);
    void Put(dng_stream& stream) const override;

  private:
    const void* fData;
    uint32_t fLength;
};

class tag_xmp : public tag_data_ptr {
  public:
    explicit tag_xmp(const dng_xmp* xmp);
    ~tag_xmp() override;

  private:
    std::unique_ptr<dng_memory_block> fBuffer;
};

class tag_dng_noise_profile : public tag_data_ptr {
  public:
    explicit tag_dng_noise_profile(const dng_noise_profile& profile);

  private:
    double fValues[8];
};

class dng_tiff_directory : private dng_uncopyable {
  public:
    static constexpr uint32_t kMaxEntries = 100;

    enum offset_mode : uint32_t {
        offsetsRelativeToStream = 0,
        offsetsRelativeToExplicitBase = 1,
        offsetsRelativeToIFD = 2
    };

    dng_tiff_directory() = default;
    virtual ~dng_tiff_directory() = default;

    // Before the first held tag of a greater code: equal codes keep the order they came in.
    void Add(const tiff_tag* tag);
    uint32_t Entries() const { return fEntries; }
    const tiff_tag* Entry(uint32_t index) const { return fTag[index]; }
    bool IsEmpty() const { return fEntries == 0; }
    void SetChained(uint32_t offset) { fChained = offset; }

    uint32_t Size() const;
    void Put(dng_stream& stream, offset_mode mode = offsetsRelativeToStream, uint64_t explicitBase = 0) const;

  private:
    const tiff_tag* fTag[kMaxEntries] = {};
    uint32_t fEntries = 0;
    uint32_t fChained = 0;
};

// A standalone camera profile stream: "II" or "MM", 0x4352, then one directory at 8.
class tiff_dng_extended_color_profile : private dng_tiff_directory {
  public:
    explicit tiff_dng_extended_color_profile(const dng_camera_profile& profile);
    void Put(dng_stream& stream, bool includeModelRestriction = true);

  private:
    const dng_camera_profile& fProfile;
};
