#include "dng/dng_matrix.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_rational.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {
constexpr double kSingularLimit = 1.0e-10;

void CheckShape(uint32_t rows, uint32_t cols) {
    if (rows < 1 || rows > dng_matrix::kMaxColorPlanes || cols < 1 || cols > dng_matrix::kMaxColorPlanes)
        ThrowProgramError();
}

void CheckCount(uint32_t count) {
    if (count < 1 || count > dng_matrix::kMaxColorPlanes) ThrowProgramError();
}

double RoundEntry(double e, double factor) {
    const double scaled = e * factor;
    return (1.0 / factor) * dng_clamped_int32(scaled > 0.0 ? scaled + 0.5 : scaled - 0.5);
}
} // namespace

dng_matrix::dng_matrix(uint32_t rows, uint32_t cols) {
    CheckShape(rows, cols);
    fRows = rows;
    fCols = cols;
}

void dng_matrix::Clear() {
    fRows = 0;
    fCols = 0;
}

void dng_matrix::SetIdentity(uint32_t count) {
    *this = dng_matrix(count, count);
    for (uint32_t i = 0; i < count; ++i)
        fData[i][i] = 1.0;
}

bool dng_matrix::operator==(const dng_matrix& other) const {
    if (fRows != other.fRows || fCols != other.fCols) return false;
    for (uint32_t i = 0; i < fRows; ++i)
        for (uint32_t j = 0; j < fCols; ++j)
            if (!(fData[i][j] == other.fData[i][j])) return false;
    return true;
}

void dng_matrix::Scale(double factor) {
    for (uint32_t i = 0; i < fRows; ++i)
        for (uint32_t j = 0; j < fCols; ++j)
            fData[i][j] *= factor;
}

void dng_matrix::Round(double factor) {
    for (uint32_t i = 0; i < fRows; ++i)
        for (uint32_t j = 0; j < fCols; ++j)
            fData[i][j] = RoundEntry(fData[i][j], factor);
}

dng_matrix_3by3::dng_matrix_3by3(double a00, double a01, double a02, double a10, double a11, double a12,
                                 double a20, double a21, double a22)
    : dng_matrix(3, 3) {
    const double values[3][3] = {{a00, a01, a02}, {a10, a11, a12}, {a20, a21, a22}};
    for (uint32_t i = 0; i < 3; ++i)
        for (uint32_t j = 0; j < 3; ++j)
            fData[i][j] = values[i][j];
}

dng_matrix_3by3::dng_matrix_3by3(const dng_matrix& m) : dng_matrix(m) {
    if (m.Rows() != 3 || m.Cols() != 3) ThrowMatrixMath();
}

dng_vector::dng_vector(uint32_t count) {
    CheckCount(count);
    fCount = count;
}

void dng_vector::SetIdentity(uint32_t count) {
    *this = dng_vector(count);
    for (uint32_t i = 0; i < count; ++i)
        fData[i] = 1.0;
}

bool dng_vector::operator==(const dng_vector& other) const {
    if (fCount != other.fCount) return false;
    for (uint32_t i = 0; i < fCount; ++i)
        if (!(fData[i] == other.fData[i])) return false;
    return true;
}

double dng_vector::MaxEntry() const {
    if (fCount == 0) return 0.0;
    return *std::max_element(fData, fData + fCount);
}

double dng_vector::MinEntry() const {
    if (fCount == 0) return 0.0;
    return *std::min_element(fData, fData + fCount);
}

void dng_vector::Scale(double factor) {
    for (uint32_t i = 0; i < fCount; ++i)
        fData[i] *= factor;
}

void dng_vector::Round(double factor) {
    for (uint32_t i = 0; i < fCount; ++i)
        fData[i] = RoundEntry(fData[i], factor);
}

dng_matrix dng_vector::AsDiagonal() const {
    dng_matrix m(fCount, fCount);
    for (uint32_t i = 0; i < fCount; ++i)
        m[i][i] = fData[i];
    return m;
}

dng_matrix dng_vector::AsColumn() const {
    dng_matrix m(fCount, 1);
    for (uint32_t i = 0; i < fCount; ++i)
        m[i][0] = fData[i];
    return m;
}

dng_vector_3::dng_vector_3(double a0, double a1, double a2) : dng_vector(3) {
    fData[0] = a0;
    fData[1] = a1;
    fData[2] = a2;
}

dng_vector_3::dng_vector_3(const dng_vector& v) : dng_vector(v) {
    if (v.Count() != 3) ThrowMatrixMath();
}

dng_matrix MatrixMultiply(const dng_matrix& a, const dng_matrix& b) {
    if (a.Cols() != b.Rows()) ThrowMatrixMath();
    dng_matrix result(a.Rows(), b.Cols());
    for (uint32_t i = 0; i < a.Rows(); ++i)
        for (uint32_t j = 0; j < b.Cols(); ++j) {
            double sum = 0.0;
            for (uint32_t k = 0; k < a.Cols(); ++k)
                sum += a[i][k] * b[k][j];
            result[i][j] = sum;
        }
    return result;
}

dng_vector MatrixVectorMultiply(const dng_matrix& a, const dng_vector& v) {
    if (a.Cols() != v.Count()) ThrowMatrixMath();
    dng_vector result(a.Rows());
    for (uint32_t i = 0; i < a.Rows(); ++i) {
        double sum = 0.0;
        for (uint32_t k = 0; k < a.Cols(); ++k)
            sum += a[i][k] * v[k];
        result[i] = sum;
    }
    return result;
}

dng_matrix MatrixScale(double scale, const dng_matrix& a) {
    dng_matrix result(a);
    result.Scale(scale);
    return result;
}

dng_matrix MatrixAdd(const dng_matrix& a, const dng_matrix& b) {
    if (a.Rows() != b.Rows() || a.Cols() != b.Cols()) ThrowMatrixMath();
    dng_matrix result(a);
    for (uint32_t i = 0; i < a.Rows(); ++i)
        for (uint32_t j = 0; j < a.Cols(); ++j)
            result[i][j] += b[i][j];
    return result;
}

dng_matrix Transpose(const dng_matrix& a) {
    dng_matrix result(a.Cols(), a.Rows());
    for (uint32_t i = 0; i < a.Rows(); ++i)
        for (uint32_t j = 0; j < a.Cols(); ++j)
            result[j][i] = a[i][j];
    return result;
}

namespace {
dng_matrix Invert3by3(const dng_matrix& a) {
    const double c00 = a[1][1] * a[2][2] - a[1][2] * a[2][1];
    const double c01 = a[1][2] * a[2][0] - a[1][0] * a[2][2];
    const double c02 = a[1][0] * a[2][1] - a[1][1] * a[2][0];
    const double det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
    if (std::fabs(det) < kSingularLimit) ThrowMatrixMath();

    dng_matrix adjugate(3, 3);
    adjugate[0][0] = c00;
    adjugate[1][0] = c01;
    adjugate[2][0] = c02;
    adjugate[0][1] = a[0][2] * a[2][1] - a[0][1] * a[2][2];
    adjugate[1][1] = a[0][0] * a[2][2] - a[0][2] * a[2][0];
    adjugate[2][1] = a[0][1] * a[2][0] - a[0][0] * a[2][1];
    adjugate[0][2] = a[0][1] * a[1][2] - a[0][2] * a[1][1];
    adjugate[1][2] = a[0][2] * a[1][0] - a[0][0] * a[1][2];
    adjugate[2][2] = a[0][0] * a[1][1] - a[0][1] * a[1][0];
    for (uint32_t i = 0; i < 3; ++i)
        for (uint32_t j = 0; j < 3; ++j)
            adjugate[i][j] /= det;
    return adjugate;
}

dng_matrix InvertGaussJordan(const dng_matrix& a) {
    const uint32_t n = a.Rows();
    double work[dng_matrix::kMaxColorPlanes][2 * dng_matrix::kMaxColorPlanes] = {};
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t j = 0; j < n; ++j)
            work[i][j] = a[i][j];
        work[i][n + i] = 1.0;
    }
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t pivot = i;
        for (uint32_t k = i + 1; k < n; ++k)
            if (std::fabs(work[k][i]) > std::fabs(work[pivot][i])) pivot = k;
        if (std::fabs(work[pivot][i]) < kSingularLimit) ThrowMatrixMath();
        if (pivot != i) std::swap(work[pivot], work[i]);

        const double divisor = work[i][i];
        for (uint32_t j = 0; j < 2 * n; ++j)
            work[i][j] /= divisor;
        for (uint32_t k = 0; k < n; ++k) {
            if (k == i) continue;
            const double factor = work[k][i];
            for (uint32_t j = 0; j < 2 * n; ++j)
                work[k][j] -= factor * work[i][j];
        }
    }
    dng_matrix result(n, n);
    for (uint32_t i = 0; i < n; ++i)
        for (uint32_t j = 0; j < n; ++j)
            result[i][j] = work[i][n + j];
    return result;
}
} // namespace

dng_matrix Invert(const dng_matrix& a) {
    if (a.Rows() < 2 || a.Cols() < 2) ThrowMatrixMath();
    if (a.Rows() != a.Cols()) {
        const dng_matrix t = Transpose(a);
        return MatrixMultiply(Invert(MatrixMultiply(t, a)), t);
    }
    if (a.Rows() == 3) return Invert3by3(a);
    return InvertGaussJordan(a);
}

dng_matrix InvertWithHint(const dng_matrix& a, const dng_matrix& hint) {
    if (a.Rows() != a.Cols() && hint.Rows() == a.Cols() && hint.Cols() == a.Rows())
        return MatrixMultiply(Invert(MatrixMultiply(hint, a)), hint);
    return Invert(a);
}
