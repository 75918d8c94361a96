#include "raw/core/SplineCurve.h"

#include <vector>

namespace raw {
namespace {

bool strictly_rising(const int32_t* x, int n) {
    for (int i = 1; i < n; ++i)
        if (x[i] <= x[i - 1]) return false;
    return true;
}

// Second derivatives of the natural spline: c[0] = c[n-1] = 0, the inner ones from the
// tridiagonal system, eliminated forwards and substituted backwards.
std::vector<float> second_derivatives(const std::vector<float>& xs, const std::vector<float>& ys) {
    const int n = int(xs.size());
    std::vector<float> d(n - 1), b(n, 0.0f), c(n, 0.0f);
    for (int i = n - 1; i >= 1; --i) {
        b[i] = (ys[i] - ys[i - 1]) / (xs[i] - xs[i - 1]);
        d[i - 1] = xs[i] - xs[i - 1];
    }
    if (n < 3) return c;
    std::vector<float> diag(n), rhs(n);
    for (int i = 1; i <= n - 2; ++i) {
        diag[i] = 2 * (d[i - 1] + d[i]);
        rhs[i] = 6 * (b[i + 1] - b[i]);
    }
    for (int i = 1; i <= n - 3; ++i) {
        float factor = d[i] / diag[i];
        diag[i + 1] -= factor * d[i];
        rhs[i + 1] -= factor * rhs[i];
    }
    for (int i = n - 2; i >= 1; --i) {
        float upper = i < n - 2 ? d[i] * c[i + 1] : 0.0f;
        c[i] = (rhs[i] - upper) / diag[i];
    }
    return c;
}

uint16_t to_table_value(float v) {
    if (v < 0) return 0;
    if (v >= 1) return 65535;
    return uint16_t(v * 65535 + 0.5f);
}

} // namespace

void build_spline_curve(DecoderState& s, const int32_t* x, const int32_t* y, int n) {
    if (n < 2 || !strictly_rising(x, n)) return;
    std::vector<float> xs(n), ys(n);
    for (int i = 0; i < n; ++i) {
        xs[i] = float(x[i]) / 65535;
        ys[i] = float(y[i]) / 65535;
    }
    const std::vector<float> c = second_derivatives(xs, ys);
    int j = 0; // the last segment that starts at or before t wins at a shared knot
    for (int k = 0; k <= 65535; ++k) {
        float t = float(k) / 65535;
        while (j + 2 < n && xs[j + 1] <= t)
            ++j;
        float v = 0;
        if (xs[j] <= t && t <= xs[j + 1]) {
            float dj = xs[j + 1] - xs[j], u = t - xs[j];
            v = ys[j] + ((ys[j + 1] - ys[j]) / dj - (2 * dj * c[j] + c[j + 1] * dj) / 6) * u +
                (c[j] / 2) * u * u + ((c[j + 1] - c[j]) / (6 * dj)) * u * u * u;
        }
        s.tone_table[k] = to_table_value(v);
    }
}

} // namespace raw
