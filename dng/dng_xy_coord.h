#pragma once
// CIE xy chromaticities and their XYZ counterparts.
#include "dng/dng_matrix.h"

class dng_xy_coord {
  public:
    double x = 0.0;
    double y = 0.0;

    dng_xy_coord() = default;
    dng_xy_coord(double xx, double yy) : x(xx), y(yy) {}
    bool operator==(const dng_xy_coord&) const = default;
};

// The D50 point when X + Y + Z is not positive.
dng_xy_coord XYZtoXY(const dng_vector_3& coord);
// Y = 1; x and y are kept inside the open unit triangle first.
dng_vector_3 XYtoXYZ(const dng_xy_coord& coord);

inline dng_xy_coord D50_xy_coord() { return dng_xy_coord(0.3457, 0.3585); }
dng_vector_3 D50_XYZ();
