#include "dng/dng_date_time.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {
dng_string Text(const char* s) {
    dng_string t;
    t.Set(s);
    return t;
}

// Sets TZ for one test and puts the old value back.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) fOld = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (fOld)
            setenv("TZ", fOld->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    std::optional<std::string> fOld;
};
} // namespace

TEST(DngDateTime, ParseExifText) {
    struct Case {
        const char* text;
        bool valid;
        dng_date_time expected;
    };
    const Case cases[] = {
        {"2019:07:14 18:05:09", true, {2019, 7, 14, 18, 5, 9}},
        {"2019-07-14 18:05:09", false, {2019, 0, 0, 0, 0, 0}},
        {"2019:02:31 00:00:00", true, {2019, 2, 31, 0, 0, 0}},
        {"    :  :     :  :  ", false, {0, 0, 0, 0, 0, 0}},
        {"99999999999:01:01 00:00:00", false, {4294967295u, 1, 1, 0, 0, 0}},
        {"2019:07:14 24:00:00", false, {2019, 7, 14, 24, 0, 0}},
    };
    for (const auto& c : cases) {
        dng_date_time dt;
        EXPECT_EQ(dt.Parse(c.text), c.valid) << c.text;
        EXPECT_EQ(dt, c.expected) << c.text;
    }
}

TEST(DngDateTimeInfo, ExifOffsets) {
    struct Case {
        const char* text;
        int32_t zone;
    };
    const Case cases[] = {{"+05:30", 330}, {"-01:30", -90},  {"+25:00", -901}, {"+5:30", -901},
                          {"+15:00", 900}, {"+15:01", -901}, {"+00:60", -901}, {"", -901}};
    for (const auto& c : cases) {
        dng_date_time_info info;
        info.SetZone(12);
        info.SetOffsetTime(Text(c.text));
        EXPECT_EQ(info.TimeZone(), c.zone) << c.text;
    }
    dng_date_time_info info;
    info.SetZone(-90);
    EXPECT_STREQ(info.OffsetTime().Get(), "-01:30");
    info.SetZone(0);
    EXPECT_STREQ(info.OffsetTime().Get(), "+00:00");
    info.SetZone(dng_date_time_info::kUnknownZone);
    EXPECT_STREQ(info.OffsetTime().Get(), "   :  ");
}

TEST(DngDateTimeInfo, Iso8601) {
    dng_date_time_info info;
    info.DecodeISO8601("2021-03-04T05:06:07.89+01:00");
    EXPECT_EQ(info.DateTime(), dng_date_time(2021, 3, 4, 5, 6, 7));
    EXPECT_STREQ(info.Subseconds().Get(), "89");
    EXPECT_EQ(info.TimeZone(), 60);
    EXPECT_STREQ(info.EncodeISO8601().Get(), "2021-03-04T05:06:07.89+01:00");

    info.DecodeISO8601("2021-03-04T05:06Z");
    EXPECT_EQ(info.DateTime(), dng_date_time(2021, 3, 4, 5, 6, 0));
    EXPECT_EQ(info.TimeZone(), 0);
    EXPECT_STREQ(info.EncodeISO8601().Get(), "2021-03-04T05:06:00Z");

    info.DecodeISO8601("2021-03-04T05:06:07-08:30");
    EXPECT_EQ(info.TimeZone(), -510);

    info.DecodeISO8601("2021-13-04");
    EXPECT_FALSE(info.IsValid());
    EXPECT_STREQ(info.EncodeISO8601().Get(), "");

    info.DecodeISO8601("2021-03-04");
    EXPECT_TRUE(info.IsDateOnly());
    EXPECT_STREQ(info.EncodeISO8601().Get(), "2021-03-04");

    info.DecodeISO8601("2021-03-04T25:00");
    EXPECT_FALSE(info.IsValid()) << "an invalid time clears everything";

    info.DecodeISO8601("2021-03-04T05:06:07");
    info.SetSubseconds(Text("8a"));
    EXPECT_STREQ(info.EncodeISO8601().Get(), "2021-03-04T05:06:07") << "non-digit subseconds are left out";
}

TEST(DngDateTimeInfo, IptcForms) {
    dng_date_time_info info;
    info.DecodeIPTCDate("20210304");
    info.DecodeIPTCTime("101500-0130");
    EXPECT_EQ(info.DateTime(), dng_date_time(2021, 3, 4, 10, 15, 0));
    EXPECT_EQ(info.TimeZone(), -90);
    EXPECT_STREQ(info.EncodeIPTCDate().Get(), "20210304");
    EXPECT_STREQ(info.EncodeIPTCTime().Get(), "101500-0130");

    info.DecodeIPTCTime("1015");
    EXPECT_EQ(info.DateTime(), dng_date_time(2021, 3, 4, 10, 15, 0));
    info.DecodeIPTCTime("101500+1600"); // zone beyond 15 hours: ignored whole
    EXPECT_EQ(info.TimeZone(), -90);
    info.DecodeIPTCTime("10150");
    info.DecodeIPTCDate("2021034x");
    EXPECT_EQ(info.DateTime(), dng_date_time(2021, 3, 4, 10, 15, 0));

    dng_date_time_info dateOnly;
    dateOnly.DecodeIPTCDate("20210304");
    EXPECT_STREQ(dateOnly.EncodeIPTCTime().Get(), "");
}

TEST(CurrentDateTimeAndZone, UsesTheClockAndZone) {
    // 2021-03-04 22:00:00 UTC.
    const auto instant = std::chrono::system_clock::from_time_t(1614895200);
    platform::ScopedFixedClock clock(instant);
    struct Case {
        const char* tz;
        dng_date_time local;
        int32_t zone;
    };
    const Case cases[] = {
        {"UTC0", {2021, 3, 4, 22, 0, 0}, 0},
        {"IST-5:30", {2021, 3, 5, 3, 30, 0}, 330}, // local time is already the next day
        {"HST10", {2021, 3, 4, 12, 0, 0}, -600},
    };
    for (const auto& c : cases) {
        ScopedTimeZone zone(c.tz);
        dng_date_time_info info;
        CurrentDateTimeAndZone(info);
        EXPECT_EQ(info.DateTime(), c.local) << c.tz;
        EXPECT_EQ(info.TimeZone(), c.zone) << c.tz;
        EXPECT_FALSE(info.IsDateOnly());
    }
}
