#pragma once
// Correlated colour temperature and tint of a white point.
#include "dng/dng_xy_coord.h"

class dng_temperature {
  public:
    dng_temperature() = default;
    dng_temperature(double temperature, double tint) : fTemperature(temperature), fTint(tint) {}

    double Temperature() const { return fTemperature; }
    double Tint() const { return fTint; }

    // Robertson's method over his isotemperature lines.
    void SetFromXY(const dng_xy_coord& xy);

  private:
    double fTemperature = 0.0;
    double fTint = 0.0;
};
