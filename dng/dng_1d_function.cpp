#include "dng/dng_1d_function.h"

#include <algorithm>
#include <cmath>

double dng_1d_function::EvaluateInverse(double y) const {
    double x0 = 0.0, y0 = Evaluate(x0);
    double x1 = 1.0, y1 = Evaluate(x1);
    for (int i = 0; i < 30; ++i) {
        if (std::fabs(y1 - y0) < 1.0e-10) break;
        const double x2 = std::clamp(x1 + (x1 - x0) * (y - y1) / (y1 - y0), 0.0, 1.0);
        const double y2 = Evaluate(x2);
        x0 = x1;
        y0 = y1;
        x1 = x2;
        y1 = y2;
    }
    return x1;
}

const dng_1d_function& dng_1d_identity::Get() {
    static const dng_1d_identity identity;
    return identity;
}

double dng_1d_concatenate::Evaluate(double x) const {
    return fSecond.Evaluate(std::clamp(fFirst.Evaluate(x), 0.0, 1.0));
}

double dng_1d_concatenate::EvaluateInverse(double y) const {
    return fFirst.EvaluateInverse(fSecond.EvaluateInverse(y));
}
