#pragma once
// A written file read back by this project's raw decoder, in process, up to the sensor data
// it would develop: identification, the loader and the active-area crop, nothing after.
#include "raw/core/DecoderError.h"
#include "raw/core/DecoderState.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/core/RoadSteps.h"
#include "raw/develop/SensorPrep.h"
#include "raw/identify/Identify.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace writertest {

struct DecodedSensor {
    std::string failure; // empty on success
    int width = 0, height = 0;
    uint32_t cfaPattern = 0;
    // CFA: one sample per pixel; otherwise three per pixel.
    std::vector<uint16_t> samples;
};

inline DecodedSensor DecodeSensor(const std::string& path) {
    DecodedSensor out;
    auto state = std::make_unique<raw::DecoderState>();
    raw::DecoderState& s = *state;
    s.input_path = path.c_str();
    s.input_file = std::fopen(path.c_str(), "rb");
    if (!s.input_file) {
        out.failure = "cannot open";
        return out;
    }
    try {
        raw::identify_camera(s);
        if (!s.raw_loader) throw raw::DecoderText{"no loader"};
        s.image_height = s.visible_height;
        s.image_width = s.visible_width;
        raw::allocate_decode_buffers(s, "DecodeSensor");
        fseeko(s.input_file, off_t(s.sensor_data_offset), SEEK_SET);
        s.raw_loader(s);
        if (s.raw_buffer) raw::crop_active_area(s);
        out.width = s.image_width;
        out.height = s.image_height;
        out.cfaPattern = s.cfa_pattern;
        for (size_t i = 0; i < size_t(out.width) * out.height; ++i) {
            const uint16_t* p = s.pixel_image[i];
            if (s.cfa_pattern)
                out.samples.push_back(std::max({p[0], p[1], p[2], p[3]}));
            else
                out.samples.insert(out.samples.end(), p, p + 3);
        }
    } catch (const raw::DecoderText& e) {
        out.failure = e.text && *e.text ? e.text : "decoder failure";
    }
    for (void* block : {static_cast<void*>(s.raw_buffer), static_cast<void*>(s.pixel_image),
                        static_cast<void*>(s.meta_block), static_cast<void*>(s.output_profile)})
        if (block) raw::file_backed_free(s, block);
    s.raw_buffer = nullptr;
    s.pixel_image = nullptr;
    s.meta_block = nullptr;
    s.output_profile = nullptr;
    raw::file_backed_release_all(s);
    std::fclose(s.input_file);
    s.input_file = nullptr;
    return out;
}

} // namespace writertest
