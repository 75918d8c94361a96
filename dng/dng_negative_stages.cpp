// The builds of the stage-2 (linear) and stage-3 (full colour) images, and the choice of the
// stage the DNG writer stores as raw.
#include "dng/dng_negative.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_linearization_info.h"
#include "dng/dng_mosaic_info.h"
#include "dng/dng_tag_types.h"

#include <cmath>

namespace {

constexpr uint32_t kVersion1_4 = 0x01040000;

std::unique_ptr<dng_image> CloneOf(const dng_image* image) {
    return image ? std::unique_ptr<dng_image>(image->Clone()) : nullptr;
}

// A list the writer must store as it is rather than apply ahead of time.
bool Forced(const dng_opcode_list& list) { return list.AlwaysApply(); }

} // namespace

bool dng_negative::NeedDefloatStage2(dng_host& host) const {
    const uint32_t version = host.SaveDNGVersion();
    return fStage2Image && fStage2Image->PixelType() == ttFloat &&
           fRawImageStage > rawImageStagePostOpcode1 && version != 0 && version < kVersion1_4;
}

void dng_negative::DefloatStage2(dng_host&) { ThrowNotYetImplemented("dng_negative::DefloatStage2"); }

void dng_negative::BuildStage2Image(dng_host& host) {
    const uint32_t version = host.SaveDNGVersion();
    if (version != 0) {
        if ((fTransparencyMask && version < kVersion1_4) || version < fOpcodeList3.MinVersion(false) ||
            Forced(fOpcodeList3) || host.PreferredSize() != 0) {
            fRawImageStage = rawImageStagePostOpcode3;
        } else if (host.SaveLinearDNG(*this)) {
            fRawImageStage =
                version < fOpcodeList3.MinVersion(true) ? rawImageStagePostOpcode3 : rawImageStagePreOpcode3;
        } else if (version < fOpcodeList2.MinVersion(false) || Forced(fOpcodeList2)) {
            fRawImageStage = rawImageStagePostOpcode2;
        } else {
            fRawImageStage = (version < fOpcodeList1.MinVersion(false) || Forced(fOpcodeList1))
                                 ? rawImageStagePostOpcode1
                                 : rawImageStagePreOpcode1;
            // Float raw data needs a 1.4 reader; older ones get the linearized image.
            if (fStage1Image && fStage1Image->PixelType() == ttFloat && version < kVersion1_4)
                fRawImageStage = rawImageStagePostOpcode2;
        }
        if (fRawImageStage > rawImageStagePreOpcode1 && host.UseAlternativeSize()) {
            host.SetUseAlternativeSize(false);
            host.SetAlternativePreferredSize(0);
        }
    }

    auto keepRawCopies = [&](const dng_image* image) {
        fRawImage = CloneOf(image);
        if (fTransparencyMask) fRawTransparencyMask = CloneOf(fTransparencyMask.get());
        if (fDepthMap) fRawDepthMap = CloneOf(fDepthMap.get());
    };

    if (fRawImageStage != rawImageStagePreOpcode1) {
        ClearRawImageDigest();
        ClearRawJPEGImageDigest();
        ClearRawJPEGImage();
        fRawFloatBitDepth = 0;
    } else {
        keepRawCopies(fStage1Image.get());
    }

    if (!fStage1Image) ThrowProgramError("No stage-1 image to build from");
    host.ApplyOpcodeList(fOpcodeList1, *this, fStage1Image);

    if (fRawImageStage > rawImageStagePreOpcode1) {
        fOpcodeList1.Clear();
        if (fRawImageStage == rawImageStagePostOpcode1) keepRawCopies(fStage1Image.get());
    }

    NeededLinearizationInfo().Prepare(host, *this);
    Linearize(host);
    fStage1Image.reset();
    if (fRawImageStage >= rawImageStagePostOpcode2) fLinearizationInfo.reset();

    host.ApplyOpcodeList(fOpcodeList2, *this, fStage2Image);
    if (fRawImageStage >= rawImageStagePostOpcode2) fOpcodeList2.Clear();

    PostLinearizeHook(host);
    if (NeedDefloatStage2(host)) DefloatStage2(host);

    if (fRawImageStage == rawImageStagePostOpcode2) {
        keepRawCopies(fStage2Image.get());
        fRawImageBlackLevel = fStage3BlackLevel;
    }
}

void dng_negative::Linearize(dng_host& host) {
    dng_linearization_info& info = NeededLinearizationInfo();
    const dng_rect& active = info.fActiveArea;
    const uint32_t srcType = fStage1Image->PixelType();
    const uint32_t dstType = srcType == ttLong || srcType == ttFloat ? ttFloat : ttShort;
    fStage2Image.reset(host.CreateImage(dng_rect(active.H(), active.W()), fStage1Image->Planes(), dstType));
    info.Linearize(host, *this, *fStage1Image, *fStage2Image);
}

void dng_negative::BuildStage3Image(dng_host& host, int32_t srcPlane) {
    if (fMosaicInfo) fMosaicInfo->PrepareFromNegative(host, *this);
    DoBuildStage3(host, srcPlane, nullptr);
    if (!host.KeepStage2()) fStage2Image.reset();

    if (fRawImageStage >= rawImageStagePreOpcode3) {
        if (!host.KeepStage2()) fMosaicInfo.reset();
        // The raw image written is stage 3, so the crop is expressed in its pixels.
        if (fRawToFullScaleH > 1.0) {
            const uint32_t e = uint32_t(std::floor(fRawToFullScaleH + 0.5));
            fDefaultCropSizeH.n *= e;
            fDefaultCropOriginH.n *= e;
            fDefaultScaleH.d *= e;
            fRawToFullScaleH /= e;
        }
        if (fRawToFullScaleV > 1.0) {
            const uint32_t e = uint32_t(std::floor(fRawToFullScaleV + 0.5));
            fDefaultCropSizeV.n *= e;
            fDefaultCropOriginV.n *= e;
            fDefaultScaleV.d *= e;
            fRawToFullScaleV /= e;
        }
    }

    ResizeTransparencyMask(host, false);

    if (fRawImageStage == rawImageStagePreOpcode3) {
        fRawImage = CloneOf(fStage3Image.get());
        fRawImageBlackLevel = fStage3BlackLevel;
        if (fTransparencyMask) fRawTransparencyMask = CloneOf(fTransparencyMask.get());
        if (fDepthMap) fRawDepthMap = CloneOf(fDepthMap.get());
    }

    host.ApplyOpcodeList(fOpcodeList3, *this, fStage3Image);
    if (fRawImageStage > rawImageStagePreOpcode3 && !host.KeepStage2()) fOpcodeList3.Clear();

    ResizeTransparencyMask(host, false);
    ResizeDepthMap(host);
    fFloatingPoint = fStage3Image && fStage3Image->PixelType() == ttFloat;
}

void dng_negative::DoBuildStage3(dng_host& host, int32_t srcPlane, std::vector<dng_matrix>* scaleMatrices) {
    if (!fStage2Image) ThrowProgramError("No stage-2 image to build from");
    if (fMosaicInfo && fMosaicInfo->IsColorFilterArray()) {
        if (srcPlane < 0 && fStage2Image->Planes() > 1)
            MergeStage3(host, scaleMatrices);
        else
            InterpolateStage3(host, srcPlane, scaleMatrices);
        fRawToFullScaleH = double(fStage3Image->Width()) / fStage2Image->Width();
        fRawToFullScaleV = double(fStage3Image->Height()) / fStage2Image->Height();
        return;
    }
    fStage3Image = std::move(fStage2Image);
}

void dng_negative::InterpolateStage3(dng_host& host, int32_t srcPlane,
                                     std::vector<dng_matrix>* scaleMatrices) {
    dng_mosaic_info& info = *fMosaicInfo;
    const uint32_t preferred = host.UseAlternativeSize() && host.AlternativePreferredSize() != 0
                                   ? host.AlternativePreferredSize()
                                   : host.PreferredSize();
    const dng_point downScale = info.DownScaleFactor(host.MinimumSize(), preferred, host.CropFactor());
    if (downScale != dng_point(1, 1)) SetIsPreview(true);
    const dng_point size = info.DestinationSize(downScale);
    if (size.v <= 0 || size.h <= 0) ThrowBadFormat("No stage-3 size for this mosaic");
    fStage3Image.reset(host.CreateImage(dng_rect(size), info.fColorPlanes, fStage2Image->PixelType()));
    if (srcPlane < 0 || uint32_t(srcPlane) >= fStage2Image->Planes()) srcPlane = 0;
    info.Interpolate(host, *this, *fStage2Image, *fStage3Image, downScale, uint32_t(srcPlane), scaleMatrices);
}

void dng_negative::MergeStage3(dng_host& host, std::vector<dng_matrix>* scaleMatrices) {
    InterpolateStage3(host, 0, scaleMatrices);
    fStage3Gain = std::pow(2.0, BaselineExposure());
}

void dng_negative::ResizeTransparencyMask(dng_host& host, bool convertTo8Bit) {
    if (!fTransparencyMask || !fStage3Image) return;
    const dng_rect bounds = fStage3Image->Bounds();
    if (fTransparencyMask->Bounds() == bounds && (fTransparencyMask->PixelType() == ttByte || !convertTo8Bit))
        return;
    std::unique_ptr<dng_image> resized(
        host.CreateImage(bounds, 1, convertTo8Bit ? uint32_t(ttByte) : fTransparencyMask->PixelType()));
    host.ResampleInto(*fTransparencyMask, *resized);
    fTransparencyMask = std::move(resized);
    if (!fRawTransparencyMask)
        fRawTransparencyMaskBitDepth = 0;
    else if (convertTo8Bit)
        fRawTransparencyMaskBitDepth = 8;
}

void dng_negative::ResizeDepthMap(dng_host& host) {
    if (!fDepthMap || !fStage3Image || fDepthMap->Bounds() == fStage3Image->Bounds()) return;
    const dng_rect bounds = fStage3Image->Bounds();
    if (!fRawDepthMap &&
        uint64_t(fDepthMap->Width()) * fDepthMap->Height() < uint64_t(bounds.W()) * bounds.H())
        fRawDepthMap = CloneOf(fDepthMap.get());
    std::unique_ptr<dng_image> resized(host.CreateImage(bounds, 1, fDepthMap->PixelType()));
    host.ResampleInto(*fDepthMap, *resized);
    fDepthMap = std::move(resized);
}
