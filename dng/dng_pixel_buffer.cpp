#include "dng/dng_pixel_buffer.h"

#include "dng/KernelSuite.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_safe_arithmetic.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_utils.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

const char* const kSetupOverflow = "Arithmetic overflow in pixel buffer setup";

uint32_t CheckedProduct(uint32_t a, uint32_t b) {
    uint32_t product;
    if (!SafeUint32MultChecked(a, b, &product)) ThrowOverflow(kSetupOverflow);
    return product;
}

int32_t CheckedStep(uint32_t step) {
    if (step > uint32_t(std::numeric_limits<int32_t>::max())) ThrowOverflow(kSetupOverflow);
    return int32_t(step);
}

// A step scaled for reading wider samples through a narrower kernel.
int32_t ScaledStep(int32_t step, int32_t factor) {
    const int64_t scaled = int64_t(step) * factor;
    if (scaled < std::numeric_limits<int32_t>::min() || scaled > std::numeric_limits<int32_t>::max())
        ThrowOverflow();
    return int32_t(scaled);
}

dng_area_steps Scaled(dng_area_steps s, int32_t factor) {
    return {ScaledStep(s.row, factor), ScaledStep(s.col, factor), ScaledStep(s.plane, factor)};
}

uint32_t Magnitude(int32_t step) { return step < 0 ? 0u - uint32_t(step) : uint32_t(step); }

// Everything an area kernel needs, after the loop order has been chosen.
struct AreaWalk {
    const void* sPtr = nullptr;
    void* dPtr = nullptr;
    dng_area_counts counts;
    dng_area_steps sSteps;
    dng_area_steps dSteps;

    bool IsEmpty() const { return counts.rows == 0 || counts.cols == 0 || counts.planes == 0; }
    uint32_t RunBytes(uint32_t pixelSize) const {
        uint32_t bytes;
        if (!SafeUint32MultChecked(counts.planes, pixelSize, &bytes)) ThrowOverflow();
        return bytes;
    }
    bool IsSingleRun() const {
        return counts.rows == 1 && counts.cols == 1 && sSteps.plane == 1 && dSteps.plane == 1;
    }
};

template <typename T> const T* As(const void* p) { return static_cast<const T*>(p); }
template <typename T> T* As(void* p) { return static_cast<T*>(p); }

} // namespace

dng_pixel_buffer::dng_pixel_buffer(const dng_rect& a, uint32_t firstPlane, uint32_t planeCount, uint32_t type,
                                   uint32_t planarConfiguration, void* pixels)
    : area(a), plane(firstPlane), planes(planeCount), pixelType(type), pixelSize(TagTypeSize(type)),
      data(pixels) {
    const uint32_t width = area.Width();
    const uint32_t height = area.Height();
    switch (planarConfiguration) {
    case interleaved:
        colStep = CheckedStep(planes);
        rowStep = CheckedStep(CheckedProduct(width, planes));
        planeStep = 1;
        break;
    case planar:
        colStep = 1;
        rowStep = CheckedStep(width);
        planeStep = CheckedStep(CheckedProduct(width, height));
        break;
    case rowInterleaved:
        colStep = 1;
        rowStep = CheckedStep(CheckedProduct(width, planes));
        planeStep = CheckedStep(width);
        break;
    case rowInterleavedPadded: {
        uint32_t paddedWidth;
        if (!RoundUpUint32ToMultiple(width, PaddingGranule(pixelSize), &paddedWidth))
            ThrowOverflow(kSetupOverflow);
        colStep = 1;
        rowStep = CheckedStep(CheckedProduct(paddedWidth, planes));
        planeStep = CheckedStep(paddedWidth);
        break;
    }
    default:
        ThrowProgramError("Invalid value for 'planarConfiguration'");
    }
}

const void* dng_pixel_buffer::ConstPixel(int32_t row, int32_t col, uint32_t p) const {
    const int64_t offset = int64_t(rowStep) * (int64_t(row) - area.t) +
                           int64_t(colStep) * (int64_t(col) - area.l) +
                           int64_t(planeStep) * (int64_t(p) - plane);
    return static_cast<const uint8_t*>(data) + offset * int64_t(pixelSize);
}

void* dng_pixel_buffer::DirtyPixel(int32_t row, int32_t col, uint32_t p) {
    return const_cast<void*>(ConstPixel(row, col, p));
}

void dng_pixel_buffer::OptimizeOrder(const void*& sPtr, void*& dPtr, uint32_t sPixelSize, uint32_t dPixelSize,
                                     uint32_t& count0, uint32_t& count1, uint32_t& count2, int32_t& sStep0,
                                     int32_t& sStep1, int32_t& sStep2, int32_t& dStep0, int32_t& dStep1,
                                     int32_t& dStep2) {
    uint32_t counts[3] = {count0, count1, count2};
    int32_t sSteps[3] = {sStep0, sStep1, sStep2};
    int32_t dSteps[3] = {dStep0, dStep1, dStep2};

    uint32_t sSpan = 0, dSpan = 0;
    for (int i = 0; i < 3; ++i) {
        const uint32_t extent = counts[i] ? counts[i] - 1 : 0;
        sSpan += Magnitude(sSteps[i]) * extent;
        dSpan += Magnitude(dSteps[i]) * extent;
    }
    // Order the loops for the buffer whose samples are spread widest.
    const bool destinationLeads = dSpan >= sSpan;

    uint32_t keys[3];
    for (int i = 0; i < 3; ++i) {
        const int32_t leading = destinationLeads ? dSteps[i] : sSteps[i];
        if (leading < 0 && counts[i] > 1) {
            const int64_t extent = counts[i] - 1;
            sPtr = static_cast<const uint8_t*>(sPtr) + int64_t(sPixelSize) * sSteps[i] * extent;
            dPtr = static_cast<uint8_t*>(dPtr) + int64_t(dPixelSize) * dSteps[i] * extent;
            sSteps[i] = -sSteps[i];
            dSteps[i] = -dSteps[i];
        }
        keys[i] = counts[i] == 1 ? 0xFFFFFFFFu : uint32_t(destinationLeads ? dSteps[i] : sSteps[i]);
    }

    int order[3];
    const uint32_t k0 = keys[0], k1 = keys[1], k2 = keys[2];
    if (k0 < k1) {
        if (k0 < k2) {
            order[0] = k2 < k1 ? 1 : 2;
            order[1] = k2 < k1 ? 2 : 1;
            order[2] = 0;
        } else {
            order[0] = 1, order[1] = 0, order[2] = 2;
        }
    } else if (k1 < k2) {
        order[0] = k2 < k0 ? 0 : 2;
        order[1] = k2 < k0 ? 2 : 0;
        order[2] = 1;
    } else {
        order[0] = 0, order[1] = 1, order[2] = 2;
    }

    uint32_t c[3];
    int32_t s[3], d[3];
    for (int i = 0; i < 3; ++i) {
        c[i] = counts[order[i]];
        s[i] = sSteps[order[i]];
        d[i] = dSteps[order[i]];
    }

    // Fold a dimension into the next inner one when the two are contiguous in both buffers.
    auto contiguous = [&](int outer, int inner) {
        return int64_t(c[inner]) * s[inner] == s[outer] && int64_t(c[inner]) * d[inner] == d[outer] &&
               uint64_t(c[inner]) * c[outer] <= std::numeric_limits<uint32_t>::max();
    };
    if (contiguous(0, 1)) {
        c[1] *= c[0];
        c[0] = 1;
    }
    if (contiguous(1, 2)) {
        c[2] *= c[1];
        c[1] = 1;
    }

    count0 = c[0], count1 = c[1], count2 = c[2];
    sStep0 = s[0], sStep1 = s[1], sStep2 = s[2];
    dStep0 = d[0], dStep1 = d[1], dStep2 = d[2];
}

void dng_pixel_buffer::OptimizeOrder(void*& dPtr, uint32_t dPixelSize, uint32_t& count0, uint32_t& count1,
                                     uint32_t& count2, int32_t& dStep0, int32_t& dStep1, int32_t& dStep2) {
    const void* sPtr = dPtr;
    int32_t s0 = dStep0, s1 = dStep1, s2 = dStep2;
    OptimizeOrder(sPtr, dPtr, dPixelSize, dPixelSize, count0, count1, count2, s0, s1, s2, dStep0, dStep1,
                  dStep2);
}

void dng_pixel_buffer::OptimizeOrder(const void*& sPtr, uint32_t sPixelSize, uint32_t& count0,
                                     uint32_t& count1, uint32_t& count2, int32_t& sStep0, int32_t& sStep1,
                                     int32_t& sStep2) {
    void* dPtr = const_cast<void*>(sPtr);
    int32_t d0 = sStep0, d1 = sStep1, d2 = sStep2;
    OptimizeOrder(sPtr, dPtr, sPixelSize, sPixelSize, count0, count1, count2, sStep0, sStep1, sStep2, d0, d1,
                  d2);
}

namespace {
// Walks `area` of both buffers from the given planes, in the best loop order.
AreaWalk MakeWalk(const dng_pixel_buffer& src, const dng_pixel_buffer& dst, const dng_rect& area,
                  uint32_t srcPlane, uint32_t dstPlane, uint32_t planes) {
    AreaWalk w;
    w.counts = {area.H(), area.W(), planes};
    if (w.IsEmpty()) return w;
    w.sPtr = src.ConstPixel(area.t, area.l, srcPlane);
    w.dPtr = const_cast<void*>(dst.ConstPixel(area.t, area.l, dstPlane));
    w.sSteps = {src.rowStep, src.colStep, src.planeStep};
    w.dSteps = {dst.rowStep, dst.colStep, dst.planeStep};
    dng_pixel_buffer::OptimizeOrder(w.sPtr, w.dPtr, src.pixelSize, dst.pixelSize, w.counts.rows,
                                    w.counts.cols, w.counts.planes, w.sSteps.row, w.sSteps.col,
                                    w.sSteps.plane, w.dSteps.row, w.dSteps.col, w.dSteps.plane);
    return w;
}
} // namespace

void dng_pixel_buffer::SetAreaConstant(const dng_rect& a, uint32_t firstPlane, uint32_t planeCount,
                                       uint32_t value) {
    if (pixelSize != 1 && pixelSize != 2 && pixelSize != 4) ThrowNotYetImplemented();
    const AreaWalk w = MakeWalk(*this, *this, a, firstPlane, firstPlane, planeCount);
    if (w.IsEmpty()) return;
    if (w.counts.rows == 1 && w.counts.cols == 1 && w.dSteps.plane == 1 && value == 0) {
        gKernelSuite.SuiteZeroBytes(w.dPtr, w.RunBytes(pixelSize));
        return;
    }
    switch (pixelSize) {
    case 1:
        gKernelSuite.SuiteFill8(As<uint8_t>(w.dPtr), uint8_t(value), w.counts, w.dSteps);
        break;
    case 2:
        gKernelSuite.SuiteFill16(As<uint16_t>(w.dPtr), uint16_t(value), w.counts, w.dSteps);
        break;
    default:
        gKernelSuite.SuiteFill32(As<uint32_t>(w.dPtr), value, w.counts, w.dSteps);
        break;
    }
}

void dng_pixel_buffer::SetAreaZero(const dng_rect& a, uint32_t firstPlane, uint32_t planeCount) {
    switch (pixelType) {
    case ttByte:
    case ttShort:
    case ttLong:
    case ttFloat:
        return SetAreaConstant(a, firstPlane, planeCount, 0);
    case ttSShort:
        return SetAreaConstant(a, firstPlane, planeCount, 0x8000); // the level unsigned 0 maps to
    default:
        ThrowNotYetImplemented();
    }
}

namespace {
void CopySameType(const AreaWalk& w, uint32_t pixelSize) {
    if (w.IsSingleRun()) {
        gKernelSuite.SuiteCopyBytes(w.sPtr, w.dPtr, w.RunBytes(pixelSize));
        return;
    }
    switch (pixelSize) {
    case 1:
        return gKernelSuite.SuiteCopy8(As<uint8_t>(w.sPtr), As<uint8_t>(w.dPtr), w.counts, w.sSteps,
                                       w.dSteps);
    case 2:
        return gKernelSuite.SuiteCopy16(As<uint16_t>(w.sPtr), As<uint16_t>(w.dPtr), w.counts, w.sSteps,
                                        w.dSteps);
    default:
        return gKernelSuite.SuiteCopy32(As<uint32_t>(w.sPtr), As<uint32_t>(w.dPtr), w.counts, w.sSteps,
                                        w.dSteps);
    }
}

// Narrowing keeps the low-order bytes, which come first in memory on this host.
void CopyLowBytes8(const AreaWalk& w, int32_t factor) {
    gKernelSuite.SuiteCopy8(As<uint8_t>(w.sPtr), As<uint8_t>(w.dPtr), w.counts, Scaled(w.sSteps, factor),
                            w.dSteps);
}

bool IsSupportedConversion(uint32_t from, uint32_t to) {
    switch (from) {
    case ttByte:
        return to == ttShort || to == ttLong || to == ttSShort || to == ttFloat;
    case ttShort:
        return to == ttByte || to == ttLong || to == ttSShort || to == ttFloat;
    case ttLong:
        return to == ttShort || to == ttByte;
    case ttSShort:
        return to == ttShort || to == ttByte || to == ttFloat;
    case ttFloat:
        return to == ttByte || to == ttShort || to == ttSShort;
    default:
        return false;
    }
}

void Convert(const AreaWalk& w, uint32_t from, uint32_t to) {
    const KernelSuite& k = gKernelSuite;
    const auto n = w.counts;
    const auto s = w.sSteps;
    const auto d = w.dSteps;
    switch (from * 100 + to) {
    case ttByte * 100 + ttShort:
        return k.SuiteConvert8To16(As<uint8_t>(w.sPtr), As<uint16_t>(w.dPtr), n, s, d);
    case ttByte * 100 + ttLong:
        return k.SuiteConvert8To32(As<uint8_t>(w.sPtr), As<uint32_t>(w.dPtr), n, s, d);
    case ttByte * 100 + ttSShort:
        return k.SuiteConvert8ToS16(As<uint8_t>(w.sPtr), As<int16_t>(w.dPtr), n, s, d);
    case ttByte * 100 + ttFloat:
        return k.SuiteConvert8ToFloat(As<uint8_t>(w.sPtr), As<float>(w.dPtr), n, s, d, 255);
    case ttShort * 100 + ttByte:
        return CopyLowBytes8(w, 2);
    case ttShort * 100 + ttLong:
        return k.SuiteConvert16To32(As<uint16_t>(w.sPtr), As<uint32_t>(w.dPtr), n, s, d);
    case ttShort * 100 + ttSShort:
        return k.SuiteConvert16ToS16(As<uint16_t>(w.sPtr), As<int16_t>(w.dPtr), n, s, d);
    case ttShort * 100 + ttFloat:
        return k.SuiteConvert16ToFloat(As<uint16_t>(w.sPtr), As<float>(w.dPtr), n, s, d, 65535);
    case ttLong * 100 + ttShort:
        return k.SuiteCopy16(As<uint16_t>(w.sPtr), As<uint16_t>(w.dPtr), n, Scaled(s, 2), d);
    case ttLong * 100 + ttByte:
        return CopyLowBytes8(w, 4);
    case ttSShort * 100 + ttShort: // flipping the top bit either way
        return k.SuiteConvert16ToS16(As<uint16_t>(w.sPtr), As<int16_t>(w.dPtr), n, s, d);
    case ttSShort * 100 + ttByte:
        return CopyLowBytes8(w, 2);
    case ttSShort * 100 + ttFloat:
        return k.SuiteConvertS16ToFloat(As<int16_t>(w.sPtr), As<float>(w.dPtr), n, s, d, 65535);
    case ttFloat * 100 + ttByte:
        return k.SuiteConvertFloatTo8(As<float>(w.sPtr), As<uint8_t>(w.dPtr), n, s, d, 255);
    case ttFloat * 100 + ttShort:
        return k.SuiteConvertFloatTo16(As<float>(w.sPtr), As<uint16_t>(w.dPtr), n, s, d, 65535);
    default:
        return k.SuiteConvertFloatToS16(As<float>(w.sPtr), As<int16_t>(w.dPtr), n, s, d, 65535);
    }
}
} // namespace

void dng_pixel_buffer::CopyArea(const dng_pixel_buffer& src, const dng_rect& a, uint32_t srcPlane,
                                uint32_t dstPlane, uint32_t planeCount) {
    const bool sameType = src.pixelType == pixelType;
    if (sameType ? (pixelSize != 1 && pixelSize != 2 && pixelSize != 4)
                 : !IsSupportedConversion(src.pixelType, pixelType))
        ThrowNotYetImplemented();
    const AreaWalk w = MakeWalk(src, *this, a, srcPlane, dstPlane, planeCount);
    if (w.IsEmpty()) return;
    if (sameType)
        CopySameType(w, pixelSize);
    else
        Convert(w, src.pixelType, pixelType);
}

dng_point dng_pixel_buffer::RepeatPhase(const dng_rect& srcArea, const dng_rect& dstArea) {
    const int64_t height = srcArea.H();
    const int64_t width = srcArea.W();
    if (height == 0 || width == 0) return dng_point(0, 0);
    const int64_t v = ((int64_t(dstArea.t) - srcArea.t) % height + height) % height;
    const int64_t h = ((int64_t(dstArea.l) - srcArea.l) % width + width) % width;
    return dng_point(int32_t(v), int32_t(h));
}

void dng_pixel_buffer::RepeatArea(const dng_rect& srcArea, const dng_rect& dstArea) {
    if (pixelSize != 1 && pixelSize != 2 && pixelSize != 4) ThrowNotYetImplemented();
    // An empty source has nothing to repeat.
    if (srcArea.IsEmpty() || dstArea.IsEmpty()) return;
    const dng_point repeat(int32_t(srcArea.H()), int32_t(srcArea.W()));
    const dng_point phase = RepeatPhase(srcArea, dstArea);
    const void* sPtr = ConstPixel(srcArea.t, srcArea.l, plane);
    void* dPtr = DirtyPixel(dstArea.t, dstArea.l, plane);
    const dng_area_counts counts{dstArea.H(), dstArea.W(), planes};
    const dng_area_steps steps{rowStep, colStep, planeStep};
    switch (pixelSize) {
    case 1:
        return gKernelSuite.SuiteRepeat8(As<uint8_t>(sPtr), As<uint8_t>(dPtr), counts, steps, repeat, phase);
    case 2:
        return gKernelSuite.SuiteRepeat16(As<uint16_t>(sPtr), As<uint16_t>(dPtr), counts, steps, repeat,
                                          phase);
    default:
        return gKernelSuite.SuiteRepeat32(As<uint32_t>(sPtr), As<uint32_t>(dPtr), counts, steps, repeat,
                                          phase);
    }
}

void dng_pixel_buffer::ShiftRight16(uint32_t shift) {
    if (pixelType != ttShort) ThrowNotYetImplemented();
    dng_area_counts counts{area.H(), area.W(), planes};
    if (counts.rows == 0 || counts.cols == 0 || counts.planes == 0) return;
    dng_area_steps steps{rowStep, colStep, planeStep};
    void* dPtr = data;
    OptimizeOrder(dPtr, pixelSize, counts.rows, counts.cols, counts.planes, steps.row, steps.col,
                  steps.plane);
    gKernelSuite.SuiteShiftRight16(As<uint16_t>(dPtr), counts, steps, shift);
}

bool dng_pixel_buffer::EqualArea(const dng_pixel_buffer& src, const dng_rect& a, uint32_t firstPlane,
                                 uint32_t planeCount) const {
    if (src.pixelType != pixelType) return false;
    if (pixelSize != 1 && pixelSize != 2 && pixelSize != 4) ThrowNotYetImplemented();
    const dng_area_counts counts{a.H(), a.W(), planeCount};
    if (counts.rows == 0 || counts.cols == 0 || counts.planes == 0) return true;
    const void* sPtr = src.ConstPixel(a.t, a.l, firstPlane);
    const void* dPtr = ConstPixel(a.t, a.l, firstPlane);
    const dng_area_steps s{src.rowStep, src.colStep, src.planeStep};
    const dng_area_steps d{rowStep, colStep, planeStep};
    if (counts.rows == 1 && counts.cols == 1 && s.plane == 1 && d.plane == 1) {
        uint32_t bytes;
        if (!SafeUint32MultChecked(counts.planes, pixelSize, &bytes)) ThrowOverflow();
        return gKernelSuite.SuiteEqualBytes(sPtr, dPtr, bytes);
    }
    switch (pixelSize) {
    case 1:
        return gKernelSuite.SuiteCompare8(As<uint8_t>(sPtr), As<uint8_t>(dPtr), counts, s, d);
    case 2:
        return gKernelSuite.SuiteCompare16(As<uint16_t>(sPtr), As<uint16_t>(dPtr), counts, s, d);
    default:
        return gKernelSuite.SuiteCompare32(As<uint32_t>(sPtr), As<uint32_t>(dPtr), counts, s, d);
    }
}
