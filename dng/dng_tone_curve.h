#pragma once
// A tone curve as control points for a spline.
#include "dng/dng_point.h"

#include <vector>

class dng_spline_solver;

class dng_tone_curve {
  public:
    // Starts as the identity: (0, 0) and (1, 1).
    dng_tone_curve();

    bool operator==(const dng_tone_curve& other) const;
    bool operator!=(const dng_tone_curve& other) const { return !(*this == other); }

    // At least two points within [0, 1] with strictly increasing inputs.
    bool IsValid() const;
    void Clear() { fCoord.clear(); }
    void Solve(dng_spline_solver& solver) const;

    // Each point holds v = output, h = input.
    std::vector<dng_point_real64> fCoord;
};
