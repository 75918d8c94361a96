#include "dng/dng_linearization_info.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_image.h"
#include "dng/dng_memory.h"
#include "dng/dng_negative.h"

#include <algorithm>
#include <cmath>

namespace {
uint32_t DeltaCount(const std::unique_ptr<dng_memory_block>& block) {
    return block ? block->LogicalSize() / uint32_t(sizeof(double)) : 0;
}

// The largest delta of each pattern slot (index mod repeat), 0 for slots without a delta.
void DeltaMaxima(const std::unique_ptr<dng_memory_block>& block, uint32_t repeat, double* maxima,
                 const char* message) {
    std::fill(maxima, maxima + dng_linearization_info::kMaxBlackPattern, 0.0);
    const uint32_t count = DeltaCount(block);
    if (count == 0) return;
    if (repeat == 0 || repeat > dng_linearization_info::kMaxBlackPattern) ThrowProgramError(message);
    const double* deltas = block->Buffer_real64();
    for (uint32_t i = 0; i < count; ++i)
        maxima[i % repeat] = i < repeat ? deltas[i] : std::max(maxima[i % repeat], deltas[i]);
}

// Deltas are stored back as their signed-rational value.
void RoundDeltas(const std::unique_ptr<dng_memory_block>& block, uint32_t denominator) {
    double* deltas = block ? block->Buffer_real64() : nullptr;
    for (uint32_t i = 0; i < DeltaCount(block); ++i) {
        dng_srational r;
        r.SetDouble(deltas[i], int32_t(denominator));
        deltas[i] = r.AsDouble();
    }
}

double LargestAbsDelta(const std::unique_ptr<dng_memory_block>& block) {
    double m = 0.0;
    for (uint32_t i = 0; i < DeltaCount(block); ++i)
        m = std::max(m, std::fabs(block->Buffer_real64()[i]));
    return m;
}
} // namespace

dng_linearization_info::dng_linearization_info() = default;

dng_linearization_info::~dng_linearization_info() = default;

void dng_linearization_info::Prepare(dng_host&, dng_negative& negative) {
    if (fActiveArea.IsEmpty()) fActiveArea = negative.Stage1Image()->Bounds();
}

double dng_linearization_info::MaxBlackLevel(uint32_t plane) const {
    double colMax[kMaxBlackPattern];
    double rowMax[kMaxBlackPattern];
    DeltaMaxima(fBlackDeltaH, fBlackLevelRepeatCols, colMax,
                "Bad fBlackLevelRepeatCols in dng_linearization_info::MaxBlackLevel");
    DeltaMaxima(fBlackDeltaV, fBlackLevelRepeatRows, rowMax,
                "Bad fBlackLevelRepeatRows in dng_linearization_info::MaxBlackLevel");
    const uint32_t rows = std::clamp(fBlackLevelRepeatRows, 1u, kMaxBlackPattern);
    const uint32_t cols = std::clamp(fBlackLevelRepeatCols, 1u, kMaxBlackPattern);
    double result = fBlackLevel[0][0][plane] + colMax[0] + rowMax[0];
    for (uint32_t i = 0; i < rows; ++i)
        for (uint32_t j = 0; j < cols; ++j)
            result = std::max(result, fBlackLevel[i][j][plane] + colMax[j] + rowMax[i]);
    return result;
}

void dng_linearization_info::RoundBlacks() {
    const uint32_t rows = std::clamp(fBlackLevelRepeatRows, 1u, kMaxBlackPattern);
    const uint32_t cols = std::clamp(fBlackLevelRepeatCols, 1u, kMaxBlackPattern);
    double m = std::max(LargestAbsDelta(fBlackDeltaH), LargestAbsDelta(fBlackDeltaV));
    for (uint32_t i = 0; i < rows; ++i)
        for (uint32_t j = 0; j < cols; ++j)
            for (uint32_t k = 0; k < kMaxPlanes; ++k)
                m = std::max(m, std::fabs(fBlackLevel[i][j][k]));
    // Numerators must stay well inside 32 bits.
    fBlackDenom = 256;
    while (fBlackDenom > 1 && double(fBlackDenom) * m >= 30000.0 * 65536.0)
        fBlackDenom >>= 1;
    for (uint32_t i = 0; i < rows; ++i)
        for (uint32_t j = 0; j < cols; ++j)
            for (uint32_t k = 0; k < kMaxPlanes; ++k)
                fBlackLevel[i][j][k] = BlackLevelRational(i, j, k).AsDouble();
    RoundDeltas(fBlackDeltaH, fBlackDenom);
    RoundDeltas(fBlackDeltaV, fBlackDenom);
}

uint32_t dng_linearization_info::LinearizationTableEntries() const {
    return fLinearizationTable ? fLinearizationTable->LogicalSize() / uint32_t(sizeof(uint16_t)) : 0;
}

dng_urational dng_linearization_info::BlackLevelRational(uint32_t row, uint32_t col, uint32_t plane) const {
    dng_urational r;
    r.SetDouble(fBlackLevel[row][col][plane], fBlackDenom);
    return r;
}

uint32_t dng_linearization_info::RowDeltaCount() const { return DeltaCount(fBlackDeltaV); }

uint32_t dng_linearization_info::ColumnDeltaCount() const { return DeltaCount(fBlackDeltaH); }

dng_srational dng_linearization_info::RowDeltaRational(uint32_t index) const {
    if (index >= RowDeltaCount()) return dng_srational(0, 1);
    dng_srational r;
    r.SetDouble(fBlackDeltaV->Buffer_real64()[index], int32_t(fBlackDenom));
    return r;
}

dng_srational dng_linearization_info::ColumnDeltaRational(uint32_t index) const {
    if (index >= ColumnDeltaCount()) return dng_srational(0, 1);
    dng_srational r;
    r.SetDouble(fBlackDeltaH->Buffer_real64()[index], int32_t(fBlackDenom));
    return r;
}
