#include "raw/core/BandRunner.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

TEST(BandRunner, EveryBandRunsOnceThreadedAndInline) {
    for (bool threaded : {true, false}) {
        raw::set_band_threads_enabled(threaded);
        std::vector<int> hits(raw::kBandCount, 0);
        raw::run_bands(raw::kBandCount, [&](int b) { hits[b]++; });
        for (int h : hits)
            EXPECT_EQ(h, 1);
    }
    raw::set_band_threads_enabled(true);
}

TEST(BandRunner, FailureInABandReachesTheCallerAfterTheJoin) {
    std::vector<int> done(4, 0);
    EXPECT_THROW(raw::run_bands(4,
                                [&](int b) {
                                    done[b] = 1;
                                    if (b == 1) throw std::runtime_error("band");
                                }),
                 std::runtime_error);
    EXPECT_EQ(done, (std::vector<int>{1, 1, 1, 1}));
}

TEST(BandRunner, RangesAreDisjointAndCovering) {
    for (int total : {0, 1, 7, 16, 17, 1000}) {
        int next = 0;
        for (int b = 0; b < raw::kBandCount; ++b) {
            auto r = raw::band_range(total, raw::kBandCount, b);
            EXPECT_EQ(r.begin, next);
            EXPECT_LE(r.begin, r.end);
            next = r.end;
        }
        EXPECT_EQ(next, total);
    }
}
