#pragma once
// Rectangles and sizes in doubles, with the null and infinite rectangles that the engine
// passes around for "nothing" and "everything".
#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    static Rect null() {
        double inf = std::numeric_limits<double>::infinity();
        return {inf, inf, 0, 0};
    }
    static Rect infinite() {
        double big = std::numeric_limits<double>::max();
        return {-big / 2, -big / 2, big, big};
    }

    bool isNull() const { return std::isinf(x) || std::isinf(y); }
    bool isEmpty() const { return isNull() || width <= 0 || height <= 0; }
    bool isInfinite() const { return *this == infinite(); }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }

    // Negative sizes count from the far edge, so both rectangles are compared upright.
    Rect standardized() const {
        Rect r = *this;
        if (r.width < 0) r.x += r.width, r.width = -r.width;
        if (r.height < 0) r.y += r.height, r.height = -r.height;
        return r;
    }

    // The common part, or null when the two do not meet; touching edges give an empty
    // rectangle on the shared edge.
    Rect intersection(const Rect& other) const {
        if (isNull() || other.isNull()) return null();
        Rect a = standardized(), b = other.standardized();
        double x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
        double x1 = std::min(a.maxX(), b.maxX()), y1 = std::min(a.maxY(), b.maxY());
        if (x1 < x0 || y1 < y0) return null();
        return {x0, y0, x1 - x0, y1 - y0};
    }

    friend bool operator==(const Rect&, const Rect&) = default;
};

} // namespace platform
