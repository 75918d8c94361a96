#pragma once
// A camera's colour description: one or two calibration illuminants with their matrices,
// optional hue/saturation maps and look table, a tone curve and naming data.
#include "dng/dng_fingerprint.h"
#include "dng/dng_hue_sat_map.h"
#include "dng/dng_matrix.h"
#include "dng/dng_rational.h"
#include "dng/dng_string.h"
#include "dng/dng_tone_curve.h"

#include <cstdint>

class dng_camera_profile_info;
class dng_stream;
class dng_xy_coord;

class dng_camera_profile {
  public:
    dng_camera_profile() = default;
    virtual ~dng_camera_profile() = default;

    // False, with the profile holding whatever was copied so far, when the file is not a
    // readable DCP.
    bool ReadFromDCPStream(dng_stream& stream);
    void SetFromProfileInfo(dng_stream& stream, const dng_camera_profile_info& info);

    const dng_string& Name() const { return fName; }
    void SetName(const char* name);
    uint32_t CalibrationIlluminant1() const { return fCalibrationIlluminant1; }
    uint32_t CalibrationIlluminant2() const { return fCalibrationIlluminant2; }
    void SetCalibrationIlluminant1(uint32_t light);
    void SetCalibrationIlluminant2(uint32_t light);

    // Stored normalised: the D50 response peaks at 1 and entries are multiples of 1/10000.
    void SetColorMatrix1(const dng_matrix& m);
    void SetColorMatrix2(const dng_matrix& m);
    const dng_matrix& ColorMatrix1() const { return fColorMatrix1; }
    const dng_matrix& ColorMatrix2() const { return fColorMatrix2; }
    const dng_matrix& ForwardMatrix1() const { return fForwardMatrix1; }
    const dng_matrix& ForwardMatrix2() const { return fForwardMatrix2; }
    const dng_matrix& ReductionMatrix1() const { return fReductionMatrix1; }
    const dng_matrix& ReductionMatrix2() const { return fReductionMatrix2; }
    bool HasColorMatrix1() const;
    bool HasColorMatrix2() const;

    const dng_string& Copyright() const { return fCopyright; }
    uint32_t EmbedPolicy() const { return fEmbedPolicy; }
    const dng_hue_sat_map& HueSatDeltas1() const { return fHueSatDeltas1; }
    const dng_hue_sat_map& HueSatDeltas2() const { return fHueSatDeltas2; }
    uint32_t HueSatMapEncoding() const { return fHueSatMapEncoding; }
    const dng_hue_sat_map& LookTable() const { return fLookTable; }
    uint32_t LookTableEncoding() const { return fLookTableEncoding; }
    const dng_srational& BaselineExposureOffset() const { return fBaselineExposureOffset; }
    uint32_t DefaultBlackRender() const { return fDefaultBlackRender; }
    const dng_tone_curve& ToneCurve() const { return fToneCurve; }
    const dng_string& ProfileCalibrationSignature() const { return fProfileCalibrationSignature; }
    const dng_string& UniqueCameraModelRestriction() const { return fUniqueCameraModelRestriction; }
    bool WasPreferredForEmbedding() const { return fPreferredForEmbedding; }

    bool IsUsableForChannels(uint32_t channels) const;
    // Turns a three-channel profile into one for four-colour Bayer sensors.
    virtual void SetFourColorBayer();

    void ComputeFingerprint();
    // Computed on first use after any change.
    const dng_fingerprint& Fingerprint();

    bool operator==(const dng_camera_profile& other) const;
    bool operator!=(const dng_camera_profile& other) const { return !(*this == other); }

    // The map for a scene white, blended between the two illuminants; the caller owns it.
    dng_hue_sat_map* HueSatMapForWhite(const dng_xy_coord& white) const;

    static void SplitProfileName(const dng_string& name, dng_string& baseName, int32_t& version);
    static double IlluminantTemperature(uint32_t light);
    static void ReadHueSatDeltas(dng_stream& stream, uint64_t offset, uint32_t count, uint32_t hues,
                                 uint32_t sats, uint32_t vals, dng_hue_sat_map& map);
    static void ScaleColorMatrix(dng_matrix& m);
    // Rows scaled so the all-ones camera vector maps to D50.
    static void ScaleForwardMatrix(dng_matrix& m);
    static bool ForwardMatrixMapsToD50(const dng_matrix& m);

  private:
    void ClearFingerprint() { fFingerprint = dng_fingerprint(); }
    void ReadToneCurve(dng_stream& stream, uint64_t offset, uint32_t count);
    void FingerprintMatrices(dng_stream& printer) const;
    void FingerprintRest(dng_stream& printer) const;

    dng_string fName;
    uint32_t fCalibrationIlluminant1 = 0;
    uint32_t fCalibrationIlluminant2 = 0;
    dng_matrix fColorMatrix1;
    dng_matrix fColorMatrix2;
    dng_matrix fForwardMatrix1;
    dng_matrix fForwardMatrix2;
    dng_matrix fReductionMatrix1;
    dng_matrix fReductionMatrix2;
    dng_fingerprint fFingerprint;
    dng_string fCopyright;
    uint32_t fEmbedPolicy = 0;
    dng_hue_sat_map fHueSatDeltas1;
    dng_hue_sat_map fHueSatDeltas2;
    uint32_t fHueSatMapEncoding = 0;
    dng_hue_sat_map fLookTable;
    uint32_t fLookTableEncoding = 0;
    dng_srational fBaselineExposureOffset{0, 100};
    uint32_t fDefaultBlackRender = 0;
    dng_tone_curve fToneCurve;
    dng_string fProfileCalibrationSignature;
    dng_string fUniqueCameraModelRestriction;
    bool fPreferredForEmbedding = false;
};
