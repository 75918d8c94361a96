// The Canon 600's own correction: per-site gains, a white balance found from grey spots
// of the picture, and a colour matrix chosen by that balance.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "raw/core/PhotositeAccess.h"
#include "raw/loaders/Canon600.h"
#include "raw/loaders/Loaders.h"

namespace raw {

namespace {

// The correction runs before the visible area leaves raw_buffer: a photosite (r, c) of
// the visible area lies there past the margins.
uint16_t* visible_site(DecoderState& s, int64_t row, int64_t col) {
    const int64_t y = row + s.margin_top, x = col + s.margin_left;
    if (!s.raw_buffer || row < 0 || col < 0 || y >= s.sensor_height || x >= s.sensor_width) return nullptr;
    return s.raw_buffer + y * s.sensor_width + x;
}

bool flash_used(const DecoderState& s) { return s.canon_flash_flag != 0; }

constexpr int kFixedBalances[4][5] = {{667, 358, 397, 565, 452},
                                      {731, 390, 367, 499, 517},
                                      {1119, 396, 348, 448, 537},
                                      {1399, 485, 431, 508, 688}};

constexpr int kMatrices[6][12] = {{-190, 702, -1878, 2390, 1861, -1349, 905, -393, -432, 944, 2617, -2105},
                                  {-1203, 1715, -1136, 1648, 1388, -876, 267, 245, -1641, 2153, 3921, -3409},
                                  {-615, 1127, -1563, 2075, 1437, -925, 509, 3, -756, 1268, 2519, -2007},
                                  {-190, 702, -1886, 2398, 2153, -1641, 763, -251, -452, 964, 3040, -2528},
                                  {-190, 702, -1878, 2390, 1861, -1349, 905, -393, -432, 944, 2617, -2105},
                                  {-807, 1319, -1785, 2297, 1388, -876, 769, -257, -230, 742, 2067, -1555}};

// The spot's two stacked 2 x 2 cells by colour, or false when it does not look grey.
bool read_spot(DecoderState& s, int row, int col, int32_t test[8]) {
    for (int i = 0; i < 8; ++i) {
        const int r = row + (i >> 1), c = col + (i & 1);
        const uint16_t* site = visible_site(s, r, c);
        if (!site) return false;
        test[(i & 4) + photosite_colour(s, r, c)] = *site;
    }
    for (int i = 0; i < 8; ++i)
        if (test[i] < 150 || test[i] > 1500) return false;
    for (int i = 0; i < 4; ++i)
        if (std::abs(test[i] - test[i + 4]) > 50) return false;
    return true;
}

// The spot's class (0 or 1; 2 when it is left out), its class-1 cells pulled onto the
// grey line.
int classify_spot(const DecoderState& s, int32_t test[8], int32_t margin) {
    int32_t ratio[2][2];
    int cls[2];
    for (int k = 0; k < 2; ++k) {
        ratio[k][0] = ((test[4 * k + 1] - test[4 * k]) * 1024) / test[4 * k];
        ratio[k][1] = ((test[4 * k + 3] - test[4 * k + 2]) * 1024) / test[4 * k + 2];
        cls[k] = canon600_colour_class(s, ratio[k][0], ratio[k][1], margin);
    }
    if ((cls[0] | cls[1]) > 1) return 2;
    for (int k = 0; k < 2; ++k)
        if (cls[k] == 1) {
            test[4 * k + 1] = test[4 * k] * (1024 + ratio[k][0]) >> 10;
            test[4 * k + 3] = test[4 * k + 2] * (1024 + ratio[k][1]) >> 10;
        }
    return cls[0] | cls[1];
}

int32_t auto_balance_margin(const DecoderState& s) {
    if (flash_used(s)) return 80;
    const long e = std::lround(s.canon_exposure_value);
    return e < 10 ? 150 : e > 12 ? 20 : int32_t(280 - 20 * e);
}

} // namespace

void canon600_fixed_white_balance(DecoderState& s, int key) {
    int lo = 0, hi = 3;
    for (int i = 0; i < 4; ++i)
        if (kFixedBalances[i][0] <= key) lo = i;
    for (int i = 3; i >= 0; --i)
        if (kFixedBalances[i][0] >= key) hi = i;
    const float f =
        lo == hi ? 0.0f
                 : float(key - kFixedBalances[lo][0]) / float(kFixedBalances[hi][0] - kFixedBalances[lo][0]);
    for (int c = 0; c < 4; ++c)
        s.daylight_multipliers[c] =
            1.0f / ((1 - f) * kFixedBalances[lo][c + 1] + f * kFixedBalances[hi][c + 1]);
}

int canon600_colour_class(const DecoderState& s, int32_t& r0, int32_t& r1, int32_t margin) {
    const bool flash = flash_used(s);
    if (!flash && (r1 < -264 || r1 > 461)) return 2;
    const int32_t lo = flash ? -104 : -50, hi = flash ? 12 : 307;
    const bool clipped = r1 < lo || r1 > hi;
    r1 = std::clamp(r1, lo, hi);
    const int32_t target = flash || r1 < 197 ? -38 - (398 * r1 >> 10) : -123 + (48 * r1 >> 10);
    if (!clipped && target - margin <= r0 && r0 <= target + 20) return 0;
    int32_t miss = target - r0;
    if (std::abs(miss) >= 4 * margin) return 2;
    miss = std::clamp(miss, -20, std::max(margin, -20));
    r0 = target - miss;
    return 1;
}

void canon600_auto_white_balance(DecoderState& s) {
    const int32_t margin = auto_balance_margin(s);
    int64_t total[2][8] = {};
    int64_t count[2] = {};
    for (int row = 14; row < int(s.visible_height) - 14; row += 4)
        for (int col = 10; col < s.visible_width; col += 2) {
            int32_t test[8];
            if (!read_spot(s, row, col, test)) continue;
            const int st = classify_spot(s, test, margin);
            if (st > 1) continue;
            for (int i = 0; i < 8; ++i)
                total[st][i] += test[i];
            count[st]++;
        }
    if (count[0] + count[1] == 0) return;
    const int st = count[0] * 200 < count[1] ? 1 : 0;
    for (int c = 0; c < 4; ++c) {
        const int64_t sum = total[st][c] + total[st][c + 4];
        if (sum > 0) s.daylight_multipliers[c] = 1.0f / float(sum);
    }
}

void canon600_colour_coefficients(DecoderState& s) {
    const float* m = s.daylight_multipliers;
    const float mc = m[2] > 0 ? m[1] / m[2] : 0, yc = m[2] > 0 ? m[3] / m[2] : 0;
    int t = 0;
    if (flash_used(s))
        t = 5;
    else if (mc > 1 && mc <= 1.28f && yc < 0.8789f)
        t = 1;
    else if (mc > 1.28f && mc <= 2 && yc < 0.8789f)
        t = 3;
    else if (mc > 1.28f && mc <= 2 && yc >= 0.8789f && yc <= 2)
        t = 4;
    const int colours = std::clamp(s.colour_count, 0, 4);
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < colours; ++c)
            s.rgb_from_camera[i][c] = float(kMatrices[t][4 * i + c]) / 1024;
    s.camera_colour_output = 0;
}

void canon600_sensor_correct(DecoderState& s) {
    static constexpr int32_t kGain[4][2] = {{1141, 1145}, {1128, 1109}, {1178, 1149}, {1128, 1109}};
    const int32_t black = int32_t(std::min<uint32_t>(s.black_level, 65535));
    for (int row = 0; row < s.visible_height; ++row)
        for (int col = 0; col < s.visible_width; ++col)
            if (uint16_t* site = visible_site(s, row, col)) {
                const int32_t v = std::max(0, int32_t(*site) - black) * kGain[row & 3][col & 1] >> 9;
                *site = uint16_t(std::min(v, 65535));
            }
    canon600_fixed_white_balance(s, 1311);
    canon600_auto_white_balance(s);
    canon600_colour_coefficients(s);
    s.white_level = uint32_t(std::max(0, 1023 - black) * 1109 >> 9);
    s.black_level = 0;
}

} // namespace raw
