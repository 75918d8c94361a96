#pragma once
// Splits a pass over image rows into 8 bands: 7 worker threads and the calling thread.
#include <functional>

namespace photocd {

constexpr int kBandCount = 8;

// fn(firstRow, endRow) for disjoint bands covering [0, rows); returns when all are done.
void runInBands(int rows, const std::function<void(int, int)>& fn);

} // namespace photocd
