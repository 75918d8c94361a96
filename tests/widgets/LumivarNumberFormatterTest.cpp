#include <gtest/gtest.h>

#include <optional>

#include "display/widgets/LumivarNumberFormatter.h"

namespace {

struct Typed {
    const char* text;
    std::optional<double> minimum, maximum, lastGood;
    double value;
};

TEST(LumivarNumberFormatter, EveryTextGivesANumber) {
    // clang-format off
    const Typed cases[] = {
        {"abc",   {},  {},   {},   0},    // nothing good yet
        {"abc",   {},  {},   3.5,  3.5},  // the last good number
        {"",      {},  {},   -2,   -2},
        {" 4.25", {},  {},   {},   4.25}, // leading blanks are skipped
        {"12 mm", {},  {},   {},   12},   // the number at the start is read
        {"-1e2",  {},  {},   {},   -100},
        {"12",    {},  10.0, {},   10},   // over the maximum
        {"0.5",   1.0, {},   {},   1},    // under the minimum
        {"0.5",   1.0, 10.0, {},   1},
        {"7",     1.0, 10.0, {},   7},
        {"x",     1.0, 10.0, 20.0, 20},   // the last good number is not clamped again
        {"nan",   {},  {},   4,    4},    // not finite: no number
        {"-inf",  1.0, {},   4,    4},
    };
    // clang-format on
    for (const Typed& c : cases) {
        LumivarNumberFormatter formatter;
        formatter.setLocale(QLocale::c());
        formatter.setMinimum(c.minimum);
        formatter.setMaximum(c.maximum);
        formatter.setLastGoodNumber(c.lastGood);
        EXPECT_DOUBLE_EQ(formatter.getObjectValue(c.text), c.value) << c.text;
        EXPECT_EQ(formatter.lastGoodNumber(), c.value) << c.text;
    }
}

TEST(LumivarNumberFormatter, ReadsTheLocalesDecimalComma) {
    LumivarNumberFormatter formatter;
    formatter.setLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_DOUBLE_EQ(formatter.getObjectValue("2,5"), 2.5);
    QString text = "abc";
    formatter.fixup(text);
    EXPECT_EQ(text, "2,5"); // the last good number, written back in the locale
}

// In a field nothing typed is refused, and leaving the field leaves its number in it.
TEST(LumivarNumberFormatter, FieldNeverRefusesAndEndsOnTheNumber) {
    LumivarNumberFormatter formatter;
    formatter.setLocale(QLocale::c());
    formatter.setMaximum(10.0);
    int pos = 0;
    for (QString typed : {"", "-", "1.", "12", "abc", "1e"})
        EXPECT_NE(formatter.validate(typed, pos), QValidator::Invalid) << typed.toStdString();
    QString fine = "7.5";
    EXPECT_EQ(formatter.validate(fine, pos), QValidator::Acceptable);
    QString over = "12";
    formatter.fixup(over);
    EXPECT_EQ(over, "10");
}

} // namespace
