#include "dng/dng_xy_coord.h"

#include <algorithm>

dng_xy_coord XYZtoXY(const dng_vector_3& coord) {
    const double sum = coord[0] + coord[1] + coord[2];
    if (!(sum > 0.0)) return D50_xy_coord();
    return dng_xy_coord(coord[0] / sum, coord[1] / sum);
}

dng_vector_3 XYtoXYZ(const dng_xy_coord& coord) {
    double x = std::clamp(coord.x, 0.000001, 0.999999);
    double y = std::clamp(coord.y, 0.000001, 0.999999);
    if (x + y > 0.999999) {
        const double scale = 0.999999 / (x + y);
        x *= scale;
        y *= scale;
    }
    return dng_vector_3(x / y, 1.0, (1.0 - x - y) / y);
}

dng_vector_3 D50_XYZ() { return XYtoXYZ(D50_xy_coord()); }
