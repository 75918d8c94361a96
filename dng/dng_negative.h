#pragma once
// One raw photograph on its way into a DNG or TIFF file: camera names, crop and scale, colour
// description and camera profiles, exposure and noise hints, linearization and mosaic
// descriptions, the three opcode lists, the image of each processing stage and the digests
// that identify the raw data.
#include "dng/dng_camera_profile.h"
#include "dng/dng_camera_profile_id.h"
#include "dng/dng_fingerprint.h"
#include "dng/dng_image.h"
#include "dng/dng_matrix.h"
#include "dng/dng_metadata.h"
#include "dng/dng_noise_profile.h"
#include "dng/dng_opcode_list.h"
#include "dng/dng_point.h"
#include "dng/dng_rational.h"
#include "dng/dng_rect.h"
#include "dng/dng_string.h"
#include "dng/dng_uncopyable.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class dng_color_spec;
class dng_host;
class dng_jpeg_image;
class dng_linearization_info;
class dng_memory_allocator;
class dng_memory_block;
class dng_mosaic_info;

// Which processing stage the stored raw image is taken from.
enum dng_raw_image_stage : uint32_t {
    rawImageStagePreOpcode1 = 0,
    rawImageStagePostOpcode1 = 1,
    rawImageStagePostOpcode2 = 2,
    rawImageStagePreOpcode3 = 3,
    rawImageStagePostOpcode3 = 4,
    rawImageStageNone = 5
};

class dng_negative : private dng_uncopyable {
  public:
    // The caller owns the result; a failure while building destroys the half-built negative.
    static dng_negative* Make(dng_host& host);

    virtual ~dng_negative();

    // ---- Reading side: present so a reader can override them; this program reads no DNG.
    virtual uint32_t ReadHook(uint32_t recordValue) { return recordValue; }

    virtual const dng_camera_profile* FindCameraProfile(const dng_camera_profile_id& id,
                                                        bool useDefaultIfNoMatch = true) const;
    virtual const dng_camera_profile* ProfileToEmbed() const;
    // The caller owns the result.
    virtual dng_color_spec* MakeColorSpec(const dng_camera_profile_id& id) const;
    virtual void RecomputeRawDataUniqueID(dng_host& host);

    virtual void ReadFromInfo() {}
    virtual void FinishReading() {}
    virtual bool MakeFourColorBayer();
    virtual void ReadOpcodeLists() {}
    virtual void ReadStage1Image() {}
    virtual void ReadTransparencyMask() {}
    virtual uint32_t ReservedQueryA() const { return 0; }
    virtual void ResizeTransparencyMask(dng_host& host, bool convertTo8Bit);
    virtual uint32_t ReservedQueryB() const { return 0; }
    [[noreturn]] virtual void UnsupportedStep();
    virtual void ResizeDepthMap(dng_host& host);

    // ---- Building the stages.
    virtual void Initialize() {}
    virtual std::unique_ptr<dng_linearization_info> MakeLinearizationInfo();
    virtual std::unique_ptr<dng_mosaic_info> MakeMosaicInfo();
    virtual void Linearize(dng_host& host);
    virtual void PostLinearizeHook(dng_host& /*host*/) {}
    virtual bool NeedDefloatStage2(dng_host& host) const;
    [[noreturn]] virtual void DefloatStage2(dng_host& host);
    // `scaleMatrices` may be null; when given it receives one matrix per destination plane.
    virtual void InterpolateStage3(dng_host& host, int32_t srcPlane, std::vector<dng_matrix>* scaleMatrices);
    virtual void MergeStage3(dng_host& host, std::vector<dng_matrix>* scaleMatrices);
    virtual void DoBuildStage3(dng_host& host, int32_t srcPlane, std::vector<dng_matrix>* scaleMatrices);
    virtual void FinalHook() {}

    void BuildStage2Image(dng_host& host);
    void BuildStage3Image(dng_host& host, int32_t srcPlane = -1);

    // ---- Names.
    const dng_string& ModelName() const { return fModelName; }
    void SetModelName(const char* name) { fModelName.Set(name); }
    const dng_string& LocalName() const { return fLocalName; }
    void SetLocalName(const char* name) { fLocalName.Set(name); }

    // ---- Geometry, in raw pixels.
    const dng_urational& DefaultCropSizeH() const { return fDefaultCropSizeH; }
    const dng_urational& DefaultCropSizeV() const { return fDefaultCropSizeV; }
    void SetDefaultCropSize(const dng_urational& h, const dng_urational& v) {
        fDefaultCropSizeH = h;
        fDefaultCropSizeV = v;
    }
    void SetDefaultCropSize(uint32_t h, uint32_t v) {
        SetDefaultCropSize(dng_urational(h, 1), dng_urational(v, 1));
    }
    const dng_urational& DefaultCropOriginH() const { return fDefaultCropOriginH; }
    const dng_urational& DefaultCropOriginV() const { return fDefaultCropOriginV; }
    void SetDefaultCropOrigin(const dng_urational& h, const dng_urational& v) {
        fDefaultCropOriginH = h;
        fDefaultCropOriginV = v;
    }
    void SetDefaultCropOrigin(uint32_t h, uint32_t v) {
        SetDefaultCropOrigin(dng_urational(h, 1), dng_urational(v, 1));
    }
    // Fractions of the default crop.
    const dng_urational& DefaultUserCropT() const { return fDefaultUserCropT; }
    const dng_urational& DefaultUserCropL() const { return fDefaultUserCropL; }
    const dng_urational& DefaultUserCropB() const { return fDefaultUserCropB; }
    const dng_urational& DefaultUserCropR() const { return fDefaultUserCropR; }
    void SetDefaultUserCrop(const dng_urational& t, const dng_urational& l, const dng_urational& b,
                            const dng_urational& r);
    // False for the full frame (0, 0, 1, 1).
    bool HasDefaultUserCrop() const;

    const dng_urational& DefaultScaleH() const { return fDefaultScaleH; }
    const dng_urational& DefaultScaleV() const { return fDefaultScaleV; }
    void SetDefaultScale(const dng_urational& h, const dng_urational& v) {
        fDefaultScaleH = h;
        fDefaultScaleV = v;
    }
    const dng_urational& BestQualityScale() const { return fBestQualityScale; }
    void SetBestQualityScale(const dng_urational& scale) { fBestQualityScale = scale; }

    const dng_point& OriginalDefaultFinalSize() const { return fOriginalDefaultFinalSize; }
    void SetOriginalDefaultFinalSize(const dng_point& size) { fOriginalDefaultFinalSize = size; }
    const dng_point& OriginalBestQualityFinalSize() const { return fOriginalBestQualityFinalSize; }
    void SetOriginalBestQualityFinalSize(const dng_point& size) { fOriginalBestQualityFinalSize = size; }
    const dng_urational& OriginalDefaultCropSizeH() const { return fOriginalDefaultCropSizeH; }
    const dng_urational& OriginalDefaultCropSizeV() const { return fOriginalDefaultCropSizeV; }
    void SetOriginalDefaultCropSize(const dng_urational& h, const dng_urational& v) {
        fOriginalDefaultCropSizeH = h;
        fOriginalDefaultCropSizeV = v;
    }

    // Stage-3 size over stage-2 size.
    double RawToFullScaleH() const { return fRawToFullScaleH; }
    double RawToFullScaleV() const { return fRawToFullScaleV; }
    void SetRawToFullScale(double h, double v) {
        fRawToFullScaleH = h;
        fRawToFullScaleV = v;
    }

    // The default crop in stage-3 pixels, moved (never shrunk) to lie inside the stage-3 image.
    dng_rect DefaultCropArea() const;
    uint32_t DefaultFinalWidth() const;
    uint32_t DefaultFinalHeight() const;
    uint32_t BestQualityFinalWidth() const;
    uint32_t BestQualityFinalHeight() const;
    // Final height for a final width of 1: the default crop's aspect and default scales.
    double FinalHeightPerCropWidth() const;

    // ---- Exposure, noise and rendering hints.
    const dng_urational& BaselineNoiseR() const { return fBaselineNoise; }
    double BaselineNoise() const { return fBaselineNoise.AsDouble(); }
    void SetBaselineNoise(const dng_urational& noise) { fBaselineNoise = noise; }
    const dng_urational& NoiseReductionApplied() const { return fNoiseReductionApplied; }
    void SetNoiseReductionApplied(const dng_urational& value) { fNoiseReductionApplied = value; }
    const dng_urational& RawNoiseReductionApplied() const { return fRawNoiseReductionApplied; }
    void SetRawNoiseReductionApplied(const dng_urational& value) { fRawNoiseReductionApplied = value; }
    const dng_noise_profile& NoiseProfile() const { return fNoiseProfile; }
    void SetNoiseProfile(const dng_noise_profile& profile) { fNoiseProfile = profile; }
    bool HasNoiseProfile() const { return fNoiseProfile.IsValidForNegative(fColorChannels); }
    const dng_noise_profile& RawNoiseProfile() const { return fRawNoiseProfile; }
    void SetRawNoiseProfile(const dng_noise_profile& profile) { fRawNoiseProfile = profile; }

    const dng_srational& BaselineExposureR() const { return fBaselineExposure; }
    double BaselineExposure() const { return fBaselineExposure.AsDouble(); }
    void SetBaselineExposure(const dng_srational& exposure) { fBaselineExposure = exposure; }
    // BaselineExposure plus the offset of the profile the ID finds.
    double TotalBaselineExposure(const dng_camera_profile_id& id) const;

    const dng_urational& BaselineSharpnessR() const { return fBaselineSharpness; }
    double BaselineSharpness() const { return fBaselineSharpness.AsDouble(); }
    void SetBaselineSharpness(const dng_urational& sharpness) { fBaselineSharpness = sharpness; }
    const dng_urational& RawBaselineSharpness() const { return fRawBaselineSharpness; }
    void SetRawBaselineSharpness(const dng_urational& sharpness) { fRawBaselineSharpness = sharpness; }
    const dng_urational& ChromaBlurRadius() const { return fChromaBlurRadius; }
    void SetChromaBlurRadius(const dng_urational& radius) { fChromaBlurRadius = radius; }
    const dng_urational& AntiAliasStrength() const { return fAntiAliasStrength; }
    void SetAntiAliasStrength(const dng_urational& strength) { fAntiAliasStrength = strength; }
    const dng_urational& LinearResponseLimitR() const { return fLinearResponseLimit; }
    double LinearResponseLimit() const { return fLinearResponseLimit.AsDouble(); }
    void SetLinearResponseLimit(const dng_urational& limit) { fLinearResponseLimit = limit; }
    const dng_urational& ShadowScaleR() const { return fShadowScale; }
    double ShadowScale() const { return fShadowScale.AsDouble(); }
    // Kept only for a value in (0, 1].
    void SetShadowScale(const dng_urational& scale);

    // 0 scene-referred, 1 output-referred.
    uint32_t ColorimetricReference() const { return fColorimetricReference; }
    void SetColorimetricReference(uint32_t reference) { fColorimetricReference = reference; }
    bool IsFloatingPoint() const { return fFloatingPoint; }
    void SetFloatingPoint(bool isFloatingPoint) { fFloatingPoint = isFloatingPoint; }

    // ---- Colour.
    uint32_t ColorChannels() const { return fColorChannels; }
    void SetColorChannels(uint32_t channels) { fColorChannels = channels; }

    // Normalised so the smallest gain is 1; invalid gains clear the balance.
    void SetAnalogBalance(const dng_vector& balance);
    const dng_vector& AnalogBalanceVector() const { return fAnalogBalance; }
    double AnalogBalance(uint32_t channel) const;
    dng_urational AnalogBalanceR(uint32_t channel) const;

    // The camera neutral, normalised so the largest entry is 1.
    void SetCameraNeutral(const dng_vector& neutral);
    void ClearCameraNeutral() { fCameraNeutral.Clear(); }
    bool HasCameraNeutral() const { return fCameraNeutral.NotEmpty(); }
    const dng_vector& CameraNeutral() const { return fCameraNeutral; }
    dng_urational CameraNeutralR(uint32_t channel) const;

    // Both coordinates above 0, else the white is cleared.
    void SetCameraWhiteXY(double x, double y);
    bool HasCameraWhiteXY() const { return fCameraWhiteX > 0.0 && fCameraWhiteY > 0.0; }
    void CameraWhiteXY(double& x, double& y) const {
        x = fCameraWhiteX;
        y = fCameraWhiteY;
    }
    void GetCameraWhiteXY(dng_urational& x, dng_urational& y) const;

    const dng_matrix& CameraCalibration1() const { return fCameraCalibration1; }
    const dng_matrix& CameraCalibration2() const { return fCameraCalibration2; }
    void SetCameraCalibration1(const dng_matrix& m) { fCameraCalibration1 = m; }
    void SetCameraCalibration2(const dng_matrix& m) { fCameraCalibration2 = m; }
    const dng_string& CameraCalibrationSignature() const { return fCameraCalibrationSignature; }
    void SetCameraCalibrationSignature(const char* signature) { fCameraCalibrationSignature.Set(signature); }

    // Takes the profile; see the .cpp for how an equal one already held is replaced.
    void AddProfile(std::unique_ptr<dng_camera_profile> profile);
    uint32_t ProfileCount() const { return uint32_t(fCameraProfiles.size()); }
    const dng_camera_profile& ProfileByIndex(uint32_t index) const { return *fCameraProfiles[index]; }
    void ClearProfiles() { fCameraProfiles.clear(); }

    const dng_string& AsShotProfileName() const { return fAsShotProfileName; }
    void SetAsShotProfileName(const char* name) { fAsShotProfileName.Set(name); }

    // ---- Digests (dng_negative_digests.cpp).
    const dng_fingerprint& RawImageDigest() const { return fRawImageDigest; }
    void SetRawImageDigest(const dng_fingerprint& digest) { fRawImageDigest = digest; }
    const dng_fingerprint& NewRawImageDigest() const { return fNewRawImageDigest; }
    void SetNewRawImageDigest(const dng_fingerprint& digest) { fNewRawImageDigest = digest; }
    void ClearRawImageDigest() {
        fRawImageDigest = dng_fingerprint();
        fNewRawImageDigest = dng_fingerprint();
    }
    const dng_fingerprint& RawJPEGImageDigest() const { return fRawJPEGImageDigest; }
    void SetRawJPEGImageDigest(const dng_fingerprint& digest) { fRawJPEGImageDigest = digest; }
    void ClearRawJPEGImageDigest() { fRawJPEGImageDigest = dng_fingerprint(); }

    void FindRawImageDigest(dng_host& host);
    void FindNewRawImageDigest(dng_host& host);
    void FindRawJPEGImageDigest(dng_host& host);
    void ValidateRawImageDigest(dng_host& host);

    // With EnhanceParams set, the ID answered is mixed with them; the stored one is not.
    dng_fingerprint RawDataUniqueID() const;
    void SetRawDataUniqueID(const dng_fingerprint& id);
    void FindRawDataUniqueID(dng_host& host);

    const dng_string& OriginalRawFileName() const { return fOriginalRawFileName; }
    void SetOriginalRawFileName(const char* name) { fOriginalRawFileName.Set(name); }
    bool HasOriginalRawFileData() const { return fOriginalRawFileData != nullptr; }
    const dng_memory_block* OriginalRawFileData() const { return fOriginalRawFileData.get(); }
    void SetOriginalRawFileData(std::unique_ptr<dng_memory_block> data);
    const dng_fingerprint& OriginalRawFileDigest() const { return fOriginalRawFileDigest; }
    void SetOriginalRawFileDigest(const dng_fingerprint& digest) { fOriginalRawFileDigest = digest; }
    void FindOriginalRawFileDigest();
    void ValidateOriginalRawFileDigest();

    const dng_memory_block* PrivateData() const { return fDNGPrivateData.get(); }
    uint32_t PrivateLength() const;
    void SetPrivateData(std::unique_ptr<dng_memory_block> block) { fDNGPrivateData = std::move(block); }
    void ClearPrivateData() { fDNGPrivateData.reset(); }

    // ---- Metadata.
    dng_metadata& Metadata() { return fMetadata; }
    const dng_metadata& Metadata() const { return fMetadata; }
    dng_exif* GetExif() { return fMetadata.GetExif(); }
    const dng_exif* GetExif() const { return fMetadata.GetExif(); }
    dng_xmp* GetXMP() { return fMetadata.GetXMP(); }
    const dng_xmp* GetXMP() const { return fMetadata.GetXMP(); }
    const dng_orientation& BaseOrientation() const { return fMetadata.BaseOrientation(); }
    void SetBaseOrientation(const dng_orientation& orientation) { fMetadata.SetBaseOrientation(orientation); }

    // ---- Levels and mosaic: these create the description on first use.
    const dng_linearization_info* GetLinearizationInfo() const { return fLinearizationInfo.get(); }
    dng_linearization_info* GetLinearizationInfo() { return fLinearizationInfo.get(); }
    void ClearLinearizationInfo();
    void SetActiveArea(const dng_rect& area);
    // A negative plane sets every plane.
    void SetWhiteLevel(uint32_t white, int32_t plane = -1);
    void SetBlackLevel(double black, int32_t plane = -1);
    // 65535 (or 1 for float raw data) without a linearization description.
    uint32_t WhiteLevel(uint32_t plane = 0) const;

    const dng_mosaic_info* GetMosaicInfo() const { return fMosaicInfo.get(); }
    dng_mosaic_info* GetMosaicInfo() { return fMosaicInfo.get(); }
    void ClearMosaicInfo();
    void SetColorKeys(uint8_t color0, uint8_t color1, uint8_t color2, uint8_t color3 = 255);
    // Phases 0 to 3 place the first plane's colour at the four cells of a 2 x 2 Bayer pattern.
    void SetBayerMosaic(uint32_t phase);

    // ---- Opcode lists, applied to stages 1, 2 and 3.
    dng_opcode_list& OpcodeList1() { return fOpcodeList1; }
    dng_opcode_list& OpcodeList2() { return fOpcodeList2; }
    dng_opcode_list& OpcodeList3() { return fOpcodeList3; }
    const dng_opcode_list& OpcodeList1() const { return fOpcodeList1; }
    const dng_opcode_list& OpcodeList2() const { return fOpcodeList2; }
    const dng_opcode_list& OpcodeList3() const { return fOpcodeList3; }
    bool OpcodeSkipped() const { return fOpcodeSkipped; }
    void SetOpcodeSkipped() { fOpcodeSkipped = true; }

    // ---- Stage images; each setter takes ownership and deletes the image it replaces.
    const dng_image* Stage1Image() const { return fStage1Image.get(); }
    const dng_image* Stage2Image() const { return fStage2Image.get(); }
    const dng_image* Stage3Image() const { return fStage3Image.get(); }
    void SetStage1Image(std::unique_ptr<dng_image> image) { fStage1Image = std::move(image); }
    void SetStage2Image(std::unique_ptr<dng_image> image) { fStage2Image = std::move(image); }
    void SetStage3Image(std::unique_ptr<dng_image> image) { fStage3Image = std::move(image); }
    double Stage3Gain() const { return fStage3Gain; }
    void SetStage3Gain(double gain) { fStage3Gain = gain; }
    uint16_t Stage3BlackLevel() const { return fStage3BlackLevel; }
    void SetStage3BlackLevel(uint16_t level) { fStage3BlackLevel = level; }

    // Once set, these stay set for the negative's life.
    bool IsPreview() const { return fIsPreview; }
    void SetIsPreview(bool preview) { fIsPreview = fIsPreview || preview; }
    bool IsDamaged() const { return fIsDamaged; }
    void SetIsDamaged(bool damaged) { fIsDamaged = fIsDamaged || damaged; }

    dng_raw_image_stage RawImageStage() const { return fRawImageStage; }
    void SetRawImageStage(dng_raw_image_stage stage) { fRawImageStage = stage; }
    // The kept raw image, else stage 1, else the alternate raw image, else stage 3.
    const dng_image& RawImage() const;
    bool HasRawImage() const;
    void SetRawImage(std::unique_ptr<dng_image> image) { fRawImage = std::move(image); }
    uint16_t RawImageBlackLevel() const;
    void SetRawImageBlackLevel(uint16_t level) { fRawImageBlackLevel = level; }
    uint32_t RawFloatBitDepth() const { return fRawFloatBitDepth; }
    void SetRawFloatBitDepth(uint32_t depth) { fRawFloatBitDepth = depth; }
    const dng_jpeg_image* RawJPEGImage() const { return fRawJPEGImage.get(); }
    void SetRawJPEGImage(std::unique_ptr<dng_jpeg_image> image);
    void ClearRawJPEGImage();

    const dng_image* TransparencyMask() const { return fTransparencyMask.get(); }
    void SetTransparencyMask(std::unique_ptr<dng_image> mask) { fTransparencyMask = std::move(mask); }
    const dng_image* RawTransparencyMask() const;
    void SetRawTransparencyMask(std::unique_ptr<dng_image> mask) { fRawTransparencyMask = std::move(mask); }
    uint32_t RawTransparencyMaskBitDepth() const;
    void SetRawTransparencyMaskBitDepth(uint32_t depth) { fRawTransparencyMaskBitDepth = depth; }

    const dng_image* AlternateRawImage() const { return fAlternateRawImage.get(); }
    void SetAlternateRawImage(std::unique_ptr<dng_image> image) { fAlternateRawImage = std::move(image); }

    const dng_image* DepthMap() const { return fDepthMap.get(); }
    void SetDepthMap(std::unique_ptr<dng_image> map) { fDepthMap = std::move(map); }
    const dng_image* RawDepthMap() const { return fRawDepthMap.get(); }
    void SetRawDepthMap(std::unique_ptr<dng_image> map) { fRawDepthMap = std::move(map); }
    uint16_t DepthFormat() const { return fDepthFormat; }
    void SetDepthFormat(uint16_t format) { fDepthFormat = format; }
    const dng_urational& DepthNear() const { return fDepthNear; }
    void SetDepthNear(const dng_urational& value) { fDepthNear = value; }
    const dng_urational& DepthFar() const { return fDepthFar; }
    void SetDepthFar(const dng_urational& value) { fDepthFar = value; }
    uint16_t DepthUnits() const { return fDepthUnits; }
    void SetDepthUnits(uint16_t units) { fDepthUnits = units; }
    uint16_t DepthMeasureType() const { return fDepthMeasureType; }
    void SetDepthMeasureType(uint16_t type) { fDepthMeasureType = type; }

    const dng_string& EnhanceParams() const { return fEnhanceParams; }
    void SetEnhanceParams(const char* params) { fEnhanceParams.Set(params); }

    dng_memory_allocator& Allocator() const { return fAllocator; }

  protected:
    explicit dng_negative(dng_host& host);

    // Creates the descriptions the level and mosaic setters fill.
    dng_linearization_info& NeededLinearizationInfo();
    dng_mosaic_info& NeededMosaicInfo();

  private:
    dng_fingerprint FindImageDigest(dng_host& host, const dng_image& image, uint32_t pixelType) const;
    dng_fingerprint ComputeNewRawImageDigest(dng_host& host) const;
    dng_fingerprint ComputeClassicRawImageDigest(dng_host& host) const;
    void ValidateStoredDigest(dng_host& host, bool isNewDigest, const dng_fingerprint& stored);

    dng_memory_allocator& fAllocator;

    dng_string fModelName;
    dng_string fLocalName;

    dng_urational fDefaultCropSizeH;
    dng_urational fDefaultCropSizeV;
    dng_urational fDefaultCropOriginH{0, 1};
    dng_urational fDefaultCropOriginV{0, 1};
    dng_urational fDefaultUserCropT{0, 1};
    dng_urational fDefaultUserCropL{0, 1};
    dng_urational fDefaultUserCropB{1, 1};
    dng_urational fDefaultUserCropR{1, 1};
    dng_urational fDefaultScaleH{1, 1};
    dng_urational fDefaultScaleV{1, 1};
    dng_urational fBestQualityScale{1, 1};
    dng_point fOriginalDefaultFinalSize;
    dng_point fOriginalBestQualityFinalSize;
    dng_urational fOriginalDefaultCropSizeH;
    dng_urational fOriginalDefaultCropSizeV;
    double fRawToFullScaleH = 1.0;
    double fRawToFullScaleV = 1.0;

    dng_urational fBaselineNoise{100, 100};
    dng_urational fNoiseReductionApplied;
    dng_urational fRawNoiseReductionApplied;
    dng_noise_profile fNoiseProfile;
    dng_noise_profile fRawNoiseProfile;
    dng_srational fBaselineExposure{0, 100};
    dng_urational fBaselineSharpness{100, 100};
    dng_urational fRawBaselineSharpness;
    dng_urational fChromaBlurRadius;
    dng_urational fAntiAliasStrength{100, 100};
    dng_urational fLinearResponseLimit{100, 100};
    dng_urational fShadowScale{1, 1};
    uint32_t fColorimetricReference = 0;
    bool fFloatingPoint = false;

    uint32_t fColorChannels = 0;
    dng_vector fAnalogBalance;
    dng_vector fCameraNeutral;
    double fCameraWhiteX = 0.0;
    double fCameraWhiteY = 0.0;
    dng_matrix fCameraCalibration1;
    dng_matrix fCameraCalibration2;
    dng_string fCameraCalibrationSignature;
    std::vector<std::unique_ptr<dng_camera_profile>> fCameraProfiles;
    dng_string fAsShotProfileName;

    dng_fingerprint fRawImageDigest;
    dng_fingerprint fNewRawImageDigest;
    dng_fingerprint fRawDataUniqueID;
    mutable std::mutex fRawDataUniqueIDMutex;
    dng_string fOriginalRawFileName;
    std::unique_ptr<dng_memory_block> fOriginalRawFileData;
    dng_fingerprint fOriginalRawFileDigest;
    std::unique_ptr<dng_memory_block> fDNGPrivateData;

    dng_metadata fMetadata;

    std::unique_ptr<dng_linearization_info> fLinearizationInfo;
    std::unique_ptr<dng_mosaic_info> fMosaicInfo;
    dng_opcode_list fOpcodeList1{1};
    dng_opcode_list fOpcodeList2{2};
    dng_opcode_list fOpcodeList3{3};
    bool fOpcodeSkipped = false;

    std::unique_ptr<dng_image> fStage1Image;
    std::unique_ptr<dng_image> fStage2Image;
    std::unique_ptr<dng_image> fStage3Image;
    double fStage3Gain = 1.0;
    uint16_t fStage3BlackLevel = 0;
    bool fIsPreview = false;
    bool fIsDamaged = false;

    dng_raw_image_stage fRawImageStage = rawImageStageNone;
    std::unique_ptr<dng_image> fRawImage;
    uint16_t fRawImageBlackLevel = 0;
    uint32_t fRawFloatBitDepth = 0;
    std::unique_ptr<dng_jpeg_image> fRawJPEGImage;
    dng_fingerprint fRawJPEGImageDigest;
    std::unique_ptr<dng_image> fTransparencyMask;
    std::unique_ptr<dng_image> fRawTransparencyMask;
    uint32_t fRawTransparencyMaskBitDepth = 0;
    std::unique_ptr<dng_image> fAlternateRawImage;
    std::unique_ptr<dng_image> fDepthMap;
    std::unique_ptr<dng_image> fRawDepthMap;
    uint16_t fDepthFormat = 0;
    dng_urational fDepthNear;
    dng_urational fDepthFar;
    uint16_t fDepthUnits = 0;
    uint16_t fDepthMeasureType = 0;
    dng_string fEnhanceParams;
};
