#pragma once
// The one table of pixel kernels: every inner pixel loop of the DNG code is called through it,
// so a faster set could replace the reference kernels all at once.
#include "dng/dng_point.h"

#include <cstdint>

class dng_1d_table;
class dng_matrix;
class dng_vector;

// Counts of an area, outermost dimension first.
struct dng_area_counts {
    uint32_t rows = 0;
    uint32_t cols = 0;
    uint32_t planes = 0;
};

// Steps in samples (not bytes) between neighbours along each dimension; may be negative.
struct dng_area_steps {
    int32_t row = 0;
    int32_t col = 0;
    int32_t plane = 0;
};

// A hue/saturation/value map's table: per entry hue shift (degrees), saturation scale and value
// scale, entry (h, s, v) at v x hue x sat + h x sat + s.
struct dng_hue_sat_table_view {
    uint32_t hueDivisions = 0;
    uint32_t satDivisions = 0;
    uint32_t valDivisions = 0;
    const float* deltas = nullptr;
};

struct KernelSuite {
    void (*SuiteZeroBytes)(void* dPtr, uint32_t count);
    void (*SuiteCopyBytes)(const void* sPtr, void* dPtr, uint32_t count);
    void (*SuiteSwap16)(uint16_t* dPtr, uint32_t count);
    void (*SuiteSwap32)(uint32_t* dPtr, uint32_t count);

    void (*SuiteFill8)(uint8_t* dPtr, uint8_t value, dng_area_counts counts, dng_area_steps steps);
    void (*SuiteFill16)(uint16_t* dPtr, uint16_t value, dng_area_counts counts, dng_area_steps steps);
    void (*SuiteFill32)(uint32_t* dPtr, uint32_t value, dng_area_counts counts, dng_area_steps steps);

    void (*SuiteCopy8)(const uint8_t* sPtr, uint8_t* dPtr, dng_area_counts counts, dng_area_steps sSteps,
                       dng_area_steps dSteps);
    void (*SuiteCopy16)(const uint16_t* sPtr, uint16_t* dPtr, dng_area_counts counts, dng_area_steps sSteps,
                        dng_area_steps dSteps);
    void (*SuiteCopy32)(const uint32_t* sPtr, uint32_t* dPtr, dng_area_counts counts, dng_area_steps sSteps,
                        dng_area_steps dSteps);

    void (*SuiteConvert8To16)(const uint8_t* sPtr, uint16_t* dPtr, dng_area_counts counts,
                              dng_area_steps sSteps, dng_area_steps dSteps);
    void (*SuiteConvert8ToS16)(const uint8_t* sPtr, int16_t* dPtr, dng_area_counts counts,
                               dng_area_steps sSteps, dng_area_steps dSteps);
    void (*SuiteConvert8To32)(const uint8_t* sPtr, uint32_t* dPtr, dng_area_counts counts,
                              dng_area_steps sSteps, dng_area_steps dSteps);
    void (*SuiteConvert16ToS16)(const uint16_t* sPtr, int16_t* dPtr, dng_area_counts counts,
                                dng_area_steps sSteps, dng_area_steps dSteps);
    void (*SuiteConvert16To32)(const uint16_t* sPtr, uint32_t* dPtr, dng_area_counts counts,
                               dng_area_steps sSteps, dng_area_steps dSteps);
    void (*SuiteConvert8ToFloat)(const uint8_t* sPtr, float* dPtr, dng_area_counts counts,
                                 dng_area_steps sSteps, dng_area_steps dSteps, uint32_t pixelRange);
    void (*SuiteConvert16ToFloat)(const uint16_t* sPtr, float* dPtr, dng_area_counts counts,
                                  dng_area_steps sSteps, dng_area_steps dSteps, uint32_t pixelRange);
    void (*SuiteConvertS16ToFloat)(const int16_t* sPtr, float* dPtr, dng_area_counts counts,
                                   dng_area_steps sSteps, dng_area_steps dSteps, uint32_t pixelRange);
    void (*SuiteConvertFloatTo8)(const float* sPtr, uint8_t* dPtr, dng_area_counts counts,
                                 dng_area_steps sSteps, dng_area_steps dSteps, uint32_t pixelRange);
    void (*SuiteConvertFloatTo16)(const float* sPtr, uint16_t* dPtr, dng_area_counts counts,
                                  dng_area_steps sSteps, dng_area_steps dSteps, uint32_t pixelRange);
    void (*SuiteConvertFloatToS16)(const float* sPtr, int16_t* dPtr, dng_area_counts counts,
                                   dng_area_steps sSteps, dng_area_steps dSteps, uint32_t pixelRange);

    // Destination (r, c) takes pattern ((phase.v + r) mod repeat.v, (phase.h + c) mod repeat.h).
    void (*SuiteRepeat8)(const uint8_t* sPtr, uint8_t* dPtr, dng_area_counts counts, dng_area_steps steps,
                         dng_point repeat, dng_point phase);
    void (*SuiteRepeat16)(const uint16_t* sPtr, uint16_t* dPtr, dng_area_counts counts, dng_area_steps steps,
                          dng_point repeat, dng_point phase);
    void (*SuiteRepeat32)(const uint32_t* sPtr, uint32_t* dPtr, dng_area_counts counts, dng_area_steps steps,
                          dng_point repeat, dng_point phase);

    void (*SuiteShiftRight16)(uint16_t* dPtr, dng_area_counts counts, dng_area_steps steps, uint32_t shift);

    // One output row of a mosaic interpolation: per phase, taps at element offsets with weights
    // in 1/256 (16-bit) or as fractions (float).
    void (*SuiteInterpolateRow16)(const uint16_t* sPtr, uint16_t* dPtr, uint32_t count, uint32_t phase,
                                  uint32_t phases, const uint32_t* tapCounts, const int32_t* const* offsets,
                                  const uint16_t* const* weights, uint32_t shift);
    void (*SuiteInterpolateRow32)(const float* sPtr, float* dPtr, uint32_t count, uint32_t phase,
                                  uint32_t phases, const uint32_t* tapCounts, const int32_t* const* offsets,
                                  const float* const* weights, uint32_t shift);

    void (*SuiteCameraToRGB3)(const float* sPtrA, const float* sPtrB, const float* sPtrC, float* dPtrR,
                              float* dPtrG, float* dPtrB, uint32_t count, const dng_vector& cameraWhite,
                              const dng_matrix& cameraToRGB);
    void (*SuiteCameraToRGB4)(const float* sPtrA, const float* sPtrB, const float* sPtrC, const float* sPtrD,
                              float* dPtrR, float* dPtrG, float* dPtrB, uint32_t count,
                              const dng_vector& cameraWhite, const dng_matrix& cameraToRGB);
    void (*SuiteHueSatMap)(const float* sPtrR, const float* sPtrG, const float* sPtrB, float* dPtrR,
                           float* dPtrG, float* dPtrB, uint32_t count, const dng_hue_sat_table_view& map,
                           const dng_1d_table* encodeTable, const dng_1d_table* decodeTable);
    void (*SuiteRGBToGray)(const float* sPtrR, const float* sPtrG, const float* sPtrB, float* dPtr,
                           uint32_t count, const dng_matrix& matrix);
    void (*SuiteRGBToRGB)(const float* sPtrR, const float* sPtrG, const float* sPtrB, float* dPtrR,
                          float* dPtrG, float* dPtrB, uint32_t count, const dng_matrix& matrix);
    void (*SuiteTable1D)(const float* sPtr, float* dPtr, uint32_t count, const dng_1d_table& table);
    void (*SuiteRGBTone)(const float* sPtrR, const float* sPtrG, const float* sPtrB, float* dPtrR,
                         float* dPtrG, float* dPtrB, uint32_t count, const dng_1d_table& table);

    // Weights in 1/16384 for the 16-bit passes.
    void (*SuiteResampleVertical16)(const uint16_t* sPtr, uint16_t* dPtr, uint32_t count, int32_t sRowStep,
                                    const int16_t* weights, uint32_t weightCount, uint32_t pixelRange);
    void (*SuiteResampleVertical32)(const float* sPtr, float* dPtr, uint32_t count, int32_t sRowStep,
                                    const float* weights, uint32_t weightCount);
    // Coordinates hold the source column above 7 bits and one of 128 phases below.
    void (*SuiteResampleHorizontal16)(const uint16_t* sPtr, uint16_t* dPtr, uint32_t count,
                                      const int32_t* coords, const int16_t* weights, uint32_t weightCount,
                                      uint32_t weightStep, uint32_t pixelRange);
    void (*SuiteResampleHorizontal32)(const float* sPtr, float* dPtr, uint32_t count, const int32_t* coords,
                                      const float* weights, uint32_t weightCount, uint32_t weightStep);

    bool (*SuiteEqualBytes)(const void* sPtr, const void* dPtr, uint32_t count);
    bool (*SuiteCompare8)(const uint8_t* sPtr, const uint8_t* dPtr, dng_area_counts counts,
                          dng_area_steps sSteps, dng_area_steps dSteps);
    bool (*SuiteCompare16)(const uint16_t* sPtr, const uint16_t* dPtr, dng_area_counts counts,
                           dng_area_steps sSteps, dng_area_steps dSteps);
    bool (*SuiteCompare32)(const uint32_t* sPtr, const uint32_t* dPtr, dng_area_counts counts,
                           dng_area_steps sSteps, dng_area_steps dSteps);

    // Positions and steps in 16.16 fixed point; the table has 2^tableBits + 1 entries.
    void (*SuiteRadialMask16)(uint16_t* dPtr, uint32_t rows, uint32_t cols, int32_t rowStep, int64_t hStart,
                              int64_t vStart, int64_t hStep, int64_t vStep, uint32_t tableBits,
                              const uint16_t* table);
    void (*SuiteApplyMask16)(int16_t* dPtr, const uint16_t* mPtr, uint32_t rows, uint32_t cols,
                             uint32_t planes, int32_t rowStep, int32_t planeStep, int32_t maskRowStep,
                             uint32_t maskBits);
    // A black level of 0 means none.
    void (*SuiteApplyMask32)(float* dPtr, const uint16_t* mPtr, uint32_t rows, uint32_t cols, uint32_t planes,
                             int32_t rowStep, int32_t planeStep, int32_t maskRowStep, uint32_t maskBits,
                             uint16_t blackLevel);
    void (*SuiteLookup16)(uint16_t* dPtr, dng_area_counts counts, dng_area_steps steps,
                          const uint16_t* table);
    void (*SuitePolynomial32)(float* dPtr, uint32_t count, int32_t step, uint32_t degree,
                              const double* coefficients, uint16_t blackLevel);
};

extern KernelSuite gKernelSuite;
