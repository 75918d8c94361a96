// Doubling planes (replicate, bilinear, luma-guided chroma) and the row bands they run in.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "photocd/PcdBands.h"
#include "photocd/PcdUpsampler.h"

using photocd::PcdPlane;

namespace {

PcdPlane plane(int w, int h, const std::vector<int>& values) {
    PcdPlane p;
    p.allocate(w, h);
    for (size_t i = 0; i < values.size(); ++i)
        p.data[i] = static_cast<uint8_t>(values[i]);
    return p;
}

std::vector<int> samples(const PcdPlane& p) { return std::vector<int>(p.data.begin(), p.data.end()); }

TEST(PcdUpsampler, BilinearAveragesAndAddsClampedResiduals) {
    const PcdPlane src = plane(2, 2, {0, 100, 200, 40});
    PcdPlane dst;
    dst.allocate(4, 4);
    photocd::upsampleBilinear(src, dst, false);
    EXPECT_EQ(samples(dst),
              (std::vector<int>{0, 50, 100, 100, 100, 85, 70, 70, 200, 120, 40, 40, 200, 120, 40, 40}));

    PcdPlane withResiduals = plane(4, 4, {-128 & 255, 127, 0, 0, 127, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0});
    photocd::upsampleBilinear(src, withResiduals, true);
    EXPECT_EQ(withResiduals.at(0, 0), 0);   // 0 - 128
    EXPECT_EQ(withResiduals.at(0, 1), 177); // 50 + 127
    EXPECT_EQ(withResiduals.at(1, 0), 227); // 100 + 127
    EXPECT_EQ(withResiduals.at(2, 0), 255); // 200 + 100
}

TEST(PcdUpsampler, ReplicateRepeatsEachSample) {
    const PcdPlane src = plane(2, 1, {10, 250});
    PcdPlane dst = plane(4, 2, {0, 0, 0, 10, 0, 0, 0, 0});
    photocd::upsampleReplicate(src, dst, true);
    EXPECT_EQ(samples(dst), (std::vector<int>{10, 10, 250, 255, 10, 10, 250, 250}));
}

TEST(PcdUpsampler, EdgeDirectedChromaKeepsTheLumaEdge) {
    // A chroma step that sits on a luma edge between columns 1 and 2.
    const PcdPlane chroma = plane(2, 2, {10, 90, 10, 90});
    const PcdPlane luma =
        plane(4, 4, {20, 20, 200, 200, 20, 20, 200, 200, 20, 20, 200, 200, 20, 20, 200, 200});
    PcdPlane dst;
    dst.allocate(4, 4);
    photocd::upsampleEdgeDirected(chroma, luma, dst);
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(std::vector<int>(dst.row(r), dst.row(r) + 4), (std::vector<int>{10, 10, 90, 90})) << r;

    // Without a luma edge the point between samples is their rounded mean.
    const PcdPlane flat = plane(4, 4, std::vector<int>(16, 50));
    photocd::upsampleEdgeDirected(chroma, flat, dst);
    EXPECT_EQ(dst.at(0, 1), 50);
    EXPECT_EQ(dst.at(1, 1), 50);
}

TEST(PcdBands, EveryRowIsVisitedOnce) {
    for (int rows : {0, 1, 7, 8, 13, 100}) {
        std::vector<std::atomic<int>> visits(static_cast<size_t>(rows));
        photocd::runInBands(rows, [&](int first, int end) {
            for (int r = first; r < end; ++r)
                ++visits[static_cast<size_t>(r)];
        });
        for (int r = 0; r < rows; ++r)
            EXPECT_EQ(visits[static_cast<size_t>(r)].load(), 1) << rows << " rows, row " << r;
    }
}

} // namespace
