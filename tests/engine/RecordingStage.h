#pragma once
// A stage that records the rectangles it is given and counts its writes: sample 0 of every
// pixel it touches goes up by one, sample 1 becomes the source's sample 1 plus one (so a
// chain of stages leaves its depth there).
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "engine/core/TiledEngine.h"

class RecordingStage : public TiledEngine {
  public:
    struct Call {
        int32_t colStart, colEnd, rowStart, rowEnd, pass;
        bool edge;
    };

    using TiledEngine::TiledEngine;

    // Like a first stage of the chain, which keeps its output for itself.
    bool claimsOutput = false;
    std::string name = "RecordingStage";

    std::string engineName() const override { return name; }

    std::shared_ptr<TileProcess> runProcessToCompletion(const TileRegion& region) override {
        auto process = TiledEngine::runProcessToCompletion(region);
        if (claimsOutput && process->buffer) process->buffer->setBufferOwner(this);
        return process;
    }

    void processTile(int32_t c0, int32_t c1, int32_t r0, int32_t r1, ImageBuffer* src, ImageBuffer* dest,
                     int32_t pass) override {
        record({c0, c1, r0, r1, pass, false}, src, dest);
    }
    void processEdge(int32_t c0, int32_t c1, int32_t r0, int32_t r1, ImageBuffer* src, ImageBuffer* dest,
                     int32_t pass) override {
        record({c0, c1, r0, r1, pass, true}, src, dest);
    }

    std::vector<Call> calls(bool edges) {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<Call> out;
        for (const Call& c : calls_)
            if (c.edge == edges) out.push_back(c);
        return out;
    }
    // The tiles (column, row) that tile calls fell in.
    std::set<std::pair<int32_t, int32_t>> tilesProcessed() {
        std::set<std::pair<int32_t, int32_t>> tiles;
        for (const Call& c : calls(false))
            tiles.emplace(c.colStart / 512, c.rowStart / 512);
        return tiles;
    }
    void forget() {
        std::lock_guard<std::mutex> guard(lock_);
        calls_.clear();
    }

  private:
    void record(const Call& call, ImageBuffer* src, ImageBuffer* dest) {
        for (int32_t r = call.rowStart; r < call.rowEnd; ++r)
            for (int32_t c = call.colStart; c < call.colEnd; ++c) {
                uint16_t* p = dest->bufferU16ForRow(size_t(r), size_t(c));
                const uint16_t depth = src ? src->bufferU16ForRow(size_t(r), size_t(c))[1] : 0;
                p[0] = uint16_t(p[0] + 1);
                p[1] = uint16_t(depth + 1);
            }
        std::lock_guard<std::mutex> guard(lock_);
        calls_.push_back(call);
    }

    std::mutex lock_;
    std::vector<Call> calls_;
};
