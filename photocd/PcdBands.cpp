#include "photocd/PcdBands.h"

#include <system_error>
#include <thread>
#include <vector>

namespace photocd {

// std::thread takes the process's default stack (megabytes), far above what the bands need.
void runInBands(int rows, const std::function<void(int, int)>& fn) {
    const int bandHeight = rows / kBandCount;
    std::vector<std::thread> workers;
    workers.reserve(kBandCount - 1);
    for (int band = 0; band < kBandCount - 1; ++band) {
        const int first = band * bandHeight;
        const int end = first + bandHeight;
        if (first == end) continue;
        try {
            workers.emplace_back(fn, first, end);
        } catch (const std::system_error&) {
            fn(first, end); // no thread to be had: do the band here
        }
    }
    fn((kBandCount - 1) * bandHeight, rows);
    for (std::thread& t : workers)
        t.join();
}

} // namespace photocd
