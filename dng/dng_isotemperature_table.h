#pragma once
// Robertson's isotemperature lines (A. R. Robertson, JOSA 58, 1968), as tabulated in
// Wyszecki & Stiles, Color Science, 2nd ed.: reciprocal temperature in mired, the CIE 1960
// (u, v) of the Planckian locus there, and the slope t of the isotemperature line.
#include <array>

struct IsotemperatureLine {
    double mired;
    double u;
    double v;
    double t;
};

extern const std::array<IsotemperatureLine, 31> kIsotemperatureTable;
