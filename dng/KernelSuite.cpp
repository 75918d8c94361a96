#include "dng/KernelSuite.h"

#include "dng/dng_1d_table.h"
#include "dng/dng_matrix.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Visits every sample position of an area in two buffers, dimension 0 outermost.
template <typename S, typename D, typename F>
void ForEachPair(S* sPtr, D* dPtr, dng_area_counts n, dng_area_steps s, dng_area_steps d, F f) {
    for (uint32_t r = 0; r < n.rows; ++r, sPtr += s.row, dPtr += d.row) {
        S* sCol = sPtr;
        D* dCol = dPtr;
        for (uint32_t c = 0; c < n.cols; ++c, sCol += s.col, dCol += d.col) {
            S* sPlane = sCol;
            D* dPlane = dCol;
            for (uint32_t p = 0; p < n.planes; ++p, sPlane += s.plane, dPlane += d.plane)
                f(*sPlane, *dPlane);
        }
    }
}

template <typename T, typename F> void ForEachSample(T* ptr, dng_area_counts n, dng_area_steps s, F f) {
    ForEachPair(ptr, ptr, n, s, s, [&f](T&, T& x) { f(x); });
}

// Clamps to [0, 1] (NaN to 0) and rounds against the range.
uint32_t FloatToRange(float x, uint32_t pixelRange) {
    if (!(x > 0.0f)) return 0;
    if (x > 1.0f) x = 1.0f;
    return uint32_t(x * float(pixelRange) + 0.5f);
}

// The table index of a value, NaN going to the first entry.
float ClampUnit(float x) {
    if (!(x > 0.0f)) return 0.0f;
    return x > 1.0f ? 1.0f : x;
}

void ZeroBytes(void* dPtr, uint32_t count) { std::memset(dPtr, 0, count); }
void CopyBytes(const void* sPtr, void* dPtr, uint32_t count) { std::memmove(dPtr, sPtr, count); }
void Swap16(uint16_t* dPtr, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        dPtr[i] = __builtin_bswap16(dPtr[i]);
}
void Swap32(uint32_t* dPtr, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        dPtr[i] = __builtin_bswap32(dPtr[i]);
}

template <typename T> void Fill(T* dPtr, T value, dng_area_counts n, dng_area_steps s) {
    ForEachSample(dPtr, n, s, [value](T& x) { x = value; });
}

template <typename T>
void Copy(const T* sPtr, T* dPtr, dng_area_counts n, dng_area_steps s, dng_area_steps d) {
    ForEachPair(sPtr, dPtr, n, s, d, [](const T& a, T& b) { b = a; });
}

template <typename S, typename D, int32_t kOffset>
void Widen(const S* sPtr, D* dPtr, dng_area_counts n, dng_area_steps s, dng_area_steps d) {
    ForEachPair(sPtr, dPtr, n, s, d, [](const S& a, D& b) { b = D(int32_t(a) + kOffset); });
}

template <typename S, int32_t kOffset>
void ToFloat(const S* sPtr, float* dPtr, dng_area_counts n, dng_area_steps s, dng_area_steps d,
             uint32_t range) {
    const float scale = 1.0f / float(range);
    ForEachPair(sPtr, dPtr, n, s, d,
                [scale](const S& a, float& b) { b = float(int32_t(a) + kOffset) * scale; });
}

template <typename D, uint32_t kFlip>
void FromFloat(const float* sPtr, D* dPtr, dng_area_counts n, dng_area_steps s, dng_area_steps d,
               uint32_t range) {
    ForEachPair(sPtr, dPtr, n, s, d,
                [range](const float& a, D& b) { b = D(FloatToRange(a, range) ^ kFlip); });
}

template <typename T>
void Repeat(const T* sPtr, T* dPtr, dng_area_counts n, dng_area_steps s, dng_point repeat, dng_point phase) {
    if (repeat.v <= 0 || repeat.h <= 0) return;
    phase.v = int32_t((phase.v % repeat.v + repeat.v) % repeat.v);
    phase.h = int32_t((phase.h % repeat.h + repeat.h) % repeat.h);
    for (uint32_t r = 0; r < n.rows; ++r) {
        const int64_t sRow = (int64_t(phase.v) + r) % repeat.v;
        for (uint32_t c = 0; c < n.cols; ++c) {
            const int64_t sCol = (int64_t(phase.h) + c) % repeat.h;
            const T* from = sPtr + sRow * s.row + sCol * s.col;
            T* to = dPtr + int64_t(r) * s.row + int64_t(c) * s.col;
            for (uint32_t p = 0; p < n.planes; ++p)
                to[int64_t(p) * s.plane] = from[int64_t(p) * s.plane];
        }
    }
}

void ShiftRight16(uint16_t* dPtr, dng_area_counts n, dng_area_steps s, uint32_t shift) {
    ForEachSample(dPtr, n, s, [shift](uint16_t& x) { x = uint16_t(x >> shift); });
}

void InterpolateRow16(const uint16_t* sPtr, uint16_t* dPtr, uint32_t count, uint32_t phase, uint32_t phases,
                      const uint32_t* tapCounts, const int32_t* const* offsets,
                      const uint16_t* const* weights, uint32_t shift) {
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t* s = sPtr + (i >> shift);
        uint32_t sum = 128;
        for (uint32_t k = 0; k < tapCounts[phase]; ++k)
            sum += uint32_t(s[offsets[phase][k]]) * weights[phase][k];
        dPtr[i] = uint16_t(std::min<uint32_t>(sum >> 8, 65535));
        if (++phase == phases) phase = 0;
    }
}

void InterpolateRow32(const float* sPtr, float* dPtr, uint32_t count, uint32_t phase, uint32_t phases,
                      const uint32_t* tapCounts, const int32_t* const* offsets, const float* const* weights,
                      uint32_t shift) {
    for (uint32_t i = 0; i < count; ++i) {
        const float* s = sPtr + (i >> shift);
        float sum = 0.0f;
        for (uint32_t k = 0; k < tapCounts[phase]; ++k)
            sum += s[offsets[phase][k]] * weights[phase][k];
        dPtr[i] = sum;
        if (++phase == phases) phase = 0;
    }
}

// Limits to at most 1, then negative results to 0.
float LimitOutput(float x) { return std::max(std::min(x, 1.0f), 0.0f); }

template <uint32_t kChannels>
void CameraToRGB(const float* const* in, float* dR, float* dG, float* dB, uint32_t count,
                 const dng_vector& white, const dng_matrix& m) {
    float* out[3] = {dR, dG, dB};
    for (uint32_t i = 0; i < count; ++i) {
        float camera[kChannels];
        for (uint32_t k = 0; k < kChannels; ++k)
            camera[k] = std::min(in[k][i], float(white[k]));
        for (uint32_t row = 0; row < 3; ++row) {
            float sum = 0.0f;
            for (uint32_t k = 0; k < kChannels; ++k)
                sum += float(m[row][k]) * camera[k];
            out[row][i] = LimitOutput(sum);
        }
    }
}

void CameraToRGB3(const float* a, const float* b, const float* c, float* dR, float* dG, float* dB,
                  uint32_t count, const dng_vector& white, const dng_matrix& m) {
    const float* in[3] = {a, b, c};
    CameraToRGB<3>(in, dR, dG, dB, count, white, m);
}

void CameraToRGB4(const float* a, const float* b, const float* c, const float* d, float* dR, float* dG,
                  float* dB, uint32_t count, const dng_vector& white, const dng_matrix& m) {
    const float* in[4] = {a, b, c, d};
    CameraToRGB<4>(in, dR, dG, dB, count, white, m);
}

float TableLookup(const dng_1d_table& table, float x) { return table.Interpolate(x); }

void Table1D(const float* sPtr, float* dPtr, uint32_t count, const dng_1d_table& table) {
    for (uint32_t i = 0; i < count; ++i)
        dPtr[i] = TableLookup(table, sPtr[i]);
}

struct HSV {
    float h, s, v;
};

HSV RGBToHSV(float r, float g, float b) {
    const float max = std::max({r, g, b});
    const float min = std::min({r, g, b});
    const float range = max - min;
    HSV hsv{0.0f, 0.0f, max};
    if (range > 0.0f) {
        if (r == max) {
            hsv.h = (g - b) / range;
            if (hsv.h < 0.0f) hsv.h += 6.0f;
        } else if (g == max) {
            hsv.h = (b - r) / range + 2.0f;
        } else {
            hsv.h = (r - g) / range + 4.0f;
        }
        hsv.s = range / max;
    }
    return hsv;
}

void HSVToRGB(HSV hsv, float& r, float& g, float& b) {
    if (!(hsv.s > 0.0f)) {
        r = g = b = hsv.v;
        return;
    }
    const float h = (hsv.h >= 0.0f && hsv.h < 6.0f) ? hsv.h : 0.0f;
    const int sector = int(h);
    const float f = h - float(sector);
    const float p = hsv.v * (1.0f - hsv.s);
    const float q = hsv.v * (1.0f - hsv.s * f);
    const float t = hsv.v * (1.0f - hsv.s * (1.0f - f));
    switch (sector) {
    case 0:
        r = hsv.v, g = t, b = p;
        break;
    case 1:
        r = q, g = hsv.v, b = p;
        break;
    case 2:
        r = p, g = hsv.v, b = t;
        break;
    case 3:
        r = p, g = q, b = hsv.v;
        break;
    case 4:
        r = t, g = p, b = hsv.v;
        break;
    default:
        r = hsv.v, g = p, b = q;
        break;
    }
}

struct Modify {
    float hueShift, satScale, valScale;
};

Modify Blend(const Modify& a, const Modify& b, float f) {
    return {a.hueShift + f * (b.hueShift - a.hueShift), a.satScale + f * (b.satScale - a.satScale),
            a.valScale + f * (b.valScale - a.valScale)};
}

// An index and fraction along one map axis; wrap for hue, clamp for saturation and value.
struct Axis {
    uint32_t lo, hi;
    float f;
};

Axis ClampedAxis(float x, uint32_t divisions) {
    if (divisions < 2) return {0, 0, 0.0f};
    x = std::clamp(std::isnan(x) ? 0.0f : x, 0.0f, float(divisions - 1));
    const uint32_t lo = std::min(uint32_t(x), divisions - 2);
    return {lo, lo + 1, x - float(lo)};
}

Axis WrappedAxis(float x, uint32_t divisions) {
    if (divisions < 2) return {0, 0, 0.0f};
    x = std::isnan(x) ? 0.0f : x;
    const uint32_t lo = std::min(uint32_t(std::max(x, 0.0f)), divisions - 1);
    return {lo, lo + 1 == divisions ? 0 : lo + 1, x - float(lo)};
}

Modify LookupModify(const dng_hue_sat_table_view& map, float hue, float sat, float val) {
    const float hueScale = map.hueDivisions < 2 ? 0.0f : float(map.hueDivisions) / 6.0f;
    const Axis h = WrappedAxis(hue * hueScale, map.hueDivisions);
    const Axis s = ClampedAxis(sat * float(map.satDivisions - 1), map.satDivisions);
    const Axis v = ClampedAxis(val * float(map.valDivisions - 1), map.valDivisions);
    const uint32_t hueStep = map.satDivisions;
    const uint32_t valStep = map.hueDivisions * map.satDivisions;
    auto entry = [&](uint32_t hi, uint32_t si, uint32_t vi) {
        const float* e = map.deltas + 3 * (size_t(vi) * valStep + size_t(hi) * hueStep + si);
        return Modify{e[0], e[1], e[2]};
    };
    auto plane = [&](uint32_t vi) {
        return Blend(Blend(entry(h.lo, s.lo, vi), entry(h.lo, s.hi, vi), s.f),
                     Blend(entry(h.hi, s.lo, vi), entry(h.hi, s.hi, vi), s.f), h.f);
    };
    if (map.valDivisions < 2) return plane(0);
    return Blend(plane(v.lo), plane(v.hi), v.f);
}

void HueSatMap(const float* sR, const float* sG, const float* sB, float* dR, float* dG, float* dB,
               uint32_t count, const dng_hue_sat_table_view& map, const dng_1d_table* encode,
               const dng_1d_table* decode) {
    const bool encoded = encode && decode;
    for (uint32_t i = 0; i < count; ++i) {
        HSV hsv = RGBToHSV(sR[i], sG[i], sB[i]);
        if (encoded) hsv.v = TableLookup(*encode, hsv.v);
        const Modify m = LookupModify(map, hsv.h, hsv.s, hsv.v);
        hsv.h += m.hueShift * (6.0f / 360.0f);
        if (hsv.h < 0.0f) hsv.h += 6.0f;
        if (hsv.h >= 6.0f) hsv.h -= 6.0f;
        hsv.s = std::min(hsv.s * m.satScale, 1.0f);
        hsv.v = std::clamp(hsv.v * m.valScale, 0.0f, 1.0f);
        if (encoded) hsv.v = TableLookup(*decode, hsv.v);
        HSVToRGB(hsv, dR[i], dG[i], dB[i]);
    }
}

void RGBToGray(const float* sR, const float* sG, const float* sB, float* dPtr, uint32_t count,
               const dng_matrix& m) {
    const float m0 = float(m[0][0]), m1 = float(m[0][1]), m2 = float(m[0][2]);
    for (uint32_t i = 0; i < count; ++i)
        dPtr[i] = std::clamp(m0 * sR[i] + m1 * sG[i] + m2 * sB[i], 0.0f, 1.0f);
}

void RGBToRGB(const float* sR, const float* sG, const float* sB, float* dR, float* dG, float* dB,
              uint32_t count, const dng_matrix& m) {
    float* out[3] = {dR, dG, dB};
    for (uint32_t i = 0; i < count; ++i)
        for (uint32_t row = 0; row < 3; ++row)
            out[row][i] = std::clamp(
                float(m[row][0]) * sR[i] + float(m[row][1]) * sG[i] + float(m[row][2]) * sB[i], 0.0f, 1.0f);
}

void RGBTone(const float* sR, const float* sG, const float* sB, float* dR, float* dG, float* dB,
             uint32_t count, const dng_1d_table& table) {
    for (uint32_t i = 0; i < count; ++i) {
        float in[3] = {ClampUnit(sR[i]), ClampUnit(sG[i]), ClampUnit(sB[i])};
        float* out[3] = {dR + i, dG + i, dB + i};
        const int maxIndex = in[0] >= in[1] ? (in[0] >= in[2] ? 0 : 2) : (in[1] >= in[2] ? 1 : 2);
        const int minIndex = in[0] < in[1] ? (in[0] < in[2] ? 0 : 2) : (in[1] < in[2] ? 1 : 2);
        const float max = in[maxIndex], min = in[minIndex];
        const float newMax = TableLookup(table, max);
        const float newMin = TableLookup(table, min);
        if (max == min) {
            *out[0] = *out[1] = *out[2] = newMax;
            continue;
        }
        const int midIndex = 3 - maxIndex - minIndex;
        *out[maxIndex] = newMax;
        *out[minIndex] = newMin;
        *out[midIndex] = newMin + (newMax - newMin) * (in[midIndex] - min) / (max - min);
    }
}

uint16_t ClampRange(int64_t x, uint32_t pixelRange) {
    return uint16_t(std::clamp<int64_t>(x, 0, std::min<uint32_t>(pixelRange, 65535)));
}

void ResampleVertical16(const uint16_t* sPtr, uint16_t* dPtr, uint32_t count, int32_t rowStep,
                        const int16_t* weights, uint32_t weightCount, uint32_t pixelRange) {
    for (uint32_t i = 0; i < count; ++i) {
        int64_t sum = 8192;
        for (uint32_t j = 0; j < weightCount; ++j)
            sum += int64_t(weights[j]) * sPtr[i + int64_t(j) * rowStep];
        dPtr[i] = ClampRange(sum >> 14, pixelRange);
    }
}

void ResampleVertical32(const float* sPtr, float* dPtr, uint32_t count, int32_t rowStep, const float* weights,
                        uint32_t weightCount) {
    for (uint32_t i = 0; i < count; ++i) {
        float sum = 0.0f;
        for (uint32_t j = 0; j < weightCount; ++j)
            sum += weights[j] * sPtr[i + int64_t(j) * rowStep];
        dPtr[i] = std::clamp(sum, 0.0f, 1.0f);
    }
}

void ResampleHorizontal16(const uint16_t* sPtr, uint16_t* dPtr, uint32_t count, const int32_t* coords,
                          const int16_t* weights, uint32_t weightCount, uint32_t weightStep,
                          uint32_t pixelRange) {
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t* s = sPtr + (coords[i] >> 7);
        const int16_t* w = weights + (coords[i] & 127) * weightStep;
        int64_t sum = 8192;
        for (uint32_t j = 0; j < weightCount; ++j)
            sum += int64_t(w[j]) * s[j];
        dPtr[i] = ClampRange(sum >> 14, pixelRange);
    }
}

void ResampleHorizontal32(const float* sPtr, float* dPtr, uint32_t count, const int32_t* coords,
                          const float* weights, uint32_t weightCount, uint32_t weightStep) {
    for (uint32_t i = 0; i < count; ++i) {
        const float* s = sPtr + (coords[i] >> 7);
        const float* w = weights + (coords[i] & 127) * weightStep;
        float sum = 0.0f;
        for (uint32_t j = 0; j < weightCount; ++j)
            sum += w[j] * s[j];
        dPtr[i] = std::clamp(sum, 0.0f, 1.0f);
    }
}

bool EqualBytes(const void* sPtr, const void* dPtr, uint32_t count) {
    return std::memcmp(sPtr, dPtr, count) == 0;
}

template <typename T>
bool Compare(const T* sPtr, const T* dPtr, dng_area_counts n, dng_area_steps s, dng_area_steps d) {
    bool equal = true;
    ForEachPair(sPtr, dPtr, n, s, d, [&equal](const T& a, const T& b) { equal = equal && a == b; });
    return equal;
}

void RadialMask16(uint16_t* dPtr, uint32_t rows, uint32_t cols, int32_t rowStep, int64_t hStart,
                  int64_t vStart, int64_t hStep, int64_t vStep, uint32_t tableBits, const uint16_t* table) {
    if (tableBits > 31) return;
    const uint64_t limit = uint64_t(1) << tableBits;
    const uint64_t round = (uint64_t(1) << 31) >> tableBits;
    int64_t vPos = vStart;
    for (uint32_t r = 0; r < rows; ++r, vPos += vStep, dPtr += rowStep) {
        const int64_t dy = (vPos + 32768) >> 16;
        int64_t hPos = hStart;
        for (uint32_t c = 0; c < cols; ++c, hPos += hStep) {
            const int64_t dx = (hPos + 32768) >> 16;
            const uint64_t index = (uint64_t(dx * dx) + uint64_t(dy * dy) + round) >> (32 - tableBits);
            dPtr[c] = table[std::min(index, limit)];
        }
    }
}

void ApplyMask16(int16_t* dPtr, const uint16_t* mPtr, uint32_t rows, uint32_t cols, uint32_t planes,
                 int32_t rowStep, int32_t planeStep, int32_t maskRowStep, uint32_t maskBits) {
    if (maskBits > 31) return;
    const uint64_t round = maskBits ? uint64_t(1) << (maskBits - 1) : 0;
    for (uint32_t p = 0; p < planes; ++p)
        for (uint32_t r = 0; r < rows; ++r) {
            int16_t* row = dPtr + int64_t(p) * planeStep + int64_t(r) * rowStep;
            const uint16_t* mask = mPtr + int64_t(r) * maskRowStep;
            for (uint32_t c = 0; c < cols; ++c) {
                const uint64_t scaled = ((uint64_t(int32_t(row[c]) + 32768) * mask[c]) + round) >> maskBits;
                row[c] = int16_t(int32_t(std::min<uint64_t>(scaled, 65535)) - 32768);
            }
        }
}

// Maps samples to and from a range above a black level given in 16-bit units.
struct BlackLevel {
    explicit BlackLevel(uint16_t level) : black(level / 65535.0f), active(level != 0) {}
    float Remove(float x) const { return active ? (x - black) / (1.0f - black) : x; }
    float Restore(float x) const { return active ? x * (1.0f - black) + black : x; }
    float black;
    bool active;
};

void ApplyMask32(float* dPtr, const uint16_t* mPtr, uint32_t rows, uint32_t cols, uint32_t planes,
                 int32_t rowStep, int32_t planeStep, int32_t maskRowStep, uint32_t maskBits,
                 uint16_t blackLevel) {
    if (maskBits > 31) return;
    const BlackLevel black(blackLevel);
    const float scale = 1.0f / float(uint64_t(1) << maskBits);
    for (uint32_t p = 0; p < planes; ++p)
        for (uint32_t r = 0; r < rows; ++r) {
            float* row = dPtr + int64_t(p) * planeStep + int64_t(r) * rowStep;
            const uint16_t* mask = mPtr + int64_t(r) * maskRowStep;
            for (uint32_t c = 0; c < cols; ++c)
                row[c] = black.Restore(std::min(black.Remove(row[c]) * (float(mask[c]) * scale), 1.0f));
        }
}

void Lookup16(uint16_t* dPtr, dng_area_counts n, dng_area_steps s, const uint16_t* table) {
    ForEachSample(dPtr, n, s, [table](uint16_t& x) { x = table[x]; });
}

void Polynomial32(float* dPtr, uint32_t count, int32_t step, uint32_t degree, const double* c,
                  uint16_t blackLevel) {
    const BlackLevel black(blackLevel);
    for (uint32_t i = 0; i < count; ++i) {
        float& sample = dPtr[int64_t(i) * step];
        const double x = black.Remove(sample);
        const double magnitude = std::fabs(x);
        double sum = 0.0, power = 1.0;
        for (uint32_t k = 1; k <= degree; ++k)
            sum += c[k] * (power *= magnitude);
        const double y = std::clamp(c[0] + (x < 0.0 ? -sum : sum), -1.0, 1.0);
        sample = black.Restore(float(y));
    }
}

} // namespace

KernelSuite gKernelSuite = {
    ZeroBytes,
    CopyBytes,
    Swap16,
    Swap32,
    Fill<uint8_t>,
    Fill<uint16_t>,
    Fill<uint32_t>,
    Copy<uint8_t>,
    Copy<uint16_t>,
    Copy<uint32_t>,
    Widen<uint8_t, uint16_t, 0>,
    Widen<uint8_t, int16_t, -32768>,
    Widen<uint8_t, uint32_t, 0>,
    Widen<uint16_t, int16_t, -32768>,
    Widen<uint16_t, uint32_t, 0>,
    ToFloat<uint8_t, 0>,
    ToFloat<uint16_t, 0>,
    ToFloat<int16_t, 32768>,
    FromFloat<uint8_t, 0>,
    FromFloat<uint16_t, 0>,
    FromFloat<int16_t, 0x8000>,
    Repeat<uint8_t>,
    Repeat<uint16_t>,
    Repeat<uint32_t>,
    ShiftRight16,
    InterpolateRow16,
    InterpolateRow32,
    CameraToRGB3,
    CameraToRGB4,
    HueSatMap,
    RGBToGray,
    RGBToRGB,
    Table1D,
    RGBTone,
    ResampleVertical16,
    ResampleVertical32,
    ResampleHorizontal16,
    ResampleHorizontal32,
    EqualBytes,
    Compare<uint8_t>,
    Compare<uint16_t>,
    Compare<uint32_t>,
    RadialMask16,
    ApplyMask16,
    ApplyMask32,
    Lookup16,
    Polynomial32,
};
