#include "dng/dng_color_spec.h"

#include "dng/dng_camera_profile.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_temperature.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

dng_matrix CalibrationOrIdentity(const dng_matrix& calibration, uint32_t channels) {
    if (calibration.Rows() == channels && calibration.Cols() == channels) return calibration;
    dng_matrix identity;
    identity.SetIdentity(channels);
    return identity;
}

dng_matrix AnalogBalanceMatrix(const dng_vector& balance, uint32_t channels) {
    if (balance.Count() == channels) return balance.AsDiagonal();
    dng_matrix identity;
    identity.SetIdentity(channels);
    return identity;
}

dng_matrix ScaledForward(dng_matrix m) {
    if (m.NotEmpty()) dng_camera_profile::ScaleForwardMatrix(m);
    return m;
}

// Set 1 at g = 1, set 2 at g = 0; a lone member of the pair stands for both.
dng_matrix Blend(double g, const dng_matrix& m1, const dng_matrix& m2) {
    if (m1.IsEmpty()) return m2;
    if (m2.IsEmpty() || g >= 1.0) return m1;
    if (g <= 0.0) return m2;
    return g * m1 + (1.0 - g) * m2;
}

} // namespace

dng_color_spec::dng_color_spec(const dng_color_spec_camera& camera, const dng_camera_profile* profile)
    : fChannels(camera.channels) {
    if (fChannels < 2) return;
    if (!profile || !profile->IsUsableForChannels(fChannels)) ThrowBadFormat("no usable camera profile");

    fTemperature1 = dng_camera_profile::IlluminantTemperature(profile->CalibrationIlluminant1());
    fTemperature2 = dng_camera_profile::IlluminantTemperature(profile->CalibrationIlluminant2());
    fColorMatrix1 = profile->ColorMatrix1();
    fColorMatrix2 = profile->ColorMatrix2();
    fForwardMatrix1 = profile->ForwardMatrix1();
    fForwardMatrix2 = profile->ForwardMatrix2();
    fReductionMatrix1 = profile->ReductionMatrix1();
    fReductionMatrix2 = profile->ReductionMatrix2();

    // Calibrations measured for another profile do not apply to this one.
    const bool sameCalibration = camera.calibrationSignature == profile->ProfileCalibrationSignature();
    const dng_matrix none;
    fCameraCalibration1 =
        CalibrationOrIdentity(sameCalibration ? camera.cameraCalibration1 : none, fChannels);
    fCameraCalibration2 =
        CalibrationOrIdentity(sameCalibration ? camera.cameraCalibration2 : none, fChannels);
    fAnalogBalance = AnalogBalanceMatrix(camera.analogBalance, fChannels);

    fForwardMatrix1 = ScaledForward(fForwardMatrix1);
    fColorMatrix1 = fAnalogBalance * fCameraCalibration1 * fColorMatrix1;

    if (!profile->HasColorMatrix2() || fTemperature1 <= 0.0 || fTemperature2 <= 0.0 ||
        fTemperature1 == fTemperature2) {
        SetSingleCalibration();
        return;
    }
    fForwardMatrix2 = ScaledForward(fForwardMatrix2);
    fColorMatrix2 = fAnalogBalance * fCameraCalibration2 * fColorMatrix2;
    if (fTemperature1 > fTemperature2) SwapCalibrations();
}

void dng_color_spec::SetSingleCalibration() {
    fTemperature1 = fTemperature2 = 5000.0;
    fColorMatrix2 = fColorMatrix1;
    fForwardMatrix2 = fForwardMatrix1;
    fReductionMatrix2 = fReductionMatrix1;
    fCameraCalibration2 = fCameraCalibration1;
}

void dng_color_spec::SwapCalibrations() {
    std::swap(fTemperature1, fTemperature2);
    std::swap(fColorMatrix1, fColorMatrix2);
    std::swap(fForwardMatrix1, fForwardMatrix2);
    std::swap(fReductionMatrix1, fReductionMatrix2);
    std::swap(fCameraCalibration1, fCameraCalibration2);
}

dng_matrix dng_color_spec::XYZtoCameraForWhite(const dng_xy_coord& white, dng_matrix* forwardMatrix,
                                               dng_matrix* reductionMatrix, dng_matrix* cameraCalibration) {
    dng_temperature temperature;
    temperature.SetFromXY(white);
    const double t = temperature.Temperature();
    double g = 0.0;
    if (t <= fTemperature1)
        g = 1.0;
    else if (t < fTemperature2)
        g = (1.0 / t - 1.0 / fTemperature2) / (1.0 / fTemperature1 - 1.0 / fTemperature2);

    if (forwardMatrix) *forwardMatrix = Blend(g, fForwardMatrix1, fForwardMatrix2);
    if (reductionMatrix) *reductionMatrix = Blend(g, fReductionMatrix1, fReductionMatrix2);
    if (cameraCalibration) *cameraCalibration = Blend(g, fCameraCalibration1, fCameraCalibration2);
    return Blend(g, fColorMatrix1, fColorMatrix2);
}

dng_matrix dng_color_spec::BradfordAdaptation(const dng_xy_coord& from, const dng_xy_coord& to) {
    const dng_matrix_3by3 bradford(0.8951, 0.2664, -0.1614, -0.7502, 1.7135, 0.0367, 0.0389, -0.0685, 1.0296);
    dng_vector a = bradford * XYtoXYZ(from);
    dng_vector b = bradford * XYtoXYZ(to);
    dng_vector_3 scale;
    for (uint32_t i = 0; i < 3; ++i) {
        const double ai = std::max(a[i], 0.0), bi = std::max(b[i], 0.0);
        scale[i] = std::clamp(ai > 0.0 ? bi / ai : 10.0, 0.1, 10.0);
    }
    return Invert(bradford) * scale.AsDiagonal() * bradford;
}

void dng_color_spec::SetWhiteXY(const dng_xy_coord& white) {
    fWhiteXY = white;
    if (fChannels < 2) {
        fCameraWhite = dng_vector(1);
        fCameraWhite[0] = 1.0;
        fCameraToPCS = D50_XYZ().AsColumn();
        return;
    }
    dng_matrix forward, reduction, calibration;
    const dng_matrix colorMatrix = XYZtoCameraForWhite(white, &forward, &reduction, &calibration);

    fCameraWhite = colorMatrix * XYtoXYZ(white);
    // A white the camera cannot see at all would otherwise divide by zero.
    if (fCameraWhite.MaxEntry() > 0.0) fCameraWhite.Scale(1.0 / fCameraWhite.MaxEntry());
    for (uint32_t i = 0; i < fCameraWhite.Count(); ++i)
        fCameraWhite[i] = std::clamp(fCameraWhite[i], 0.001, 1.0);

    fPCStoCamera = colorMatrix * BradfordAdaptation(D50_xy_coord(), white);
    const double d50Response = (fPCStoCamera * D50_XYZ()).MaxEntry();
    if (d50Response > 0.0) fPCStoCamera.Scale(1.0 / d50Response);

    if (forward.NotEmpty()) {
        const dng_matrix individual = fAnalogBalance * calibration;
        const dng_vector reference = individual * fCameraWhite;
        fCameraToPCS = forward * Invert(reference.AsDiagonal()) * individual;
    } else {
        fCameraToPCS = InvertWithHint(fPCStoCamera, reduction);
    }
}

dng_xy_coord dng_color_spec::NeutralToXY(const dng_vector& neutral) {
    if (fChannels < 2) return D50_xy_coord();
    dng_xy_coord last = D50_xy_coord();
    for (int pass = 0; pass < 30; ++pass) {
        const dng_matrix colorMatrix = XYZtoCameraForWhite(last);
        const dng_xy_coord next = XYZtoXY(dng_vector_3(Invert(colorMatrix) * neutral));
        if (std::fabs(next.x - last.x) + std::fabs(next.y - last.y) < 1e-7) return next;
        if (pass == 29) return dng_xy_coord((last.x + next.x) * 0.5, (last.y + next.y) * 0.5);
        last = next;
    }
    return last;
}
