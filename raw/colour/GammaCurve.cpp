#include <algorithm>
#include <cmath>

#include "raw/colour/CameraColour.h"

namespace raw {
namespace {

struct gamma_shape {
    float power, toe_slope, toe_end_linear, toe_end_encoded, offset, area_ratio;
};

// Bisects for the break point where the linear toe meets the power (or, for power 0,
// logarithmic) segment with the same value and slope.
void solve_toe(gamma_shape& g) {
    const float p = g.power, t = g.toe_slope;
    float bounds[2] = {0, 0};
    bounds[t >= 1 ? 1 : 0] = 1;
    if (t != 0 && (t - 1) * (p - 1) <= 0) {
        for (int step = 0; step < 48; ++step) {
            const float x = (bounds[0] + bounds[1]) / 2;
            const bool above =
                p != 0 ? (std::pow(x / t, -p) - 1) / p - 1 / x > -1 : x / std::exp(1 - 1 / x) < t;
            bounds[above ? 1 : 0] = x;
            g.toe_end_linear = x;
        }
        g.toe_end_encoded = g.toe_end_linear / t;
        if (p != 0) g.offset = g.toe_end_linear * (1 / p - 1);
    }
}

// Ratio of the curve's area to that of the identity, less one.
void solve_area(gamma_shape& g) {
    const float p = g.power, t = g.toe_slope, g2 = g.toe_end_linear, g3 = g.toe_end_encoded, g4 = g.offset;
    if (p != 0)
        g.area_ratio =
            1 / (t * g3 * g3 / 2 - g4 * (1 - g3) + (1 - std::pow(g3, 1 + p)) * (1 + g4) / (1 + p)) - 1;
    else
        g.area_ratio = 1 / (t * g3 * g3 / 2 + 1 - g2 - g3 - g2 * g3 * (std::log(g3) - 1)) - 1;
}

float decoding(const gamma_shape& g, float r) {
    if (r < g.toe_end_linear) return r / g.toe_slope;
    if (g.power != 0) return std::pow((r + g.offset) / (1 + g.offset), 1 / g.power);
    return std::exp((r - 1) / g.toe_end_linear);
}

float encoding(const gamma_shape& g, float r) {
    if (r < g.toe_end_encoded) return r * g.toe_slope;
    if (g.power != 0) return std::pow(r, g.power) * (1 + g.offset) - g.offset;
    return std::log(r) * g.toe_end_linear + 1;
}

// Odd parameters (a zero white, a toe slope of 0) must not wrap or convert NaN.
uint16_t table_value(float v) {
    if (!(v > 0)) return 0;
    return uint16_t(std::min(v, 65535.0f));
}

} // namespace

void build_gamma_curve(DecoderState& s, float power, float toe_slope, int mode, float white) {
    gamma_shape g{power, toe_slope, 0, 0, 0, 0};
    solve_toe(g);
    solve_area(g);
    if (mode == 0) {
        const float params[6] = {g.power,           g.toe_slope, g.toe_end_linear,
                                 g.toe_end_encoded, g.offset,    g.area_ratio};
        std::copy(params, params + 6, s.gamma_params);
        return;
    }
    if (mode != 1 && mode != 2) return;
    for (int i = 0; i < 65536; ++i) {
        const float r = float(i) / white;
        if (r >= 1)
            s.tone_table[i] = 65535;
        else
            s.tone_table[i] = table_value(65536 * (mode == 1 ? decoding(g, r) : encoding(g, r)));
    }
}

} // namespace raw
