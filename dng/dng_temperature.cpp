#include "dng/dng_temperature.h"

#include <algorithm>
#include <cmath>

#include "dng/dng_isotemperature_table.h"

namespace {
const auto& kLines = kIsotemperatureTable;

constexpr double kTintScale = -3000.0;
} // namespace

void dng_temperature::SetFromXY(const dng_xy_coord& xy) {
    const double denominator = 1.5 - xy.x + 6.0 * xy.y;
    const double u = 2.0 * xy.x / denominator;
    const double v = 3.0 * xy.y / denominator;

    double lastDt = 0.0, lastDu = 0.0, lastDv = 0.0;
    for (int j = 1; j <= 30; ++j) {
        const double length = std::sqrt(1.0 + kLines[j].t * kLines[j].t);
        const double du = 1.0 / length;
        const double dv = kLines[j].t / length;
        double dt = (v - kLines[j].v) * du - (u - kLines[j].u) * dv;
        if (dt > 0.0 && j < 30) {
            lastDt = dt;
            lastDu = du;
            lastDv = dv;
            continue;
        }
        // Between line j - 1 and line j; beyond the last line the last two are extrapolated.
        dt = std::min(dt, 0.0);
        const double f = j == 1 ? 0.0 : -dt / (lastDt - dt);
        fTemperature = 1.0e6 / (kLines[j - 1].mired * f + kLines[j].mired * (1.0 - f));

        const double uu = u - (kLines[j - 1].u * f + kLines[j].u * (1.0 - f));
        const double vv = v - (kLines[j - 1].v * f + kLines[j].v * (1.0 - f));
        double tu = du * (1.0 - f) + lastDu * f;
        double tv = dv * (1.0 - f) + lastDv * f;
        const double norm = std::sqrt(tu * tu + tv * tv);
        tu /= norm;
        tv /= norm;
        fTint = (uu * tu + vv * tv) * kTintScale;
        return;
    }
}
