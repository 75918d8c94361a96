#pragma once
// The built-in colour data of camera models, searched by the beginning of "make model".
#include <cstddef>
#include <cstdint>

namespace raw {

struct colour_matrix_row {
    const char* prefix;        // beginning of "make model" that the row stands for
    uint16_t black;            // 0: leave unchanged
    uint16_t maximum;          // 0: leave unchanged
    int16_t baseline_exposure; // thousandths of an EV; 0: leave unchanged
    int16_t reference_iso;     // ISO at which the baseline exposure holds; 0: none
    int16_t matrix[12];        // XYZ-to-camera x 10000, 4 camera rows of X, Y, Z
};

extern const colour_matrix_row colour_matrix_table[];
extern const size_t colour_matrix_table_size;

// The first row whose whole prefix begins `text` (bytes, case counts); nullptr if none.
const colour_matrix_row* find_colour_matrix_row(const char* text);

// A row with an all-zero matrix knows nothing about the camera's colours.
bool has_colour_matrix(const colour_matrix_row& row);

} // namespace raw
