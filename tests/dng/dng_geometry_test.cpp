#include "dng/dng_matrix.h"
#include "dng/dng_rational.h"
#include "dng/dng_rect.h"

#include "DngErrorMatchers.h"

#include <cmath>
#include <limits>
#include <random>

TEST(DngRect, ConstructionChecksOverflow) {
    EXPECT_DNG_ERROR(dng_rect(2147483648u, 1u), dng_error_unknown);
    EXPECT_DNG_ERROR(dng_rect(-2147483647 - 1, 0, 1, 1), dng_error_unknown);
    EXPECT_DNG_ERROR(dng_rect(0, -2, 0, 2147483647), dng_error_unknown);
    const dng_rect ok(2147483647u, 2147483647u);
    EXPECT_EQ(ok.Width(), 2147483647u);

    dng_rect raw; // edges set directly, bypassing the constructor
    raw.t = -2147483647 - 1;
    raw.b = 1;
    EXPECT_DNG_ERROR(raw.Height(), dng_error_unknown);
}

TEST(DngRect, WidthHeightAndIntersection) {
    dng_rect backwards;
    backwards.l = 5;
    backwards.r = 3;
    EXPECT_EQ(backwards.Width(), 0u);
    EXPECT_TRUE(backwards.IsEmpty());

    EXPECT_TRUE((dng_rect(0, 0, 10, 10) & dng_rect(10, 0, 20, 10)).IsZero());
    EXPECT_EQ(dng_rect(0, 0, 10, 10) & dng_rect(5, -3, 20, 4), dng_rect(5, 0, 10, 4));
    EXPECT_EQ(dng_rect(3u, 4u).Size(), dng_point(3, 4));
}

TEST(DngRational, SetDoubleChoosesDenominator) {
    struct Case {
        double x;
        uint32_t n, d;
    };
    const Case unsignedCases[] = {
        {0.5, 536870912, 1073741824}, {100.25, 3284992, 32768}, {-3, 0, 1073741824},
        {40000.4, 40000, 1},          {1e12, 4294967295u, 1},   {std::nan(""), 0, 1073741824},
    };
    for (const auto& c : unsignedCases) {
        dng_urational r;
        r.SetDouble(c.x);
        EXPECT_EQ(r, dng_urational(c.n, c.d)) << c.x;
    }

    struct SCase {
        double x;
        int32_t n, d;
    };
    const SCase signedCases[] = {
        {-0.25, -268435456, 1073741824}, {1.5, 49152, 32768},   {-40000.6, -40001, 1},
        {-1e12, -2147483647 - 1, 1},     {1e12, 2147483647, 1},
    };
    for (const auto& c : signedCases) {
        dng_srational r;
        r.SetDouble(c.x);
        EXPECT_EQ(r, dng_srational(c.n, c.d)) << c.x;
    }

    EXPECT_EQ(dng_urational(5, 0).AsDouble(), 0.0);
    EXPECT_EQ(dng_srational(-5, 0).AsDouble(), 0.0);
    EXPECT_EQ(dng_srational(-3, 4).AsDouble(), -0.75);
}

TEST(DngRational, ReduceByFactor) {
    dng_urational u(3284992, 32768);
    u.ReduceByFactor(2);
    EXPECT_EQ(u, dng_urational(401, 4));
    dng_srational s(-40, 100);
    s.ReduceByFactor(10);
    EXPECT_EQ(s, dng_srational(-4, 10));
    s.ReduceByFactor(1); // must not loop forever
    EXPECT_EQ(s, dng_srational(-4, 10));
}

namespace {
dng_matrix RandomMatrix(std::mt19937& rng, uint32_t n) {
    std::uniform_real_distribution<double> entry(-2.0, 2.0);
    dng_matrix m(n, n);
    for (uint32_t i = 0; i < n; ++i)
        for (uint32_t j = 0; j < n; ++j)
            m[i][j] = entry(rng) + (i == j ? 3.0 : 0.0);
    return m;
}

void ExpectIdentity(const dng_matrix& m, double tolerance) {
    for (uint32_t i = 0; i < m.Rows(); ++i)
        for (uint32_t j = 0; j < m.Cols(); ++j)
            EXPECT_NEAR(m[i][j], i == j ? 1.0 : 0.0, tolerance);
}
} // namespace

TEST(DngMatrix, InverseTimesMatrixIsIdentity) {
    std::mt19937 rng(20240611);
    for (uint32_t n : {2u, 3u, 4u})
        for (int trial = 0; trial < 50; ++trial) {
            const dng_matrix a = RandomMatrix(rng, n);
            ExpectIdentity(Invert(a) * a, 1e-9);
        }
}

TEST(DngMatrix, RejectsSingularAndBadShapes) {
    const dng_matrix_3by3 nearSingular(1e-11, 0, 0, 0, 1, 0, 0, 0, 1);
    EXPECT_DNG_ERROR(Invert(nearSingular), dng_error_matrix_math);
    dng_matrix flat4(4, 4);
    flat4.SetIdentity(4);
    flat4[2][2] = 1e-12;
    EXPECT_DNG_ERROR(Invert(flat4), dng_error_matrix_math);
    EXPECT_DNG_ERROR(Invert(dng_matrix(1, 3)), dng_error_matrix_math);
    EXPECT_DNG_ERROR(Invert(dng_matrix()), dng_error_matrix_math);
    EXPECT_DNG_ERROR(dng_matrix(5, 1), dng_error_unknown);
    EXPECT_DNG_ERROR(dng_matrix(0, 2), dng_error_unknown);
    EXPECT_DNG_ERROR(dng_matrix_3by3(dng_matrix(3, 2)), dng_error_matrix_math);
    EXPECT_DNG_ERROR(dng_matrix(2, 3) * dng_matrix(2, 3), dng_error_matrix_math);
    EXPECT_DNG_ERROR(dng_matrix(2, 3) + dng_matrix(3, 2), dng_error_matrix_math);
    EXPECT_DNG_ERROR(dng_matrix(2, 3) * dng_vector(2), dng_error_matrix_math);
    EXPECT_DNG_ERROR(dng_vector(0), dng_error_unknown);
    EXPECT_DNG_ERROR(dng_vector_3(dng_vector(4)), dng_error_matrix_math);
}

TEST(DngMatrix, SwapPivotAndPseudoInverse) {
    dng_matrix swap(2, 2);
    swap[0][1] = 1;
    swap[1][0] = 1;
    EXPECT_EQ(Invert(swap), swap);

    std::mt19937 rng(7);
    std::uniform_real_distribution<double> entry(-1.0, 1.0);
    dng_matrix tall(4, 3);
    for (uint32_t i = 0; i < 4; ++i)
        for (uint32_t j = 0; j < 3; ++j)
            tall[i][j] = entry(rng) + (i == j ? 2.0 : 0.0);
    const dng_matrix pseudo = Invert(tall);
    ASSERT_EQ(pseudo.Rows(), 3u);
    ASSERT_EQ(pseudo.Cols(), 4u);
    ExpectIdentity(pseudo * tall, 1e-9);
    ExpectIdentity(InvertWithHint(tall, Transpose(tall)) * tall, 1e-9);
}

TEST(DngMatrix, RoundingAndVectors) {
    dng_matrix m(1, 4);
    m[0][0] = 0.5;
    m[0][1] = -0.5;
    m[0][2] = 2.4;
    m[0][3] = 0.0;
    m.Round(1);
    EXPECT_EQ(m[0][0], 1.0);
    EXPECT_EQ(m[0][1], -1.0);
    EXPECT_EQ(m[0][2], 2.0);
    EXPECT_EQ(m[0][3], 0.0);

    dng_matrix huge(1, 2);
    huge[0][0] = 1e300;
    huge[0][1] = std::nan("");
    huge.Round(10000); // saturates instead of overflowing the integer conversion
    EXPECT_EQ(huge[0][0], 2147483647 / 10000.0);
    EXPECT_EQ(huge[0][1], 0.0);

    const dng_vector_3 v(1, -2, 3);
    EXPECT_EQ(v.MaxEntry(), 3.0);
    EXPECT_EQ(v.MinEntry(), -2.0);
    EXPECT_EQ(dng_vector().MaxEntry(), 0.0);
    const dng_matrix d = v.AsDiagonal();
    EXPECT_EQ(d * dng_vector_3(1, 1, 1), v);
    EXPECT_EQ(v.AsColumn().Cols(), 1u);
    dng_matrix id;
    id.SetIdentity(3);
    EXPECT_EQ(MatrixScale(2.0, id) + id, MatrixScale(3.0, id));
    dng_matrix withNaN(1, 1);
    withNaN[0][0] = std::nan("");
    EXPECT_FALSE(withNaN == withNaN) << "a NaN entry is never equal";
}
