#include "color/Matrix3x3.h"

#include <cmath>

bool invert3x3(const Matrix3x3& m, Matrix3x3& out) {
    // Double precision keeps the cofactors of near-singular matrices meaningful.
    auto at = [&](int r, int c) { return double(m[r][c]); };
    double cof[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[r][c] = at(r1, c1) * at(r2, c2) - at(r1, c2) * at(r2, c1);
        }
    }
    double det = at(0, 0) * cof[0][0] + at(0, 1) * cof[0][1] + at(0, 2) * cof[0][2];
    if (!(std::fabs(det) >= 1e-10)) {
        out = m;
        return false;
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = float(cof[c][r] / det);
    return true;
}

Matrix3x3 multiply3x3(const Matrix3x3& a, const Matrix3x3& b) {
    Matrix3x3 out{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c];
    return out;
}

Vector3 apply3x3(const Matrix3x3& m, const Vector3& v) {
    return {m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2],
            m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
            m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]};
}
