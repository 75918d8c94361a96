#pragma once
// Entry-by-entry comparisons of DNG matrices and vectors.
#include "dng/dng_matrix.h"

#include <gtest/gtest.h>

inline void ExpectMatrixNear(const dng_matrix& actual, const dng_matrix& expected, double tolerance) {
    ASSERT_EQ(actual.Rows(), expected.Rows());
    ASSERT_EQ(actual.Cols(), expected.Cols());
    for (uint32_t r = 0; r < actual.Rows(); ++r)
        for (uint32_t c = 0; c < actual.Cols(); ++c)
            EXPECT_NEAR(actual[r][c], expected[r][c], tolerance) << "row " << r << " col " << c;
}

inline void ExpectVectorNear(const dng_vector& actual, const dng_vector& expected, double tolerance) {
    ASSERT_EQ(actual.Count(), expected.Count());
    for (uint32_t i = 0; i < actual.Count(); ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << i;
}
