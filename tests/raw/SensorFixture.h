#pragma once
// A decoder record with raw_buffer and pixel_image of a chosen geometry, for the
// sensor-preparation tests.
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "raw/core/DecoderState.h"
#include "raw/core/FileBackedMemory.h"

namespace sensortest {

// Red, green, blue and a second green (code 3) in a 2x2 cell: R G / G2 B.
inline constexpr uint32_t kRggb = 0xB4B4B4B4;

struct Sensor {
    std::unique_ptr<raw::DecoderState> state = std::make_unique<raw::DecoderState>();
    raw::DecoderState& s = *state;

    // A visible area of height x width pixels and no sensor data.
    Sensor(int height, int width) {
        s.visible_height = s.image_height = uint16_t(height);
        s.visible_width = s.image_width = uint16_t(width);
        s.colour_count = 3;
        s.cfa_pattern = kRggb;
        s.use_file_backed_memory = false;
        allocatePixels();
    }
    ~Sensor() {
        raw::file_backed_free(s, s.pixel_image);
        raw::file_backed_free(s, s.raw_buffer);
    }
    Sensor(const Sensor&) = delete;
    Sensor& operator=(const Sensor&) = delete;

    void allocatePixels() {
        raw::file_backed_free(s, s.pixel_image);
        s.pixel_image = static_cast<uint16_t(*)[4]>(
            raw::file_backed_calloc(s, uint64_t(s.image_height) * s.image_width, sizeof(uint16_t[4])));
    }

    // Sensor data of sensorHeight x sensorWidth (with the loaders' 7 spare rows, filled
    // with `spare` so that reading them shows).
    void addSensor(int sensorHeight, int sensorWidth, uint16_t spare = 0) {
        s.sensor_height = uint16_t(sensorHeight);
        s.sensor_width = uint16_t(sensorWidth);
        const uint64_t values = uint64_t(sensorHeight + 7) * sensorWidth;
        s.raw_buffer = static_cast<uint16_t*>(raw::file_backed_calloc(s, values, sizeof(uint16_t)));
        for (uint64_t i = uint64_t(sensorHeight) * sensorWidth; i < values; ++i)
            s.raw_buffer[i] = spare;
    }

    uint16_t& raw(int row, int col) { return s.raw_buffer[row * s.sensor_width + col]; }
    uint16_t* pixel(int row, int col) { return s.pixel_image[row * s.image_width + col]; }
    uint64_t pixelCount() const { return uint64_t(s.image_height) * s.image_width; }

    void randomRaw(uint32_t seed) {
        std::mt19937 rng(seed);
        for (int i = 0; i < s.sensor_height * s.sensor_width; ++i)
            s.raw_buffer[i] = uint16_t(rng() % 4096);
    }
    void randomPixels(uint32_t seed, int slots = 4) {
        std::mt19937 rng(seed);
        for (uint64_t i = 0; i < pixelCount(); ++i)
            for (int c = 0; c < slots; ++c)
                s.pixel_image[i][c] = uint16_t(rng() % 4096);
    }
    std::vector<uint16_t> pixels() const {
        const uint16_t* first = &s.pixel_image[0][0];
        return std::vector<uint16_t>(first, first + pixelCount() * 4);
    }
};

} // namespace sensortest
