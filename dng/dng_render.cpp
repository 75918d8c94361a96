#include "dng/dng_render.h"

#include "KernelSuite.h"
#include "dng/dng_camera_profile.h"
#include "dng/dng_camera_profile_id.h"
#include "dng/dng_color_space.h"
#include "dng/dng_color_spec.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_hue_sat_map.h"
#include "dng/dng_image.h"
#include "dng/dng_negative.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_resample.h"
#include "dng/dng_spline.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_tone_curve.h"
#include "dng/dng_tone_curve_acr3_default.h"
#include "dng/dng_xy_coord.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

uint32_t RoundSize(double x) { return x + 0.5 <= 0 ? 0u : uint32_t(std::min(x + 0.5, 4294967295.0)); }

size_t CheckedBufferCount(uint64_t count) {
    if (count > std::numeric_limits<uint32_t>::max() / 4)
        ThrowOverflow("Arithmetic overflow computing buffer size.");
    return size_t(count);
}

dng_hue_sat_table_view ViewOf(const dng_hue_sat_map& map) {
    return {map.HueDivisions(), map.SatDivisions(), map.ValDivisions(),
            reinterpret_cast<const float*>(map.GetConstDeltas())};
}

} // namespace

// ---- 1-D functions.

double dng_function_zero_offset::Evaluate(double x) const {
    return std::clamp((x - fBlack) * fScale, 0.0, 1.0);
}

dng_function_exposure_ramp::dng_function_exposure_ramp(double white, double black, double minBlack)
    : fSlope(1.0 / (white - black)), fBlack(black), fRadius(std::min(0.5 * minBlack, 0.0625 / fSlope)),
      fQScale(fRadius > 0.0 ? fSlope / (4.0 * fRadius) : 0.0) {}

double dng_function_exposure_ramp::Evaluate(double x) const {
    if (x <= fBlack - fRadius) return 0.0;
    if (x >= fBlack + fRadius) return std::min((x - fBlack) * fSlope, 1.0);
    const double y = x - (fBlack - fRadius);
    return fQScale * y * y;
}

dng_function_exposure_tone::dng_function_exposure_tone(double exposure) : fIsNOP(exposure >= 0.0) {
    if (fIsNOP) return;
    fSlope = std::pow(2.0, exposure);
    fA = 16.0 / 9.0 * (1.0 - fSlope);
    fB = fSlope - 0.5 * fA;
    fC = 1.0 - fA - fB;
}

double dng_function_exposure_tone::Evaluate(double x) const {
    if (fIsNOP) return x;
    if (x <= 0.25) return x * fSlope;
    return (fA * x + fB) * x + fC;
}

double dng_tone_curve_default_function::Evaluate(double x) const {
    const auto& table = dng_tone_curve_acr3_default::table();
    const float y = float(x) * 1024.0f;
    const int32_t i = std::clamp(int32_t(y), 0, 1023);
    const float f = y - float(i);
    return table[size_t(i)] * (1.0f - f) + table[size_t(i) + 1] * f;
}

const dng_1d_function& dng_tone_curve_default_function::Get() {
    static const dng_tone_curve_default_function instance;
    return instance;
}

// ---- Render settings.

dng_render::dng_render(dng_host& host, const dng_negative& negative)
    : fHost(host), fNegative(negative), fToneCurve(&dng_tone_curve_default_function::Get()),
      fFinalSpace(&dng_space_sRGB::Get()) {
    if (negative.ColorimetricReference() != 0) {
        fShadows = 0.0;
        fToneCurve = &dng_1d_identity::Get();
    }
    const dng_camera_profile* profile = negative.FindCameraProfile(dng_camera_profile_id(), true);
    if (profile) {
        if (profile->ToneCurve().IsValid()) {
            fProfileToneCurve = std::make_unique<dng_spline_solver>();
            profile->ToneCurve().Solve(*fProfileToneCurve);
            fToneCurve = fProfileToneCurve.get();
        }
        if (profile->DefaultBlackRender() == 1) fShadows = 0.0;
    }
}

dng_render::~dng_render() = default;

dng_point dng_render::FinalSize() const {
    const double w = fNegative.DefaultCropSizeH().AsDouble() * fNegative.DefaultScaleH().AsDouble();
    const double h = fNegative.DefaultCropSizeV().AsDouble() * fNegative.DefaultScaleV().AsDouble();
    uint32_t width = RoundSize(w), height = RoundSize(h);
    if (fMaximumSize && std::max(width, height) > fMaximumSize) {
        const double aspect = w / h;
        if (aspect >= 1.0) {
            width = fMaximumSize;
            height = std::max(1u, RoundSize(fMaximumSize / aspect));
        } else {
            height = fMaximumSize;
            width = std::max(1u, RoundSize(fMaximumSize * aspect));
        }
    }
    if (width > INT32_MAX || height > INT32_MAX) ThrowOverflow();
    return dng_point(int32_t(height), int32_t(width));
}

dng_image* dng_render::Render() {
    const dng_image* source = fNegative.Stage3Image();
    if (!source) ThrowProgramError("Rendering needs a stage-3 image");
    const dng_image* mask = fNegative.TransparencyMask();
    dng_rect srcArea = fNegative.DefaultCropArea();
    const dng_point finalSize = FinalSize();
    if (finalSize.v <= 0 || finalSize.h <= 0 || srcArea.IsEmpty()) ThrowProgramError("Empty render");

    std::unique_ptr<dng_image> resampled, resampledMask;
    if (dng_point(int32_t(srcArea.H()), int32_t(srcArea.W())) != finalSize) {
        const dng_rect finalBounds(finalSize);
        resampled.reset(fHost.CreateImage(finalBounds, source->Planes(), source->PixelType()));
        ResampleImage(fHost, *source, *resampled, srcArea, finalBounds, dng_resample_bicubic::Get());
        if (mask) {
            resampledMask.reset(fHost.CreateImage(finalBounds, mask->Planes(), mask->PixelType()));
            ResampleImage(fHost, *mask, *resampledMask, srcArea, finalBounds, dng_resample_bicubic::Get());
            mask = resampledMask.get();
        }
        source = resampled.get();
        srcArea = finalBounds;
    }

    const uint32_t planes = fFinalSpace->IsMonochrome() ? 1 : 3;
    std::unique_ptr<dng_image> result(
        fHost.CreateImage(dng_rect(srcArea.H(), srcArea.W()), planes, fFinalPixelType));
    dng_render_task task(*source, mask, *result, fNegative, *this, srcArea.TL());
    fHost.PerformAreaTask(task, result->Bounds());
    return result.release();
}

// ---- Render task.

dng_render_task::dng_render_task(const dng_image& srcImage, const dng_image* srcMask, dng_image& dstImage,
                                 const dng_negative& negative, const dng_render& params,
                                 const dng_point& srcOffset)
    : dng_filter_task("dng_render_task", srcImage, dstImage), fSrcMask(srcMask), fNegative(negative),
      fParams(params), fSrcOffset(srcOffset) {
    fSrcPixelType = ttFloat;
    fDstPixelType = ttFloat;
}

dng_render_task::~dng_render_task() {
    fMaskBuffers.clear();
    fRowBuffers.clear();
}

dng_rect dng_render_task::SrcArea(const dng_rect& dstArea) {
    return dng_rect(dstArea.t + fSrcOffset.v, dstArea.l + fSrcOffset.h, dstArea.b + fSrcOffset.v,
                    dstArea.r + fSrcOffset.h);
}

void dng_render_task::Start(uint32_t threadCount, const dng_rect& dstArea, const dng_point& tileSize,
                            dng_memory_allocator* allocator, dng_abort_sniffer* sniffer) {
    dng_filter_task::Start(threadCount, dstArea, tileSize, allocator, sniffer);
    dng_memory_allocator& a = allocator ? *allocator : gDefaultDNGMemoryAllocator;
    const dng_camera_profile_id noProfile;

    if (fNegative.Stage3BlackLevel() != 0)
        fZeroOffsetRamp.Initialize(a, dng_function_zero_offset(fNegative.Stage3BlackLevel() / 65535.0));

    if (fNegative.ColorChannels() > 1) {
        std::unique_ptr<dng_color_spec> spec(fNegative.MakeColorSpec(noProfile));
        dng_xy_coord white(0.3324, 0.3474);
        if (fParams.WhiteX() > 0.0 && fParams.WhiteY() > 0.0) {
            white = dng_xy_coord(fParams.WhiteX(), fParams.WhiteY());
        } else if (fNegative.HasCameraNeutral()) {
            white = spec->NeutralToXY(fNegative.CameraNeutral());
        } else if (fNegative.HasCameraWhiteXY()) {
            fNegative.CameraWhiteXY(white.x, white.y);
        }
        spec->SetWhiteXY(white);
        fCameraWhite = spec->CameraWhite();
        fCameraToRGB = dng_space_ProPhoto::Get().MatrixFromPCS() * spec->CameraToPCS();
        if (const dng_camera_profile* profile = fNegative.FindCameraProfile(noProfile, true)) {
            fHueSatMap.reset(profile->HueSatMapForWhite(spec->WhiteXY()));
            const dng_hue_sat_map& look = profile->LookTable();
            if (look.HueDivisions() != 0 && look.SatDivisions() > 1 && look.ValDivisions() != 0 &&
                look.IsValid())
                fLookTable = std::make_unique<dng_hue_sat_map>(look);
            if (profile->HueSatMapEncoding() != 0)
                dng_hue_sat_map::BuildMapEncodingTables(a, profile->HueSatMapEncoding(), fHueSatEncode,
                                                        fHueSatDecode, false);
            if (profile->LookTableEncoding() != 0)
                dng_hue_sat_map::BuildMapEncodingTables(a, profile->LookTableEncoding(), fLookEncode,
                                                        fLookDecode, false);
        }
    }

    const double gain = fNegative.Stage3Gain();
    const double exposure = fParams.Exposure() + fNegative.TotalBaselineExposure(noProfile) - std::log2(gain);
    const double white = 1.0 / std::pow(2.0, std::max(0.0, exposure));
    const double black = std::min(fParams.Shadows() * fNegative.ShadowScale() * gain * 0.001, 0.99 * white);
    fExposureRamp.Initialize(a, dng_function_exposure_ramp(white, black, black));

    const dng_function_exposure_tone exposureTone(exposure);
    fToneTable.Initialize(a, dng_1d_concatenate(exposureTone, fParams.ToneCurve()));

    const dng_color_space& final = fParams.FinalSpace();
    fRGBtoFinal = final.MatrixFromPCS() * dng_space_ProPhoto::Get().MatrixToPCS();
    fEncodeGamma.Initialize(a, final.GammaFunction());

    const uint64_t rowFloats = uint64_t(tileSize.h) * 3;
    fRowBuffers.assign(threadCount, std::vector<float>(CheckedBufferCount(rowFloats)));
    if (fSrcMask)
        fMaskBuffers.assign(threadCount,
                            std::vector<float>(CheckedBufferCount(uint64_t(tileSize.h) * tileSize.v)));
}

void dng_render_task::ProcessArea(uint32_t threadIndex, dng_pixel_buffer& src, dng_pixel_buffer& dst) {
    const dng_rect& srcArea = src.area;
    const dng_rect& dstArea = dst.area;
    const uint32_t count = srcArea.W();
    const uint32_t srcPlanes = src.planes;
    float* rowR = fRowBuffers[threadIndex].data();
    float* rowG = rowR + count;
    float* rowB = rowG + count;
    const KernelSuite& k = gKernelSuite;

    dng_pixel_buffer maskBuffer;
    if (fSrcMask) {
        maskBuffer = dng_pixel_buffer(srcArea, 0, 1, ttFloat, dng_pixel_buffer::interleaved,
                                      fMaskBuffers[threadIndex].data());
        fSrcMask->Get(maskBuffer);
    }

    for (int32_t srcRow = srcArea.t; srcRow < srcArea.b; ++srcRow) {
        if (fNegative.Stage3BlackLevel() != 0)
            for (uint32_t p = 0; p < srcPlanes; ++p) {
                float* s = src.DirtyPixelAs<float>(srcRow, srcArea.l, src.plane + p);
                k.SuiteTable1D(s, s, count, fZeroOffsetRamp);
            }
        auto plane = [&](uint32_t p) { return src.ConstPixelAs<float>(srcRow, srcArea.l, src.plane + p); };
        if (srcPlanes == 1) {
            k.SuiteCopyBytes(plane(0), rowR, count * 4);
            k.SuiteCopyBytes(plane(0), rowG, count * 4);
            k.SuiteCopyBytes(plane(0), rowB, count * 4);
        } else {
            if (srcPlanes == 3)
                k.SuiteCameraToRGB3(plane(0), plane(1), plane(2), rowR, rowG, rowB, count, fCameraWhite,
                                    fCameraToRGB);
            else
                k.SuiteCameraToRGB4(plane(0), plane(1), plane(2), plane(3), rowR, rowG, rowB, count,
                                    fCameraWhite, fCameraToRGB);
            if (fHueSatMap)
                k.SuiteHueSatMap(rowR, rowG, rowB, rowR, rowG, rowB, count, ViewOf(*fHueSatMap),
                                 fHueSatEncode.get(), fHueSatDecode.get());
        }
        k.SuiteTable1D(rowR, rowR, count, fExposureRamp);
        k.SuiteTable1D(rowG, rowG, count, fExposureRamp);
        k.SuiteTable1D(rowB, rowB, count, fExposureRamp);
        if (fLookTable)
            k.SuiteHueSatMap(rowR, rowG, rowB, rowR, rowG, rowB, count, ViewOf(*fLookTable),
                             fLookEncode.get(), fLookDecode.get());
        k.SuiteRGBTone(rowR, rowG, rowB, rowR, rowG, rowB, count, fToneTable);

        const int32_t dstRow = srcRow + (dstArea.t - srcArea.t);
        if (dst.planes == 1) {
            float* d = dst.DirtyPixelAs<float>(dstRow, dstArea.l, dst.plane);
            k.SuiteRGBToGray(rowR, rowG, rowB, d, count, fRGBtoFinal);
            k.SuiteTable1D(d, d, count, fEncodeGamma);
        } else {
            float* d0 = dst.DirtyPixelAs<float>(dstRow, dstArea.l, dst.plane);
            float* d1 = dst.DirtyPixelAs<float>(dstRow, dstArea.l, dst.plane + 1);
            float* d2 = dst.DirtyPixelAs<float>(dstRow, dstArea.l, dst.plane + 2);
            k.SuiteRGBToRGB(rowR, rowG, rowB, d0, d1, d2, count, fRGBtoFinal);
            k.SuiteTable1D(d0, d0, count, fEncodeGamma);
            k.SuiteTable1D(d1, d1, count, fEncodeGamma);
            k.SuiteTable1D(d2, d2, count, fEncodeGamma);
        }
        if (fSrcMask) {
            const float* m = maskBuffer.ConstPixelAs<float>(srcRow, srcArea.l, 0);
            for (uint32_t p = 0; p < dst.planes; ++p) {
                float* d = dst.DirtyPixelAs<float>(dstRow, dstArea.l, dst.plane + p);
                for (uint32_t i = 0; i < count; ++i)
                    d[i] = 1.0f - (1.0f - d[i]) * m[i];
            }
        }
    }
}
