#pragma once
// Calendar dates and times in their EXIF, ISO 8601 and IPTC text forms.
#include "dng/dng_string.h"

#include <cstdint>

class dng_mutex;

class dng_date_time {
  public:
    uint32_t fYear = 0;
    uint32_t fMonth = 0;
    uint32_t fDay = 0;
    uint32_t fHour = 0;
    uint32_t fMinute = 0;
    uint32_t fSecond = 0;

    dng_date_time() = default;
    dng_date_time(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
                  uint32_t second)
        : fYear(year), fMonth(month), fDay(day), fHour(hour), fMinute(minute), fSecond(second) {}

    bool operator==(const dng_date_time&) const = default;

    // Days are not checked against the month.
    bool IsValid() const;
    bool NotValid() const { return !IsValid(); }
    void Clear() { *this = dng_date_time(); }

    // Six numbers separated by blanks or colons, as EXIF writes them.
    bool Parse(const char* s);
};

class dng_date_time_info {
  public:
    static constexpr int32_t kUnknownZone = -901;
    static constexpr int32_t kMaxZone = 900;

    bool IsValid() const { return fDateTime.IsValid(); }
    bool NotValid() const { return !IsValid(); }
    void Clear() { *this = dng_date_time_info(); }

    const dng_date_time& DateTime() const { return fDateTime; }
    void SetDateTime(const dng_date_time& dt) {
        fDateOnly = false;
        fDateTime = dt;
    }
    bool IsDateOnly() const { return fDateOnly; }
    void SetDate(uint32_t year, uint32_t month, uint32_t day);

    const dng_string& Subseconds() const { return fSubseconds; }
    void SetSubseconds(const dng_string& s) { fSubseconds = s; }

    // Minutes east of UTC, or kUnknownZone.
    int32_t TimeZone() const { return fTimeZone; }
    bool HasTimeZone() const { return fTimeZone >= -kMaxZone && fTimeZone <= kMaxZone; }
    void SetZone(int32_t minutes) { fTimeZone = minutes; }

    // The EXIF offset text: "+hh:mm", "-hh:mm", or blanks for an unknown zone.
    void SetOffsetTime(const dng_string& offset);
    dng_string OffsetTime() const;

    void DecodeISO8601(const char* s);
    dng_string EncodeISO8601() const;

    void DecodeIPTCDate(const char* s);
    dng_string EncodeIPTCDate() const;
    void DecodeIPTCTime(const char* s);
    dng_string EncodeIPTCTime() const;

  private:
    bool fDateOnly = true;
    dng_date_time fDateTime;
    dng_string fSubseconds;
    int32_t fTimeZone = kUnknownZone;
};

// Where in a file a date was read, and in which form.
class dng_date_time_storage_info {
  public:
    static constexpr uint32_t kFormatEXIF = 1;

    dng_date_time_storage_info() = default;
    dng_date_time_storage_info(uint64_t offset, uint32_t format) : fOffset(offset), fFormat(format) {}

    bool IsValid() const { return fOffset != ~uint64_t(0); }
    uint64_t Offset() const { return fOffset; }
    uint32_t Format() const { return fFormat; }

  private:
    uint64_t fOffset = ~uint64_t(0);
    uint32_t fFormat = 0;
};

// Now, in local time with its offset from UTC, read from the program's clock.
void CurrentDateTimeAndZone(dng_date_time_info& info);

// Serialises every local-time and UTC conversion of the program.
dng_mutex& LocalTimeMutex();
