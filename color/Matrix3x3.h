#pragma once
// 3x3 single-precision matrices in row order and the few operations the colour maths needs.
#include <array>

using Matrix3x3 = std::array<std::array<float, 3>, 3>;
using Vector3 = std::array<float, 3>;

// Adjugate over determinant. When |determinant| < 1e-10, `out` becomes a copy of `m` and
// the answer is false.
bool invert3x3(const Matrix3x3& m, Matrix3x3& out);
// a x b, row by column.
Matrix3x3 multiply3x3(const Matrix3x3& a, const Matrix3x3& b);
// Row i of the result is m[i][0] v0 + m[i][1] v1 + m[i][2] v2.
Vector3 apply3x3(const Matrix3x3& m, const Vector3& v);
