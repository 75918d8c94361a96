#pragma once
// Camera colour for any white balance: the camera neutral and the camera <-> XYZ (D50)
// matrices, blended between a profile's two calibrations by colour temperature.
#include "dng/dng_matrix.h"
#include "dng/dng_string.h"
#include "dng/dng_xy_coord.h"

#include <cstdint>

class dng_camera_profile;

// What the colour conversion needs of a negative; the negative fills it when it makes one.
struct dng_color_spec_camera {
    uint32_t channels = 3;
    dng_string calibrationSignature;
    dng_matrix cameraCalibration1;
    dng_matrix cameraCalibration2;
    // Empty means unity gains.
    dng_vector analogBalance;
};

class dng_color_spec {
  public:
    // Fewer than two channels leaves the conversion empty (monochrome); a colour camera
    // without a profile usable for its channels is refused with dng_error_bad_format.
    dng_color_spec(const dng_color_spec_camera& camera, const dng_camera_profile* profile);
    virtual ~dng_color_spec() = default;

    uint32_t Channels() const { return fChannels; }

    void SetWhiteXY(const dng_xy_coord& white);
    const dng_xy_coord& WhiteXY() const { return fWhiteXY; }
    const dng_vector& CameraWhite() const { return fCameraWhite; }
    const dng_matrix& CameraToPCS() const { return fCameraToPCS; }
    const dng_matrix& PCStoCamera() const { return fPCStoCamera; }

    // The white whose camera response is the given neutral.
    dng_xy_coord NeutralToXY(const dng_vector& neutral);

    dng_matrix XYZtoCameraForWhite(const dng_xy_coord& white, dng_matrix* forwardMatrix = nullptr,
                                   dng_matrix* reductionMatrix = nullptr,
                                   dng_matrix* cameraCalibration = nullptr);

    static dng_matrix BradfordAdaptation(const dng_xy_coord& from, const dng_xy_coord& to);

  private:
    void SetSingleCalibration();
    void SwapCalibrations();

    uint32_t fChannels = 0;
    double fTemperature1 = 0.0;
    double fTemperature2 = 0.0;
    dng_matrix fColorMatrix1;
    dng_matrix fColorMatrix2;
    dng_matrix fForwardMatrix1;
    dng_matrix fForwardMatrix2;
    dng_matrix fReductionMatrix1;
    dng_matrix fReductionMatrix2;
    dng_matrix fCameraCalibration1;
    dng_matrix fCameraCalibration2;
    dng_matrix fAnalogBalance;
    dng_xy_coord fWhiteXY;
    dng_vector fCameraWhite;
    dng_matrix fCameraToPCS;
    dng_matrix fPCStoCamera;
};
