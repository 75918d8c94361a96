#pragma once
// A decoder state over an in-memory file, set up as identification leaves it before it
// hands the file to the TIFF parser, with a metadata engine attached.
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include "raw/core/DecoderState.h"
#include "raw/tiff/exifEngine.h"
#include "tests/support/MemoryFile.h"

namespace testsupport {

struct TiffParse {
    explicit TiffParse(std::vector<uint8_t> bytes)
        : file(std::make_unique<MemoryFile>(std::move(bytes))), s(std::make_unique<raw::DecoderState>()) {
        raw::DecoderState& d = *s;
        d.input_file = file->get();
        d.metadata_engine = &engine;
        d.cfa_pattern = 0xFFFFFFFFu;
        d.orientation_code = -1;
        d.tiff_orientation = -1;
        d.raw_count = 1;
        d.colour_count = 3;
        d.camera_colour_output = 1;
        d.pixel_aspect_ratio = 1;
        d.as_shot_multipliers[1] = 1;
        for (int c = 0; c < 3; ++c)
            d.daylight_multipliers[c] = 1;
        for (int i = 0; i < 3; ++i)
            d.rgb_from_camera[i][i] = 1;
        for (int i = 0; i < 65536; ++i)
            d.tone_table[i] = uint16_t(i);
        d.as_shot_white_xyz[0] = -1000;
        d.use_as_shot_wb = 1;
    }
    ~TiffParse() { s->metadata_engine = nullptr; }

    raw::DecoderState& state() { return *s; }
    // The value under {group}/key of the metadata dictionary, or null.
    platform::Value metadata(const char* group, const char* key) const {
        platform::Value root = engine.copyDictionary();
        const platform::Value* g = root.find(group);
        const platform::Value* v = g ? g->find(key) : nullptr;
        return v ? *v : platform::Value();
    }

    std::unique_ptr<MemoryFile> file;
    std::unique_ptr<raw::DecoderState> s;
    exifEngine engine;
};

// Local time as UTC, so capture times can be compared with fixed numbers.
struct UtcZone {
    UtcZone() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

} // namespace testsupport
