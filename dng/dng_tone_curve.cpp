#include "dng/dng_tone_curve.h"

#include "dng/dng_spline.h"

dng_tone_curve::dng_tone_curve() : fCoord{dng_point_real64(0.0, 0.0), dng_point_real64(1.0, 1.0)} {}

bool dng_tone_curve::operator==(const dng_tone_curve& other) const { return fCoord == other.fCoord; }

bool dng_tone_curve::IsValid() const {
    if (fCoord.size() < 2) return false;
    for (std::size_t i = 0; i < fCoord.size(); ++i) {
        const dng_point_real64& p = fCoord[i];
        if (!(p.h >= 0.0 && p.h <= 1.0 && p.v >= 0.0 && p.v <= 1.0)) return false;
        if (i > 0 && !(p.h > fCoord[i - 1].h)) return false;
    }
    return true;
}

void dng_tone_curve::Solve(dng_spline_solver& solver) const {
    solver.Reset();
    for (const dng_point_real64& p : fCoord)
        solver.Add(p.h, p.v);
    solver.Solve();
}
