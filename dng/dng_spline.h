#pragma once
// A smooth cubic curve through control points, with slopes chosen for continuity.
#include "dng/dng_1d_function.h"

#include <vector>

class dng_spline_solver : public dng_1d_function {
  public:
    dng_spline_solver() = default;

    void Reset();
    // Points must come in increasing x.
    void Add(double x, double y);
    // Computes the slopes; call after the last Add and before Evaluate.
    virtual void Solve();

    bool IsIdentity() const override;
    double Evaluate(double x) const override;

  private:
    void SolveSlopes();

    std::vector<double> fX;
    std::vector<double> fY;
    std::vector<double> fS;
};
