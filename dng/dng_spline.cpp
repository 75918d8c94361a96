#include "dng/dng_spline.h"

#include "dng/dng_exceptions.h"

void dng_spline_solver::Reset() {
    fX.clear();
    fY.clear();
    fS.clear();
}

void dng_spline_solver::Add(double x, double y) {
    dng_guard_allocation([&] {
        fX.push_back(x);
        fY.push_back(y);
    });
}

void dng_spline_solver::Solve() {
    if (fX.size() <= 1) ThrowProgramError("Too few points");
    dng_guard_allocation([this] { SolveSlopes(); });
}

void dng_spline_solver::SolveSlopes() {
    const std::size_t n = fX.size();
    fS.assign(n, 0.0);

    // Initial slopes: weighted secants inside, extrapolated at the ends.
    double secant = (fY[1] - fY[0]) / (fX[1] - fX[0]);
    fS[0] = secant;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double a = fX[i] - fX[i - 1];
        const double b = fX[i + 1] - fX[i];
        const double p = secant;
        secant = (fY[i + 1] - fY[i]) / b;
        fS[i] = (p * b + a * secant) / (a + b);
    }
    fS[n - 1] = 2.0 * secant - fS[n - 2];
    fS[0] = 2.0 * fS[0] - fS[1];
    if (n == 2) return;

    // Refine so the second derivative is continuous: a tridiagonal system with unit diagonal.
    std::vector<double> lower(n, 0.0), upper(n, 0.0), right(n, 0.0);
    upper[0] = 0.5;
    right[0] = 0.75 * (fS[0] + fS[1]);
    lower[n - 1] = 0.5;
    right[n - 1] = 0.75 * (fS[n - 2] + fS[n - 1]);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double span = 2.0 * (fX[i + 1] - fX[i - 1]);
        lower[i] = (fX[i + 1] - fX[i]) / span;
        upper[i] = (fX[i] - fX[i - 1]) / span;
        right[i] = 1.5 * fS[i];
    }
    std::vector<double> diagonal(n, 1.0);
    for (std::size_t i = 1; i < n; ++i) {
        const double factor = lower[i] / diagonal[i - 1];
        diagonal[i] -= factor * upper[i - 1];
        right[i] -= factor * right[i - 1];
    }
    fS[n - 1] = right[n - 1] / diagonal[n - 1];
    for (std::size_t i = n - 1; i-- > 0;)
        fS[i] = (right[i] - upper[i] * fS[i + 1]) / diagonal[i];
}

bool dng_spline_solver::IsIdentity() const {
    return fX.size() == 2 && fX[0] == 0.0 && fY[0] == 0.0 && fX[1] == 1.0 && fY[1] == 1.0;
}

double dng_spline_solver::Evaluate(double x) const {
    const std::size_t n = fX.size();
    if (x <= fX[0]) return fY[0];
    if (x >= fX[n - 1]) return fY[n - 1];

    std::size_t lower = 1, upper = n - 1;
    while (upper > lower) {
        const std::size_t middle = (lower + upper) / 2;
        if (x == fX[middle]) return fY[middle];
        if (x > fX[middle])
            lower = middle + 1;
        else
            upper = middle;
    }
    const std::size_t j = lower;
    const double d = fX[j] - fX[j - 1];
    const double t = (x - fX[j - 1]) / d;
    const double u = 1.0 - t;
    return fY[j - 1] * u * u * (1.0 + 2.0 * t) + fY[j] * t * t * (1.0 + 2.0 * u) + d * fS[j - 1] * t * u * u -
           d * fS[j] * t * t * u;
}
