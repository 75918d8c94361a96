#pragma once
// Per-position code of a colour pattern's period, built once so that the per-pixel work of
// an interpolation is a walk over precomputed offsets.
#include <vector>

namespace raw {

template <typename Code> class PeriodTable {
  public:
    template <typename Build>
    PeriodTable(int rows, int columns, Build build) : rows_(rows), columns_(columns) {
        codes_.reserve(size_t(rows) * columns);
        for (int row = 0; row < rows; ++row)
            for (int col = 0; col < columns; ++col)
                codes_.push_back(build(row, col));
    }
    // Rows and columns of the image, not negative.
    const Code& at(int row, int col) const { return codes_[size_t(row % rows_) * columns_ + col % columns_]; }

  private:
    int rows_, columns_;
    std::vector<Code> codes_;
};

} // namespace raw
