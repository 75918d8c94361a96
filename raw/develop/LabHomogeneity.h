#pragma once
// Homogeneity of directional estimates judged in L*a*b*: an estimate that agrees with its
// neighbours in lightness and chroma is likely to follow the image rather than cross an
// edge.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace raw {

struct lab_directions {
    const int16_t (*const* lab)[3]; // lab[d][position]: direction d's estimates in L*a*b*
    int count;
    const int* axis;      // each direction's step along itself, in positions
    const int* neighbour; // the neighbours compared with, as position steps
    int neighbours;
};

// For each direction, how many neighbours of position p its estimate agrees with: within
// the lightness and the chroma distance that the smoothest direction shows along its own
// axis. The counts go to homo[d][p].
inline void lab_homogeneity(const lab_directions& dirs, int p, uint8_t* const* homo) {
    auto lightness = [](const int16_t* a, const int16_t* b) { return std::abs(a[0] - b[0]); };
    auto chroma = [](const int16_t* a, const int16_t* b) {
        const int64_t da = a[1] - b[1], db = a[2] - b[2];
        return da * da + db * db;
    };
    int lightnessLimit = 1 << 30;
    int64_t chromaLimit = INT64_MAX;
    for (int d = 0; d < dirs.count; ++d) {
        const int16_t(*lab)[3] = dirs.lab[d];
        const int16_t *centre = lab[p], *before = lab[p - dirs.axis[d]], *after = lab[p + dirs.axis[d]];
        lightnessLimit =
            std::min(lightnessLimit, std::max(lightness(centre, before), lightness(centre, after)));
        chromaLimit = std::min(chromaLimit, std::max(chroma(centre, before), chroma(centre, after)));
    }
    for (int d = 0; d < dirs.count; ++d) {
        const int16_t(*lab)[3] = dirs.lab[d];
        int agreeing = 0;
        for (int n = 0; n < dirs.neighbours; ++n) {
            const int16_t* other = lab[p + dirs.neighbour[n]];
            agreeing += lightness(lab[p], other) <= lightnessLimit && chroma(lab[p], other) <= chromaLimit;
        }
        homo[d][p] = uint8_t(agreeing);
    }
}

} // namespace raw
