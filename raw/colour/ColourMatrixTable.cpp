#include "raw/colour/ColourMatrixTable.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace raw {

const colour_matrix_row colour_matrix_table[] = {
#include "raw/colour/camera_colours.inc"
};

const size_t colour_matrix_table_size = std::size(colour_matrix_table);

const colour_matrix_row* find_colour_matrix_row(const char* text) {
    for (const colour_matrix_row& row : colour_matrix_table)
        if (std::strncmp(text, row.prefix, std::strlen(row.prefix)) == 0) return &row;
    return nullptr;
}

bool has_colour_matrix(const colour_matrix_row& row) {
    return std::any_of(std::begin(row.matrix), std::end(row.matrix), [](int16_t v) { return v != 0; });
}

} // namespace raw
