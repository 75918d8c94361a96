#include "dng/dng_negative.h"

#include "dng/dng_camera_profile.h"
#include "dng/dng_color_spec.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_jpeg_image.h"
#include "dng/dng_linearization_info.h"
#include "dng/dng_memory.h"
#include "dng/dng_mosaic_info.h"
#include "dng/dng_rational.h"
#include "dng/dng_tag_types.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kMillionths = 1000000.0;

double RoundToMillionths(double x) { return std::round(x * kMillionths) / kMillionths; }

dng_urational Millionths(double x) {
    dng_urational r;
    r.SetDouble(x, uint32_t(kMillionths));
    return r;
}

// v / divisor in millionths; empty unless the divisor is positive.
dng_vector Normalized(const dng_vector& v, double divisor) {
    if (!(divisor > 0.0)) return dng_vector();
    dng_vector result = v;
    for (uint32_t i = 0; i < result.Count(); ++i)
        result[i] = RoundToMillionths(result[i] / divisor);
    return result;
}

// Half away from zero, saturating at the 32-bit range.
int32_t RoundInt32(double x) { return dng_clamped_int32(std::round(x)); }

// x + 0.5 truncated, never below 0.
uint32_t RoundedSize(double x) { return dng_clamped_uint32(x + 0.5); }

// A scaled crop edge that starts at `origin` with `size` moved back inside [0, limit).
void KeepInside(int32_t& origin, int32_t size, int32_t limit) {
    if (origin + size > limit) origin = limit - size;
}
} // namespace

dng_negative* dng_negative::Make(dng_host& host) {
    std::unique_ptr<dng_negative> negative(dng_guard_allocation([&] { return new dng_negative(host); }));
    negative->Initialize();
    return negative.release();
}

dng_negative::dng_negative(dng_host& host) : fAllocator(host.Allocator()), fMetadata(host) {}

dng_negative::~dng_negative() = default;

// ---- Profiles.

void dng_negative::AddProfile(std::unique_ptr<dng_camera_profile> profile) {
    if (!profile) return;
    if (profile->Name().IsEmpty()) profile->SetName("Embedded");
    // A profile added again under its own name replaces the one made before it had a name.
    if (!fCameraProfiles.empty() && fCameraProfiles.front()->Name().Matches("Embedded", true) &&
        *fCameraProfiles.front() == *profile)
        fCameraProfiles.erase(fCameraProfiles.begin());
    const auto same = std::find_if(fCameraProfiles.begin(), fCameraProfiles.end(), [&](const auto& p) {
        return *p == *profile && p->Name() == profile->Name();
    });
    if (same != fCameraProfiles.end()) fCameraProfiles.erase(same);
    dng_guard_allocation([&] { fCameraProfiles.push_back(std::move(profile)); });
}

const dng_camera_profile* dng_negative::FindCameraProfile(const dng_camera_profile_id& id,
                                                          bool useDefaultIfNoMatch) const {
    if (fCameraProfiles.empty()) return nullptr;
    const dng_string& name = id.Name();
    const dng_fingerprint& fingerprint = id.Fingerprint();
    const auto first = [&](auto matches) -> dng_camera_profile* {
        for (const auto& p : fCameraProfiles)
            if (matches(*p)) return p.get();
        return nullptr;
    };
    if (name.NotEmpty() && fingerprint.IsValid())
        if (auto* p = first(
                [&](dng_camera_profile& p) { return p.Name() == name && p.Fingerprint() == fingerprint; }))
            return p;
    if (name.NotEmpty())
        if (auto* p = first([&](dng_camera_profile& p) { return p.Name() == name; })) return p;
    if (fingerprint.IsValid())
        if (auto* p = first([&](dng_camera_profile& p) { return p.Fingerprint() == fingerprint; })) return p;
    if (name.NotEmpty()) {
        // The newest version of the same base name.
        dng_string baseName;
        int32_t version = 0;
        dng_camera_profile::SplitProfileName(name, baseName, version);
        const dng_camera_profile* best = nullptr;
        int32_t bestVersion = 0;
        for (const auto& p : fCameraProfiles) {
            if (!p->Name().StartsWith(baseName.Get(), false)) continue;
            dng_string testBase;
            int32_t testVersion = 0;
            dng_camera_profile::SplitProfileName(p->Name(), testBase, testVersion);
            if (!best || testVersion > bestVersion) {
                best = p.get();
                bestVersion = testVersion;
            }
        }
        if (best) return best;
    }
    return useDefaultIfNoMatch ? fCameraProfiles.front().get() : nullptr;
}

const dng_camera_profile* dng_negative::ProfileToEmbed() const {
    if (fCameraProfiles.empty()) return nullptr;
    for (const auto& p : fCameraProfiles)
        if (p->WasPreferredForEmbedding()) return p.get();
    // Policy 2 forbids embedding.
    for (const auto& p : fCameraProfiles)
        if (p->EmbedPolicy() <= 3 && p->EmbedPolicy() != 2) return p.get();
    return fCameraProfiles.front().get();
}

dng_color_spec* dng_negative::MakeColorSpec(const dng_camera_profile_id& id) const {
    dng_color_spec_camera camera;
    camera.channels = fColorChannels;
    camera.calibrationSignature = fCameraCalibrationSignature;
    camera.cameraCalibration1 = fCameraCalibration1;
    camera.cameraCalibration2 = fCameraCalibration2;
    camera.analogBalance = fAnalogBalance;
    const dng_camera_profile* profile = FindCameraProfile(id, true);
    return dng_guard_allocation([&] { return new dng_color_spec(camera, profile); });
}

double dng_negative::TotalBaselineExposure(const dng_camera_profile_id& id) const {
    double total = BaselineExposure();
    if (const dng_camera_profile* profile = FindCameraProfile(id, true))
        total += profile->BaselineExposureOffset().AsDouble();
    return total;
}

bool dng_negative::MakeFourColorBayer() {
    if (fColorChannels != 3 || !fMosaicInfo || !fMosaicInfo->SplitGreen()) return false;
    fColorChannels = 4;
    if (fCameraNeutral.Count() == 3) {
        dng_vector neutral(4);
        for (uint32_t i = 0; i < 3; ++i)
            neutral[i] = fCameraNeutral[i];
        neutral[3] = fCameraNeutral[1];
        fCameraNeutral = neutral;
    }
    fCameraCalibration1.Clear();
    fCameraCalibration2.Clear();
    fCameraCalibrationSignature.Clear();
    for (auto& p : fCameraProfiles)
        p->SetFourColorBayer();
    return true;
}

void dng_negative::UnsupportedStep() { ThrowNotYetImplemented(); }

std::unique_ptr<dng_linearization_info> dng_negative::MakeLinearizationInfo() {
    return std::unique_ptr<dng_linearization_info>(
        dng_guard_allocation([] { return new dng_linearization_info; }));
}

std::unique_ptr<dng_mosaic_info> dng_negative::MakeMosaicInfo() {
    return std::unique_ptr<dng_mosaic_info>(dng_guard_allocation([] { return new dng_mosaic_info; }));
}

// ---- Geometry.

void dng_negative::SetDefaultUserCrop(const dng_urational& t, const dng_urational& l, const dng_urational& b,
                                      const dng_urational& r) {
    fDefaultUserCropT = t;
    fDefaultUserCropL = l;
    fDefaultUserCropB = b;
    fDefaultUserCropR = r;
}

bool dng_negative::HasDefaultUserCrop() const {
    return fDefaultUserCropT.AsDouble() != 0.0 || fDefaultUserCropL.AsDouble() != 0.0 ||
           fDefaultUserCropB.AsDouble() != 1.0 || fDefaultUserCropR.AsDouble() != 1.0;
}

dng_rect dng_negative::DefaultCropArea() const {
    int32_t originH = RoundInt32(fDefaultCropOriginH.AsDouble() * fRawToFullScaleH);
    int32_t originV = RoundInt32(fDefaultCropOriginV.AsDouble() * fRawToFullScaleV);
    const int32_t sizeH = RoundInt32(fDefaultCropSizeH.AsDouble() * fRawToFullScaleH);
    const int32_t sizeV = RoundInt32(fDefaultCropSizeV.AsDouble() * fRawToFullScaleV);
    if (fStage3Image) {
        KeepInside(originV, sizeV, int32_t(fStage3Image->Height()));
        KeepInside(originH, sizeH, int32_t(fStage3Image->Width()));
    }
    return dng_rect(originV, originH, originV + sizeV, originH + sizeH);
}

uint32_t dng_negative::DefaultFinalWidth() const {
    return RoundedSize(fDefaultCropSizeH.AsDouble() * fDefaultScaleH.AsDouble());
}

uint32_t dng_negative::DefaultFinalHeight() const {
    return RoundedSize(fDefaultCropSizeV.AsDouble() * fDefaultScaleV.AsDouble());
}

uint32_t dng_negative::BestQualityFinalWidth() const {
    return RoundedSize(fDefaultCropSizeH.AsDouble() *
                       (fBestQualityScale.AsDouble() * fDefaultScaleH.AsDouble()));
}

double dng_negative::FinalHeightPerCropWidth() const {
    const double width = fDefaultCropSizeH.AsDouble() * fDefaultScaleH.AsDouble();
    const double height = fDefaultCropSizeV.AsDouble() * fDefaultScaleV.AsDouble();
    return width > 0.0 ? height / width : 1.0;
}

uint32_t dng_negative::BestQualityFinalHeight() const {
    return RoundedSize(double(BestQualityFinalWidth()) * FinalHeightPerCropWidth());
}

// ---- Exposure hints and colour.

void dng_negative::SetShadowScale(const dng_urational& scale) {
    if (scale.d == 0) return;
    const double s = scale.AsDouble();
    if (s > 0.0 && s <= 1.0) fShadowScale = scale;
}

void dng_negative::SetAnalogBalance(const dng_vector& balance) {
    fAnalogBalance = Normalized(balance, balance.NotEmpty() ? balance.MinEntry() : 0.0);
}

double dng_negative::AnalogBalance(uint32_t channel) const {
    return channel < fAnalogBalance.Count() ? fAnalogBalance[channel] : 1.0;
}

dng_urational dng_negative::AnalogBalanceR(uint32_t channel) const {
    return Millionths(AnalogBalance(channel));
}

void dng_negative::SetCameraNeutral(const dng_vector& neutral) {
    fCameraNeutral = Normalized(neutral, neutral.NotEmpty() ? neutral.MaxEntry() : 0.0);
}

dng_urational dng_negative::CameraNeutralR(uint32_t channel) const {
    return Millionths(channel < fCameraNeutral.Count() ? fCameraNeutral[channel] : 0.0);
}

void dng_negative::SetCameraWhiteXY(double x, double y) {
    if (x > 0.0 && y > 0.0) {
        fCameraWhiteX = RoundToMillionths(x);
        fCameraWhiteY = RoundToMillionths(y);
    } else {
        fCameraWhiteX = 0.0;
        fCameraWhiteY = 0.0;
    }
}

void dng_negative::GetCameraWhiteXY(dng_urational& x, dng_urational& y) const {
    x = Millionths(fCameraWhiteX);
    y = Millionths(fCameraWhiteY);
}

void dng_negative::SetOriginalRawFileData(std::unique_ptr<dng_memory_block> data) {
    fOriginalRawFileData = std::move(data);
}

uint32_t dng_negative::PrivateLength() const { return fDNGPrivateData ? fDNGPrivateData->LogicalSize() : 0; }

// ---- Levels and mosaic.

dng_linearization_info& dng_negative::NeededLinearizationInfo() {
    if (!fLinearizationInfo) fLinearizationInfo = MakeLinearizationInfo();
    return *fLinearizationInfo;
}

void dng_negative::ClearLinearizationInfo() { fLinearizationInfo.reset(); }

void dng_negative::SetActiveArea(const dng_rect& area) { NeededLinearizationInfo().fActiveArea = area; }

void dng_negative::SetWhiteLevel(uint32_t white, int32_t plane) {
    dng_linearization_info& info = NeededLinearizationInfo();
    if (plane < 0) {
        std::fill(std::begin(info.fWhiteLevel), std::end(info.fWhiteLevel), double(white));
    } else if (uint32_t(plane) < dng_linearization_info::kMaxPlanes) {
        info.fWhiteLevel[plane] = double(white);
    }
}

void dng_negative::SetBlackLevel(double black, int32_t plane) {
    dng_linearization_info& info = NeededLinearizationInfo();
    info.fBlackLevelRepeatRows = 1;
    info.fBlackLevelRepeatCols = 1;
    if (plane < 0) {
        std::fill(std::begin(info.fBlackLevel[0][0]), std::end(info.fBlackLevel[0][0]), black);
    } else if (uint32_t(plane) < dng_linearization_info::kMaxPlanes) {
        info.fBlackLevel[0][0][plane] = black;
    }
    info.RoundBlacks();
}

uint32_t dng_negative::WhiteLevel(uint32_t plane) const {
    if (!fLinearizationInfo) return HasRawImage() && RawImage().PixelType() == ttFloat ? 1 : 65535;
    if (plane >= dng_linearization_info::kMaxPlanes) plane = 0;
    return dng_clamped_uint32(fLinearizationInfo->fWhiteLevel[plane] + 0.5);
}

dng_mosaic_info& dng_negative::NeededMosaicInfo() {
    if (!fMosaicInfo) fMosaicInfo = MakeMosaicInfo();
    return *fMosaicInfo;
}

void dng_negative::ClearMosaicInfo() { fMosaicInfo.reset(); }

void dng_negative::SetColorKeys(uint8_t color0, uint8_t color1, uint8_t color2, uint8_t color3) {
    dng_mosaic_info& info = NeededMosaicInfo();
    info.fCFAPlaneColor[0] = color0;
    info.fCFAPlaneColor[1] = color1;
    info.fCFAPlaneColor[2] = color2;
    info.fCFAPlaneColor[3] = color3;
}

void dng_negative::SetBayerMosaic(uint32_t phase) {
    dng_mosaic_info& info = NeededMosaicInfo();
    const uint8_t c0 = info.fCFAPlaneColor[0];
    const uint8_t c1 = info.fCFAPlaneColor[1];
    const uint8_t c2 = info.fCFAPlaneColor[2];
    // Rows 0 and 1 of the 2 x 2 pattern for each phase.
    const uint8_t patterns[4][2][2] = {
        {{c1, c0}, {c2, c1}}, {{c0, c1}, {c1, c2}}, {{c2, c1}, {c1, c0}}, {{c1, c2}, {c0, c1}}};
    info.fCFAPatternSize = dng_point(2, 2);
    if (phase < 4)
        for (uint32_t row = 0; row < 2; ++row)
            for (uint32_t col = 0; col < 2; ++col)
                info.fCFAPattern[row][col] = patterns[phase][row][col];
    info.fColorPlanes = 3;
    info.fCFALayout = 1;
}

// ---- Images.

const dng_image& dng_negative::RawImage() const {
    if (fRawImage) return *fRawImage;
    if (fStage1Image) return *fStage1Image;
    if (fAlternateRawImage) return *fAlternateRawImage;
    if (fStage3Image) return *fStage3Image;
    ThrowProgramError("dng_negative::RawImage with no raw image");
}

bool dng_negative::HasRawImage() const {
    return fRawImage || fStage1Image || fAlternateRawImage || fStage3Image;
}

uint16_t dng_negative::RawImageBlackLevel() const {
    if (fRawImage) return fRawImageBlackLevel;
    if (fStage1Image) return 0;
    return fStage3BlackLevel;
}

void dng_negative::SetRawJPEGImage(std::unique_ptr<dng_jpeg_image> image) {
    fRawJPEGImage = std::move(image);
}

void dng_negative::ClearRawJPEGImage() { fRawJPEGImage.reset(); }

const dng_image* dng_negative::RawTransparencyMask() const {
    return fRawTransparencyMask ? fRawTransparencyMask.get() : fTransparencyMask.get();
}

uint32_t dng_negative::RawTransparencyMaskBitDepth() const {
    if (fRawTransparencyMaskBitDepth) return fRawTransparencyMaskBitDepth;
    const dng_image* mask = RawTransparencyMask();
    if (!mask) return 0;
    switch (mask->PixelType()) {
    case ttByte:
        return 8;
    case ttShort:
        return 16;
    case ttFloat:
        return 32;
    default:
        ThrowProgramError();
    }
}
