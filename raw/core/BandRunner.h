#pragma once
// Runs the bands of a threaded development step: bands 0..n-2 on joinable threads of their
// own, the last on the calling thread, all joined before returning. A band whose thread
// cannot be created runs at once on the calling thread. Each step decides its own band
// boundaries; bands must write disjoint rows and take no locks.
#include <functional>

namespace raw {

inline constexpr int kBandCount = 16;

void run_bands(int band_count, const std::function<void(int band)>& job);

// Tests switch threads off to check that a step gives the same result inline.
void set_band_threads_enabled(bool enabled);
bool band_threads_enabled();

// Splits [0, total) into `bands` consecutive ranges; band b covers [begin, end).
struct BandRange {
    int begin, end;
};
BandRange band_range(int total, int bands, int band);

} // namespace raw
