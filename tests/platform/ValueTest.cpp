#include "platform/Value.h"

#include "tests/platform/CommaLocale.h"

#include <gtest/gtest.h>

using platform::Value;

TEST(Value, KindsStayDistinct) {
    EXPECT_TRUE(Value(10.0).isReal());
    EXPECT_TRUE(Value(10).isInteger());
    EXPECT_TRUE(Value(true).isBool());
    EXPECT_FALSE(Value(10) == Value(10.0));
}

TEST(Value, CoercesLikeFoundation) {
    struct Case {
        Value v;
        double d;
        int64_t i;
        bool b;
    };
    const Case cases[] = {
        {Value("YES"), 0.0, 0, true},   {Value("NO"), 0.0, 0, false}, {Value(" 2.5"), 2.5, 2, true},
        {Value("-3"), -3.0, -3, true},  {Value("0"), 0.0, 0, false},  {Value(7.9), 7.9, 7, true},
        {Value(true), 1.0, 1, true},    {Value(), 0.0, 0, false},     {Value("true"), 0.0, 0, true},
        {Value(-12), -12.0, -12, true},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(c.v.doubleValue(), c.d) << c.v.stringValue();
        EXPECT_EQ(c.v.int64Value(), c.i) << c.v.stringValue();
        EXPECT_EQ(c.v.boolValue(), c.b) << c.v.stringValue();
    }
}

TEST(Value, DictionaryFind) {
    Value d(platform::Dictionary{{"a", Value(1)}, {"b", Value("x")}});
    ASSERT_NE(d.find("b"), nullptr);
    EXPECT_EQ(*d.find("b")->string(), "x");
    EXPECT_EQ(d.find("c"), nullptr);
    EXPECT_EQ(Value(3).find("a"), nullptr);
}

TEST(Value, ParsesNumbersWithADecimalPointUnderAnyLocale) {
    testsupport::CommaLocale comma;
    LV_REQUIRE_COMMA_LOCALE(comma);
    EXPECT_DOUBLE_EQ(Value("2.5").doubleValue(), 2.5);
    EXPECT_EQ(Value("7.9").int64Value(), 7);
}
