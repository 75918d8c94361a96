#include "dng/dng_safe_arithmetic.h"

#include "DngErrorMatchers.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

namespace {
constexpr uint32_t kU32Max = std::numeric_limits<uint32_t>::max();
constexpr int32_t kI32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kI32Min = std::numeric_limits<int32_t>::min();
} // namespace

TEST(SafeArithmetic, AdditionBoundaries) {
    struct Case {
        uint32_t a, b;
        bool fits;
        uint32_t sum;
    };
    const Case cases[] = {
        {kU32Max, 0, true, kU32Max},
        {0, kU32Max, true, kU32Max},
        {kU32Max, 1, false, 0},
        {1, kU32Max, false, 0},
        {0x80000000u, 0x7FFFFFFFu, true, kU32Max},
        {0x80000000u, 0x80000000u, false, 0},
    };
    for (const auto& c : cases) {
        uint32_t out = 12345;
        EXPECT_EQ(SafeUint32AddChecked(c.a, c.b, &out), c.fits) << c.a << " + " << c.b;
        if (c.fits) {
            EXPECT_EQ(out, c.sum);
            EXPECT_EQ(SafeUint32Add(c.a, c.b), c.sum);
        } else {
            EXPECT_EQ(out, 12345u) << "out value must stay untouched";
            EXPECT_DNG_ERROR(SafeUint32Add(c.a, c.b), dng_error_overflow);
        }
    }
}

TEST(SafeArithmetic, SignedSubtractionBoundaries) {
    struct Case {
        int32_t a, b;
        bool fits;
        int32_t difference;
    };
    const Case cases[] = {
        {kI32Min, 1, false, 0},       {0, -kI32Max, true, kI32Max}, {0, kI32Min, false, 0},
        {-1, kI32Min, true, kI32Max}, {kI32Max, -1, false, 0},      {kI32Min, 0, true, kI32Min},
        {kI32Max, kI32Max, true, 0},  {-1, kI32Max, true, kI32Min}, {-2, kI32Max, false, 0},
    };
    for (const auto& c : cases) {
        int32_t out = 777;
        EXPECT_EQ(SafeInt32SubChecked(c.a, c.b, &out), c.fits) << c.a << " - " << c.b;
        if (c.fits) {
            EXPECT_EQ(out, c.difference);
            EXPECT_EQ(SafeInt32Sub(c.a, c.b), c.difference);
        } else {
            EXPECT_EQ(out, 777);
            EXPECT_DNG_ERROR(SafeInt32Sub(c.a, c.b), dng_error_overflow);
        }
    }
}

TEST(SafeArithmetic, MultiplicationBoundaries) {
    struct Case {
        uint32_t a, b;
        bool fits;
    };
    const Case cases[] = {
        {0, kU32Max, true}, {kU32Max, 0, true},      {65536, 65536, false},  {65536, 65535, true},
        {kU32Max, 1, true}, {2, 0x80000000u, false}, {3, 0x55555555u, true}, {3, 0x55555556u, false},
    };
    for (const auto& c : cases) {
        uint32_t out = 9;
        EXPECT_EQ(SafeUint32MultChecked(c.a, c.b, &out), c.fits) << c.a << " * " << c.b;
        if (c.fits)
            EXPECT_EQ(SafeUint32Mult(c.a, c.b), uint32_t(uint64_t(c.a) * c.b));
        else
            EXPECT_DNG_ERROR(SafeUint32Mult(c.a, c.b), dng_error_overflow);
    }
    EXPECT_EQ(SafeUint32Mult3(1024, 1024, 4095), 1024u * 1024u * 4095u);
    EXPECT_DNG_ERROR(SafeUint32Mult3(1024, 1024, 4096), dng_error_overflow);
    EXPECT_DNG_ERROR(SafeUint32Mult3(65536, 65536, 0), dng_error_overflow); // each step is checked

    EXPECT_EQ(SafeSizetMult(std::size_t(1) << 32, std::size_t(1) << 31), std::size_t(1) << 63);
    EXPECT_DNG_ERROR(SafeSizetMult(std::size_t(1) << 32, std::size_t(1) << 32), dng_error_overflow);
}

TEST(SafeArithmetic, DivideUpAndRoundUp) {
    EXPECT_EQ(SafeUint32DivideUp(0, 7), 0u);
    EXPECT_EQ(SafeUint32DivideUp(kU32Max, 1), kU32Max);
    EXPECT_EQ(SafeUint32DivideUp(kU32Max, 2), 0x80000000u);
    EXPECT_EQ(SafeUint32DivideUp(14, 7), 2u);
    EXPECT_EQ(SafeUint32DivideUp(15, 7), 3u);
    EXPECT_DNG_ERROR(SafeUint32DivideUp(5, 0), dng_error_unknown);

    struct Case {
        uint32_t a, b;
        bool ok;
        uint32_t result;
    };
    const Case cases[] = {
        {10, 4, true, 12}, {12, 4, true, 12},      {0, 4, true, 0},
        {10, 0, false, 0}, {kU32Max, 2, false, 0}, {kU32Max - 1, 2, true, kU32Max - 1},
    };
    for (const auto& c : cases) {
        uint32_t out = 5;
        EXPECT_EQ(RoundUpUint32ToMultiple(c.a, c.b, &out), c.ok) << c.a << " to " << c.b;
        EXPECT_EQ(out, c.ok ? c.result : 5u);
    }
}

TEST(SafeArithmetic, SignedToUnsigned) {
    uint32_t out = 3;
    EXPECT_FALSE(ConvertInt32ToUint32Checked(-1, &out));
    EXPECT_EQ(out, 3u);
    EXPECT_TRUE(ConvertInt32ToUint32Checked(kI32Max, &out));
    EXPECT_EQ(out, uint32_t(kI32Max));

    EXPECT_EQ(dng_safe_uint32(int32_t(0)).Get(), 0u);
    EXPECT_DNG_ERROR(dng_safe_uint32(int32_t(-5)), dng_error_overflow);
}

TEST(DngException, CarriesTheCodeAndTheTextOfItsThrowSite) {
    struct Case {
        const char* what;
        std::function<void()> raise;
        int32_t code;
        std::string text;
    } cases[] = {
        {"message and sub-message", [] { Throw_dng_error(dng_error_end_of_file, "some text", "more"); },
         dng_error_end_of_file, "some text: more"},
        {"a helper's message", [] { ThrowBadFormat("Bad tag count"); }, dng_error_bad_format,
         "Bad tag count"},
        {"no text: the code's", [] { Throw_dng_error(dng_error_memory); }, dng_error_memory,
         "Out of memory."},
        {"a system call: the system's", [] { Throw_dng_system_error(dng_error_write_file, ENOSPC); },
         dng_error_write_file, std::strerror(ENOSPC)},
    };
    for (const Case& c : cases) {
        try {
            c.raise();
            ADD_FAILURE() << c.what << ": nothing thrown";
        } catch (const dng_exception& e) {
            EXPECT_EQ(e.ErrorCode(), c.code) << c.what;
            EXPECT_STREQ(e.what(), c.text.c_str()) << c.what;
        }
    }
    dng_exception copy(dng_error_matrix_math, "singular");
    dng_exception other = copy;
    EXPECT_EQ(other.ErrorCode(), 100007);
    EXPECT_STREQ(other.what(), "singular");
}

TEST(DngException, TextsOfTheCodes) {
    EXPECT_STREQ(dng_error_text(0), "No error. Success.");
    EXPECT_STREQ(dng_error_text(100005), "Out of memory.");
    EXPECT_STREQ(dng_error_text(100008), "Could not open file.");
    EXPECT_STREQ(dng_error_text(100013), "Image is too big to save as DNG.");
    EXPECT_STREQ(dng_error_text(100014), "Image is too big to save as TIFF.");
    for (int32_t code : {100000, -1, 100016, 42})
        EXPECT_STREQ(dng_error_text(code), "Logic or program error or other unclassifiable error.");
}
