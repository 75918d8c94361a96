#include "dng/dng_temperature.h"

#include <algorithm>
#include <cmath>

namespace {
struct IsotemperatureLine {
    double r; // reciprocal megakelvin
    double u, v, t;
};

// Robertson (1968), "Computation of correlated color temperature and distribution temperature",
// JOSA 58, as tabulated in Wyszecki & Stiles, Color Science (2nd ed.), table 1(3.11).
constexpr IsotemperatureLine kLines[31] = {
    {0, 0.18006, 0.26352, -0.24341},   {10, 0.18066, 0.26589, -0.25479},  {20, 0.18133, 0.26846, -0.26876},
    {30, 0.18208, 0.27119, -0.28539},  {40, 0.18293, 0.27407, -0.30470},  {50, 0.18388, 0.27709, -0.32675},
    {60, 0.18494, 0.28021, -0.35156},  {70, 0.18611, 0.28342, -0.37915},  {80, 0.18740, 0.28668, -0.40955},
    {90, 0.18880, 0.28997, -0.44278},  {100, 0.19032, 0.29326, -0.47888}, {125, 0.19462, 0.30141, -0.58204},
    {150, 0.19962, 0.30921, -0.70471}, {175, 0.20525, 0.31647, -0.84901}, {200, 0.21142, 0.32312, -1.0182},
    {225, 0.21807, 0.32909, -1.2168},  {250, 0.22511, 0.33439, -1.4512},  {275, 0.23247, 0.33904, -1.7298},
    {300, 0.24010, 0.34308, -2.0637},  {325, 0.24792, 0.34655, -2.4681},  {350, 0.25591, 0.34951, -2.9641},
    {375, 0.26400, 0.35200, -3.5814},  {400, 0.27218, 0.35407, -4.3633},  {425, 0.28039, 0.35577, -5.3762},
    {450, 0.28863, 0.35714, -6.7262},  {475, 0.29685, 0.35823, -8.5955},  {500, 0.30505, 0.35907, -11.324},
    {525, 0.31320, 0.35968, -15.628},  {550, 0.32129, 0.36011, -23.325},  {575, 0.32931, 0.36038, -40.770},
    {600, 0.33724, 0.36051, -116.45},
};

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
        fTemperature = 1.0e6 / (kLines[j - 1].r * f + kLines[j].r * (1.0 - f));

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
