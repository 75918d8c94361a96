#pragma once
// Checks that a statement throws dng_exception with the given code.
#include "dng/dng_exceptions.h"

#include <gtest/gtest.h>

#define EXPECT_DNG_ERROR(statement, code)                                                                    \
    do {                                                                                                     \
        try {                                                                                                \
            statement;                                                                                       \
            ADD_FAILURE() << #statement " did not throw";                                                    \
        } catch (const dng_exception& e) {                                                                   \
            EXPECT_EQ(e.ErrorCode(), (code)) << #statement;                                                  \
        }                                                                                                    \
    } while (0)
