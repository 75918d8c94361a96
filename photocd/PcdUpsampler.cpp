#include "photocd/PcdUpsampler.h"

#include <algorithm>
#include <cstdlib>

#include "photocd/PcdBands.h"

namespace photocd {

namespace {

inline uint8_t clampByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

inline void put(PcdPlane& dst, int r, int c, int value, bool addResidual) {
    uint8_t& d = dst.row(r)[c];
    d = clampByte(value + (addResidual ? static_cast<int8_t>(d) : 0));
}

// The point between chroma samples o and t follows the luma between their positions.
inline uint8_t guided(int o, int t, int l, int far, int m) {
    if (l == far) return static_cast<uint8_t>((o + t + 1) >> 1);
    const int v = o + (t - o) * (m - l) / (far - l);
    return static_cast<uint8_t>(std::clamp(v, std::min(o, t), std::max(o, t)));
}

void edgeRoundOne(const PcdPlane& s, const PcdPlane& L, PcdPlane& d, int y) {
    const int cw = s.width, ch = s.height;
    for (int x = 0; x < cw; ++x) {
        d.row(2 * y)[2 * x] = s.at(y, x);
        if (x + 1 < cw)
            d.row(2 * y)[2 * x + 1] = guided(s.at(y, x), s.at(y, x + 1), L.at(2 * y, 2 * x),
                                             L.at(2 * y, 2 * x + 2), L.at(2 * y, 2 * x + 1));
        if (y + 1 < ch)
            d.row(2 * y + 1)[2 * x] = guided(s.at(y, x), s.at(y + 1, x), L.at(2 * y, 2 * x),
                                             L.at(2 * y + 2, 2 * x), L.at(2 * y + 1, 2 * x));
    }
}

void replicateEdges(const PcdPlane& s, PcdPlane& d) {
    const int w = d.width, h = d.height;
    for (int c = 0; c < w; ++c)
        d.row(h - 1)[c] = s.at(s.height - 1, c / 2);
    for (int r = 0; r < h; ++r)
        d.row(r)[w - 1] = s.at(r / 2, s.width - 1);
}

void edgeRoundTwo(const PcdPlane& L, PcdPlane& d, int y) {
    const int i = 2 * y + 1;
    if (i >= d.height - 1) return;
    for (int j = 1; j < d.width - 1; j += 2) {
        const int m = L.at(i, j);
        const int horizontal = std::abs(2 * m - (L.at(i, j - 1) + L.at(i, j + 1)));
        const int vertical = std::abs(2 * m - (L.at(i - 1, j) + L.at(i + 1, j)));
        if (horizontal <= vertical)
            d.row(i)[j] = guided(d.at(i, j - 1), d.at(i, j + 1), L.at(i, j - 1), L.at(i, j + 1), m);
        else
            d.row(i)[j] = guided(d.at(i - 1, j), d.at(i + 1, j), L.at(i - 1, j), L.at(i + 1, j), m);
    }
}

} // namespace

void upsampleReplicate(const PcdPlane& src, PcdPlane& dst, bool addResidual) {
    for (int r = 0; r < dst.height; ++r)
        for (int c = 0; c < dst.width; ++c)
            put(dst, r, c, src.at(r / 2, c / 2), addResidual);
}

void upsampleBilinear(const PcdPlane& src, PcdPlane& dst, bool addResidual) {
    const int sw = src.width, sh = src.height;
    runInBands(sh, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const int y1 = std::min(y + 1, sh - 1);
            for (int x = 0; x < sw; ++x) {
                const int x1 = std::min(x + 1, sw - 1);
                const int a = src.at(y, x), b = src.at(y, x1);
                const int c = src.at(y1, x), e = src.at(y1, x1);
                put(dst, 2 * y, 2 * x, a, addResidual);
                put(dst, 2 * y, 2 * x + 1, (a + b + 1) >> 1, addResidual);
                put(dst, 2 * y + 1, 2 * x, (a + c + 1) >> 1, addResidual);
                put(dst, 2 * y + 1, 2 * x + 1, (a + b + c + e + 2) >> 2, addResidual);
            }
        }
    });
}

void upsampleEdgeDirected(const PcdPlane& src, const PcdPlane& luma, PcdPlane& dst) {
    runInBands(src.height, [&](int first, int end) {
        for (int y = first; y < end; ++y)
            edgeRoundOne(src, luma, dst, y);
    });
    replicateEdges(src, dst);
    runInBands(src.height, [&](int first, int end) {
        for (int y = first; y < end; ++y)
            edgeRoundTwo(luma, dst, y);
    });
}

} // namespace photocd
