#include "dng/dng_date_time.h"

#include "dng/dng_mutex.h"
#include "platform/Clock.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A run of digits as an unsigned number, saturating so that huge values stay invalid.
uint32_t ReadDigits(const char*& p, uint32_t maxDigits = std::numeric_limits<uint32_t>::max()) {
    uint64_t value = 0;
    for (uint32_t n = 0; n < maxDigits && IsDigit(*p); ++n, ++p)
        value = std::min<uint64_t>(value * 10 + uint64_t(*p - '0'), std::numeric_limits<uint32_t>::max());
    return uint32_t(value);
}

// An unsigned number after optional white space, as the %u conversion reads one.
bool ScanUnsigned(const char*& p, uint32_t& value) {
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (!IsDigit(*p)) return false;
    value = ReadDigits(p);
    return true;
}

bool Expect(const char*& p, char c) {
    if (*p != c) return false;
    ++p;
    return true;
}

bool AllDigits(const char* s) {
    for (; *s; ++s)
        if (!IsDigit(*s)) return false;
    return true;
}

// Reads exactly `count` fixed-width numbers from a text made of digits only.
bool ReadFixed(const char* s, std::initializer_list<uint32_t> widths, uint32_t* out) {
    for (uint32_t width : widths) {
        const char* start = s;
        *out++ = ReadDigits(s, width);
        if (uint32_t(s - start) != width) return false;
    }
    return true;
}

int32_t ZoneMinutes(bool negative, uint32_t hours, uint32_t minutes) {
    const int64_t total = int64_t(hours) * 60 + minutes;
    const int64_t clamped = std::min<int64_t>(total, std::numeric_limits<int32_t>::max());
    return int32_t(negative ? -clamped : clamped);
}

// The sign, then the hours and minutes of the offset, with the separator between them.
std::string ZoneText(int32_t zone, const char* separator) {
    const int32_t magnitude = zone < 0 ? -zone : zone;
    char text[32];
    std::snprintf(text, sizeof(text), "%c%02d%s%02d", zone < 0 ? '-' : '+', magnitude / 60, separator,
                  magnitude % 60);
    return text;
}

dng_string Text(const char* s) {
    dng_string result;
    result.Set(s);
    return result;
}

} // namespace

bool dng_date_time::IsValid() const {
    return fYear >= 1 && fYear <= 9999 && fMonth >= 1 && fMonth <= 12 && fDay >= 1 && fDay <= 31 &&
           fHour <= 23 && fMinute <= 59 && fSecond <= 59;
}

bool dng_date_time::Parse(const char* s) {
    uint32_t* fields[6] = {&fYear, &fMonth, &fDay, &fHour, &fMinute, &fSecond};
    bool stopped = false;
    for (uint32_t* field : fields) {
        while (!stopped && (*s == ' ' || *s == ':'))
            ++s;
        if (!stopped && IsDigit(*s))
            *field = ReadDigits(s);
        else {
            stopped = true;
            *field = 0;
        }
    }
    return IsValid();
}

void dng_date_time_info::SetDate(uint32_t year, uint32_t month, uint32_t day) {
    fDateTime = dng_date_time(year, month, day, 0, 0, 0);
}

void dng_date_time_info::SetOffsetTime(const dng_string& offset) {
    fTimeZone = kUnknownZone;
    const char* s = offset.Get();
    if (std::strlen(s) != 6 || (s[0] != '+' && s[0] != '-') || s[3] != ':') return;
    if (s[1] < '0' || s[1] > '1' || !IsDigit(s[2]) || s[4] < '0' || s[4] > '5' || !IsDigit(s[5])) return;
    const int32_t minutes = ((s[1] - '0') * 10 + (s[2] - '0')) * 60 + (s[4] - '0') * 10 + (s[5] - '0');
    if (minutes <= kMaxZone) fTimeZone = s[0] == '-' ? -minutes : minutes;
}

dng_string dng_date_time_info::OffsetTime() const {
    if (!HasTimeZone()) return Text("   :  ");
    return Text(ZoneText(fTimeZone, ":").c_str());
}

void dng_date_time_info::DecodeISO8601(const char* s) {
    Clear();
    if (!s || !*s) return;
    const char* p = s;
    uint32_t year, month, day;
    if (!(ScanUnsigned(p, year) && Expect(p, '-') && ScanUnsigned(p, month) && Expect(p, '-') &&
          ScanUnsigned(p, day)))
        return;
    SetDate(year, month, day);
    if (NotValid()) return Clear();

    const char* t = std::strchr(s, 'T');
    if (!t) return;
    p = t + 1;
    uint32_t hour = 0, minute = 0, second = 0;
    int count = 0;
    if (ScanUnsigned(p, hour) && ++count && Expect(p, ':') && ScanUnsigned(p, minute) && ++count &&
        Expect(p, ':') && ScanUnsigned(p, second))
        ++count;
    if (count < 2) return;
    fDateOnly = false;
    fDateTime = dng_date_time(year, month, day, hour, minute, second);
    if (NotValid()) return Clear();

    if (count == 3) {
        if (const char* dot = std::strchr(t, '.')) {
            const char* digits = dot + 1;
            const char* end = digits;
            while (IsDigit(*end))
                ++end;
            fSubseconds.Set(std::string(digits, end).c_str());
        }
    }
    const char* zone = std::strpbrk(t, "+-Z");
    if (!zone) return;
    if (*zone == 'Z') {
        fTimeZone = 0;
        return;
    }
    p = zone + 1;
    uint32_t zoneHours, zoneMinutes = 0;
    if (!ScanUnsigned(p, zoneHours)) return;
    if (Expect(p, ':')) ScanUnsigned(p, zoneMinutes);
    fTimeZone = ZoneMinutes(*zone == '-', zoneHours, zoneMinutes);
}

dng_string dng_date_time_info::EncodeISO8601() const {
    if (NotValid()) return dng_string();
    char text[64];
    int n = std::snprintf(text, sizeof(text), "%04u-%02u-%02u", fDateTime.fYear, fDateTime.fMonth,
                          fDateTime.fDay);
    if (!fDateOnly) {
        n += std::snprintf(text + n, sizeof(text) - n, "T%02u:%02u:%02u", fDateTime.fHour, fDateTime.fMinute,
                           fDateTime.fSecond);
        std::string result(text, n);
        if (fSubseconds.NotEmpty() && AllDigits(fSubseconds.Get()))
            result += std::string(".") + fSubseconds.Get();
        if (HasTimeZone()) {
            if (fTimeZone == 0) {
                result += "Z";
            } else {
                result += ZoneText(fTimeZone, ":");
            }
        }
        return Text(result.c_str());
    }
    return Text(text);
}

void dng_date_time_info::DecodeIPTCDate(const char* s) {
    uint32_t v[3];
    if (std::strlen(s) == 8 && AllDigits(s) && ReadFixed(s, {4, 2, 2}, v)) {
        fDateTime.fYear = v[0];
        fDateTime.fMonth = v[1];
        fDateTime.fDay = v[2];
    }
}

dng_string dng_date_time_info::EncodeIPTCDate() const {
    if (NotValid()) return dng_string();
    char text[16];
    std::snprintf(text, sizeof(text), "%04u%02u%02u", fDateTime.fYear, fDateTime.fMonth, fDateTime.fDay);
    return Text(text);
}

void dng_date_time_info::DecodeIPTCTime(const char* s) {
    const std::size_t length = std::strlen(s);
    uint32_t v[5] = {0, 0, 0, 0, 0};
    int32_t zone = fTimeZone;
    if (length == 4 || length == 6) {
        if (!AllDigits(s) || !ReadFixed(s,
                                        length == 4 ? std::initializer_list<uint32_t>{2, 2}
                                                    : std::initializer_list<uint32_t>{2, 2, 2},
                                        v))
            return;
    } else if (length == 11) {
        if ((s[6] != '+' && s[6] != '-') || !ReadFixed(s, {2, 2, 2}, v) || !ReadFixed(s + 7, {2, 2}, v + 3))
            return;
        zone = ZoneMinutes(s[6] == '-', v[3], v[4]);
        if (zone < -kMaxZone || zone > kMaxZone) return;
    } else {
        return;
    }
    fDateTime.fHour = v[0];
    fDateTime.fMinute = v[1];
    fDateTime.fSecond = v[2];
    fTimeZone = zone;
    fDateOnly = false;
}

dng_string dng_date_time_info::EncodeIPTCTime() const {
    if (NotValid() || fDateOnly) return dng_string();
    char text[32];
    int n = std::snprintf(text, sizeof(text), "%02u%02u%02u", fDateTime.fHour, fDateTime.fMinute,
                          fDateTime.fSecond);
    std::string result(text, n);
    if (HasTimeZone()) result += ZoneText(fTimeZone, "");
    return Text(result.c_str());
}

dng_mutex& LocalTimeMutex() {
    static dng_mutex mutex("LocalTimeMutex");
    return mutex;
}

void CurrentDateTimeAndZone(dng_date_time_info& info) {
    const std::time_t now = std::chrono::system_clock::to_time_t(platform::Clock::now());
    std::tm local{}, utc{};
    {
        dng_scoped_mutex_lock lock(LocalTimeMutex());
        tzset(); // TZ may have changed since the last conversion
        localtime_r(&now, &local);
        gmtime_r(&now, &utc);
    }
    info.Clear();
    info.SetDateTime(dng_date_time(uint32_t(local.tm_year + 1900), uint32_t(local.tm_mon + 1),
                                   uint32_t(local.tm_mday), uint32_t(local.tm_hour), uint32_t(local.tm_min),
                                   uint32_t(local.tm_sec)));
    int32_t zone = (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
    if (local.tm_year != utc.tm_year || local.tm_yday != utc.tm_yday) {
        const bool localLater =
            local.tm_year != utc.tm_year ? local.tm_year > utc.tm_year : local.tm_yday > utc.tm_yday;
        zone += localLater ? 1440 : -1440;
    }
    info.SetZone(zone);
}
