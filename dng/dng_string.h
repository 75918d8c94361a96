#pragma once
// Text of the DNG metadata, always held as NUL-terminated UTF-8.
#include "dng/dng_memory.h"

#include <cstdint>

class dng_string {
  public:
    dng_string() = default;
    dng_string(const dng_string& other);
    dng_string& operator=(const dng_string& other);
    ~dng_string() = default;

    // Null or the empty text makes the string empty.
    void Set(const char* s);
    const char* Get() const;
    uint32_t Length() const;
    bool IsEmpty() const;
    bool NotEmpty() const { return !IsEmpty(); }
    bool IsASCII() const;
    void Clear() { fData.Clear(); }

    bool operator==(const dng_string& other) const;
    bool operator!=(const dng_string& other) const { return !(*this == other); }

    bool Matches(const char* s, bool caseSensitive = false) const;
    bool StartsWith(const char* s, bool caseSensitive = false) const;
    bool EndsWith(const char* s, bool caseSensitive = false) const;
    // The offset is -1 unless the text is found.
    bool Contains(const char* s, bool caseSensitive = false, int32_t* matchOffset = nullptr) const;

    void Append(const char* s);
    // Cuts to at most maxBytes without splitting a UTF-8 sequence.
    void Truncate(uint32_t maxBytes);
    bool TrimTrailingBlanks();
    // CR-LF, LF-CR, CR and LF each become one `ending`; 0 removes them.
    void SetLineEndings(char ending);
    void StripLowASCII();
    void NormalizeNumberList();

    // Invalid sequences become U+FFFD.
    void Set_UTF8(const char* s);
    static bool IsValidUTF8(const char* s);
    void Set_SystemEncoding(const char* s);
    void Set_UTF8_or_System(const char* s);
    void Set_JIS(const char* s);
    // Returns the byte length; the buffer holds the bytes and a NUL.
    uint32_t Get_SystemEncoding(dng_memory_data& buffer) const;
    // Returns the number of UTF-16 units; the buffer holds them and a terminating 0.
    uint32_t Get_UTF16(dng_memory_data& buffer) const;
    void Set_UTF16(const uint16_t* s);

  private:
    void SetFromLegacy(const char* s, const char* encoding);

    dng_memory_data fData;
};

// An owned, ordered list of strings.
class dng_string_list : private dng_uncopyable {
  public:
    dng_string_list() = default;
    ~dng_string_list();

    uint32_t Count() const { return fCount; }
    dng_string& operator[](uint32_t index) { return *fList[index]; }
    const dng_string& operator[](uint32_t index) const { return *fList[index]; }

    void Clear();
    void Reserve(uint32_t count);
    void Insert(uint32_t index, const dng_string& s);
    void Append(const dng_string& s) { Insert(fCount, s); }

  private:
    uint32_t fCount = 0;
    uint32_t fAllocated = 0;
    dng_string** fList = nullptr;
};
