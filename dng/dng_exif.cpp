#include "dng/dng_exif.h"

#include "dng/dng_exceptions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t kExifIFDCode = 34665;
constexpr uint32_t kGPSIFDCode = 34853;
constexpr uint32_t kInteroperabilityIFDCode = 40965;

// Shutter times cameras and tools write, longest first.
constexpr double kStandardTimes[] = {
    30.0,       25.0,       20.0,        15.0,        13.0,        10.0,       8.0,        6.0,
    5.0,        4.0,        3.2,         3.0,         2.5,         2.0,        1.6,        1.5,
    1.3,        1.0,        0.8,         0.7,         0.6,         0.5,        0.4,        0.3,
    1.0 / 4,    1.0 / 5,    1.0 / 6,     1.0 / 8,     1.0 / 10,    1.0 / 13,   1.0 / 15,   1.0 / 20,
    1.0 / 25,   1.0 / 30,   1.0 / 40,    1.0 / 45,    1.0 / 50,    1.0 / 60,   1.0 / 80,   1.0 / 90,
    1.0 / 100,  1.0 / 125,  1.0 / 160,   1.0 / 180,   1.0 / 200,   1.0 / 250,  1.0 / 320,  1.0 / 350,
    1.0 / 400,  1.0 / 500,  1.0 / 640,   1.0 / 750,   1.0 / 800,   1.0 / 1000, 1.0 / 1250, 1.0 / 1500,
    1.0 / 1600, 1.0 / 2000, 1.0 / 2500,  1.0 / 3000,  1.0 / 3200,  1.0 / 4000, 1.0 / 5000, 1.0 / 6000,
    1.0 / 6400, 1.0 / 8000, 1.0 / 10000, 1.0 / 12000, 1.0 / 12800, 1.0 / 16000};
static_assert(std::size(kStandardTimes) == 70);

bool FindStandardTime(double t, double& result) {
    for (double v : kStandardTimes)
        if (t >= 0.98 * v && t <= 1.02 * v) {
            result = v;
            return true;
        }
    return false;
}

uint32_t RoundHalfUp(double x) { return dng_clamped_uint32(std::floor(x + 0.5)); }

// x with the given denominator, reduced by common factors of 10.
dng_urational Decimal(double x, uint32_t denominator) {
    dng_urational r(RoundHalfUp(x * denominator), denominator);
    r.ReduceByFactor(10);
    return r;
}

// An APEX value in millionths, reduced by common factors of 10.
dng_srational ApexMillionths(double x) {
    dng_srational r;
    r.SetDouble(x, 1000000);
    r.ReduceByFactor(10);
    return r;
}

bool Same(const dng_date_time_info& a, const dng_date_time_info& b) {
    return a.DateTime() == b.DateTime() && a.IsDateOnly() == b.IsDateOnly() &&
           a.Subseconds() == b.Subseconds() && a.TimeZone() == b.TimeZone();
}

bool Same(const dng_date_time_storage_info& a, const dng_date_time_storage_info& b) {
    return a.Offset() == b.Offset() && a.Format() == b.Format();
}

template <typename T, std::size_t N> bool Same(const T (&a)[N], const T (&b)[N]) {
    return std::equal(std::begin(a), std::end(a), std::begin(b));
}

bool SameGPS(const dng_exif& a, const dng_exif& b) {
    return a.fGPSVersionID == b.fGPSVersionID && a.fGPSLatitudeRef == b.fGPSLatitudeRef &&
           Same(a.fGPSLatitude, b.fGPSLatitude) && a.fGPSLongitudeRef == b.fGPSLongitudeRef &&
           Same(a.fGPSLongitude, b.fGPSLongitude) && a.fGPSAltitudeRef == b.fGPSAltitudeRef &&
           a.fGPSAltitude == b.fGPSAltitude && Same(a.fGPSTimeStamp, b.fGPSTimeStamp) &&
           a.fGPSSatellites == b.fGPSSatellites && a.fGPSStatus == b.fGPSStatus &&
           a.fGPSMeasureMode == b.fGPSMeasureMode && a.fGPSDOP == b.fGPSDOP &&
           a.fGPSSpeedRef == b.fGPSSpeedRef && a.fGPSSpeed == b.fGPSSpeed &&
           a.fGPSTrackRef == b.fGPSTrackRef && a.fGPSTrack == b.fGPSTrack &&
           a.fGPSImgDirectionRef == b.fGPSImgDirectionRef && a.fGPSImgDirection == b.fGPSImgDirection &&
           a.fGPSMapDatum == b.fGPSMapDatum && a.fGPSDestLatitudeRef == b.fGPSDestLatitudeRef &&
           Same(a.fGPSDestLatitude, b.fGPSDestLatitude) && a.fGPSDestLongitudeRef == b.fGPSDestLongitudeRef &&
           Same(a.fGPSDestLongitude, b.fGPSDestLongitude) && a.fGPSDestBearingRef == b.fGPSDestBearingRef &&
           a.fGPSDestBearing == b.fGPSDestBearing && a.fGPSDestDistanceRef == b.fGPSDestDistanceRef &&
           a.fGPSDestDistance == b.fGPSDestDistance && a.fGPSProcessingMethod == b.fGPSProcessingMethod &&
           a.fGPSAreaInformation == b.fGPSAreaInformation && a.fGPSDateStamp == b.fGPSDateStamp &&
           a.fGPSDifferential == b.fGPSDifferential && a.fGPSHPositioningError == b.fGPSHPositioningError;
}

} // namespace

dng_exif::dng_exif() { std::memset(fCFAPattern, 0xFF, sizeof(fCFAPattern)); }

dng_exif* dng_exif::Clone() const {
    return dng_guard_allocation([&] { return new dng_exif(*this); });
}

bool dng_exif::ParseTag(dng_stream& stream, uint32_t parentCode, uint32_t tagCode, uint32_t tagType,
                        uint32_t tagCount, uint64_t tagOffset) {
    switch (parentCode) {
    case 0:
        return Parse_ifd0(stream, tagCode, tagType, tagCount, tagOffset) ||
               Parse_ifd0_tiff_ep(stream, tagCode, tagType, tagCount, tagOffset);
    case kExifIFDCode:
        return Parse_ifd0_exif(stream, tagCode, tagType, tagCount, tagOffset);
    case kGPSIFDCode:
        return Parse_gps(stream, tagCode, tagType, tagCount, tagOffset);
    case kInteroperabilityIFDCode:
        return Parse_interoperability(stream, tagCode, tagType, tagCount, tagOffset);
    default:
        return false;
    }
}

bool dng_exif::Parse_ifd0(dng_stream&, uint32_t, uint32_t, uint32_t, uint64_t) { return false; }

bool dng_exif::Parse_ifd0_tiff_ep(dng_stream&, uint32_t, uint32_t, uint32_t, uint64_t) { return false; }

bool dng_exif::Parse_ifd0_exif(dng_stream&, uint32_t, uint32_t, uint32_t, uint64_t) { return false; }

bool dng_exif::Parse_gps(dng_stream&, uint32_t, uint32_t, uint32_t, uint64_t) { return false; }

bool dng_exif::Parse_interoperability(dng_stream&, uint32_t, uint32_t, uint32_t, uint64_t) { return false; }

void dng_exif::PostParse() {
    if (fDateTime.NotValid() && fDateTimeOriginal.IsValid()) fDateTime = fDateTimeOriginal;
    if (fISOSpeedRatings[0] == 0) {
        // Sensitivity types: 1 SOS, 2 REI, 3 ISO speed, 4 to 7 their combinations.
        switch (fSensitivityType) {
        case 1:
        case 4:
        case 5:
        case 7:
            fISOSpeedRatings[0] = fStandardOutputSensitivity;
            break;
        case 2:
        case 6:
            fISOSpeedRatings[0] = fRecommendedExposureIndex;
            break;
        case 3:
            fISOSpeedRatings[0] = fISOSpeed;
            break;
        default:
            if (fExposureIndex.IsValid()) fISOSpeedRatings[0] = RoundHalfUp(fExposureIndex.AsDouble());
            break;
        }
    }
    // A reference without its value says nothing.
    if (fGPSLatitude[0].NotValid()) fGPSLatitudeRef.Clear();
    if (fGPSLongitude[0].NotValid()) fGPSLongitudeRef.Clear();
    if (fGPSAltitude.NotValid()) fGPSAltitudeRef = kAbsent;
    if (fGPSSpeed.NotValid()) fGPSSpeedRef.Clear();
    if (fGPSTrack.NotValid()) fGPSTrackRef.Clear();
    if (fGPSImgDirection.NotValid()) fGPSImgDirectionRef.Clear();
    if (fGPSDestLatitude[0].NotValid()) fGPSDestLatitudeRef.Clear();
    if (fGPSDestLongitude[0].NotValid()) fGPSDestLongitudeRef.Clear();
    if (fGPSDestBearing.NotValid()) fGPSDestBearingRef.Clear();
    if (fGPSDestDistance.NotValid()) fGPSDestDistanceRef.Clear();
}

void dng_exif::CopyGPSFrom(const dng_exif& other) {
    fGPSVersionID = other.fGPSVersionID;
    fGPSLatitudeRef = other.fGPSLatitudeRef;
    std::copy(std::begin(other.fGPSLatitude), std::end(other.fGPSLatitude), fGPSLatitude);
    fGPSLongitudeRef = other.fGPSLongitudeRef;
    std::copy(std::begin(other.fGPSLongitude), std::end(other.fGPSLongitude), fGPSLongitude);
    fGPSAltitudeRef = other.fGPSAltitudeRef;
    fGPSAltitude = other.fGPSAltitude;
    std::copy(std::begin(other.fGPSTimeStamp), std::end(other.fGPSTimeStamp), fGPSTimeStamp);
    fGPSSatellites = other.fGPSSatellites;
    fGPSStatus = other.fGPSStatus;
    fGPSMeasureMode = other.fGPSMeasureMode;
    fGPSDOP = other.fGPSDOP;
    fGPSSpeedRef = other.fGPSSpeedRef;
    fGPSSpeed = other.fGPSSpeed;
    fGPSTrackRef = other.fGPSTrackRef;
    fGPSTrack = other.fGPSTrack;
    fGPSImgDirectionRef = other.fGPSImgDirectionRef;
    fGPSImgDirection = other.fGPSImgDirection;
    fGPSMapDatum = other.fGPSMapDatum;
    fGPSDestLatitudeRef = other.fGPSDestLatitudeRef;
    std::copy(std::begin(other.fGPSDestLatitude), std::end(other.fGPSDestLatitude), fGPSDestLatitude);
    fGPSDestLongitudeRef = other.fGPSDestLongitudeRef;
    std::copy(std::begin(other.fGPSDestLongitude), std::end(other.fGPSDestLongitude), fGPSDestLongitude);
    fGPSDestBearingRef = other.fGPSDestBearingRef;
    fGPSDestBearing = other.fGPSDestBearing;
    fGPSDestDistanceRef = other.fGPSDestDistanceRef;
    fGPSDestDistance = other.fGPSDestDistance;
    fGPSProcessingMethod = other.fGPSProcessingMethod;
    fGPSAreaInformation = other.fGPSAreaInformation;
    fGPSDateStamp = other.fGPSDateStamp;
    fGPSDifferential = other.fGPSDifferential;
    fGPSHPositioningError = other.fGPSHPositioningError;
}

double dng_exif::SnapExposureTime(double t) {
    if (!(t > 0.0)) return 0.0;
    double standard = 0.0;
    if (FindStandardTime(t, standard)) return standard;
    // Cameras report some times from a binary series (1/64 for 1/60, 1/512 for 1/500).
    if (t < 0.1 && FindStandardTime(t * (t >= 0.01 ? 1.0666666666666667 : 1.024), standard)) return standard;
    if (t >= 10.0) return std::floor(t + 0.5);
    if (t >= 0.5) return std::floor(10.0 * t + 0.5) * 0.1;
    double base = 0.001;
    if (t >= 0.05)
        base = 1.0;
    else if (t >= 1.0 / 130.0)
        base = 0.2;
    else if (t >= 1.0 / 750.0)
        base = 0.1;
    else if (t >= 1.0 / 1300.0)
        base = 0.02;
    else if (t >= 1.0 / 15000.0)
        base = 0.01;
    return base / std::floor(base / t + 0.5);
}

void dng_exif::SetExposureTime(double t, bool snap) {
    fExposureTime = dng_urational();
    fShutterSpeedValue = dng_srational();
    if (snap) t = SnapExposureTime(t);
    if (!(t >= std::ldexp(1.0, -30) && t <= std::ldexp(1.0, 30))) return;
    if (t >= 100.0) {
        fExposureTime = dng_urational(RoundHalfUp(t), 1);
    } else if (t >= 1.0) {
        fExposureTime = Decimal(t, 10);
    } else if (t <= 0.1) {
        fExposureTime = dng_urational(1, RoundHalfUp(1.0 / t));
    } else {
        fExposureTime = Decimal(t, 100);
        for (uint32_t i = 2; i <= 9; ++i) {
            const double ratio = (1.0 / i) / t;
            if (ratio >= 0.99 && ratio <= 1.01) {
                fExposureTime = dng_urational(1, i);
                break;
            }
        }
    }
    fShutterSpeedValue = ApexMillionths(-std::log2(fExposureTime.AsDouble()));
}

void dng_exif::SetShutterSpeedValue(double apex) {
    if (fExposureTime.NotValid()) SetExposureTime(std::exp2(-apex), true);
}

void dng_exif::SetFNumber(double f) {
    fFNumber = dng_urational();
    fApertureValue = dng_urational();
    if (!(f > 0.0 && f <= 32768.0)) return;
    if (f > 10.0)
        fFNumber = dng_urational(RoundHalfUp(f), 1);
    else if (f >= 1.0)
        fFNumber = Decimal(f, 10);
    else
        fFNumber = Decimal(f, 100);
    const double apex = 2.0 * std::log2(fFNumber.AsDouble());
    if (apex >= 0.0 && apex <= 99.99) {
        const dng_srational value = ApexMillionths(apex);
        fApertureValue = dng_urational(uint32_t(value.n), uint32_t(value.d));
    }
}

void dng_exif::SetApertureValue(double apex) {
    if (fFNumber.NotValid()) SetFNumber(std::exp2(0.5 * apex));
}

bool dng_exif::HasLensRange() const {
    return std::all_of(std::begin(fLensRange), std::end(fLensRange),
                       [](const dng_urational& r) { return r.d != 0; });
}

bool dng_exif::operator==(const dng_exif& o) const {
    const bool texts = fImageDescription == o.fImageDescription && fMake == o.fMake && fModel == o.fModel &&
                       fSoftware == o.fSoftware && fArtist == o.fArtist && fCopyright == o.fCopyright &&
                       fCopyright2 == o.fCopyright2 && fTitle == o.fTitle && fUserComment == o.fUserComment;
    const bool dates = Same(fDateTime, o.fDateTime) && Same(fDateTimeStorageInfo, o.fDateTimeStorageInfo) &&
                       Same(fDateTimeOriginal, o.fDateTimeOriginal) &&
                       Same(fDateTimeOriginalStorageInfo, o.fDateTimeOriginalStorageInfo) &&
                       Same(fDateTimeDigitized, o.fDateTimeDigitized) &&
                       Same(fDateTimeDigitizedStorageInfo, o.fDateTimeDigitizedStorageInfo);
    const bool versions = fTIFF_EP_StandardID == o.fTIFF_EP_StandardID && fExifVersion == o.fExifVersion &&
                          fFlashPixVersion == o.fFlashPixVersion;
    const bool exposure =
        fExposureTime == o.fExposureTime && fFNumber == o.fFNumber &&
        fShutterSpeedValue == o.fShutterSpeedValue && fApertureValue == o.fApertureValue &&
        fBrightnessValue == o.fBrightnessValue && fExposureBiasValue == o.fExposureBiasValue &&
        fMaxApertureValue == o.fMaxApertureValue && fSubjectDistance == o.fSubjectDistance &&
        fFocalLength == o.fFocalLength && fDigitalZoomRatio == o.fDigitalZoomRatio &&
        fExposureIndex == o.fExposureIndex && fCompressedBitsPerPixel == o.fCompressedBitsPerPixel &&
        fGamma == o.fGamma && fBatteryLevelR == o.fBatteryLevelR && fBatteryLevelA == o.fBatteryLevelA &&
        fApproxFocusDistance == o.fApproxFocusDistance;
    const bool enums = fExposureProgram == o.fExposureProgram && fMeteringMode == o.fMeteringMode &&
                       fLightSource == o.fLightSource && fFlash == o.fFlash && fFlashMask == o.fFlashMask &&
                       fSensingMethod == o.fSensingMethod && fColorSpace == o.fColorSpace &&
                       fFileSource == o.fFileSource && fSceneType == o.fSceneType &&
                       fCustomRendered == o.fCustomRendered && fExposureMode == o.fExposureMode &&
                       fWhiteBalance == o.fWhiteBalance && fSceneCaptureType == o.fSceneCaptureType &&
                       fGainControl == o.fGainControl && fContrast == o.fContrast &&
                       fSaturation == o.fSaturation && fSharpness == o.fSharpness &&
                       fSubjectDistanceRange == o.fSubjectDistanceRange &&
                       fSelfTimerMode == o.fSelfTimerMode && fImageNumber == o.fImageNumber;
    const bool sensitivity =
        fFocalLengthIn35mmFilm == o.fFocalLengthIn35mmFilm && Same(fISOSpeedRatings, o.fISOSpeedRatings) &&
        fSensitivityType == o.fSensitivityType &&
        fStandardOutputSensitivity == o.fStandardOutputSensitivity &&
        fRecommendedExposureIndex == o.fRecommendedExposureIndex && fISOSpeed == o.fISOSpeed &&
        fISOSpeedLatitudeyyy == o.fISOSpeedLatitudeyyy && fISOSpeedLatitudezzz == o.fISOSpeedLatitudezzz;
    const bool layout = fSubjectAreaCount == o.fSubjectAreaCount && Same(fSubjectArea, o.fSubjectArea) &&
                        fComponentsConfiguration == o.fComponentsConfiguration &&
                        fPixelXDimension == o.fPixelXDimension && fPixelYDimension == o.fPixelYDimension &&
                        fFocalPlaneXResolution == o.fFocalPlaneXResolution &&
                        fFocalPlaneYResolution == o.fFocalPlaneYResolution &&
                        fFocalPlaneResolutionUnit == o.fFocalPlaneResolutionUnit &&
                        fCFARepeatPatternRows == o.fCFARepeatPatternRows &&
                        fCFARepeatPatternCols == o.fCFARepeatPatternCols &&
                        std::memcmp(fCFAPattern, o.fCFAPattern, sizeof(fCFAPattern)) == 0 &&
                        fImageUniqueID == o.fImageUniqueID;
    const bool sameGPS = SameGPS(*this, o);
    const bool interop = fInteroperabilityIndex == o.fInteroperabilityIndex &&
                         fInteroperabilityVersion == o.fInteroperabilityVersion &&
                         fRelatedImageFileFormat == o.fRelatedImageFileFormat &&
                         fRelatedImageWidth == o.fRelatedImageWidth &&
                         fRelatedImageLength == o.fRelatedImageLength;
    const bool lens = fCameraSerialNumber == o.fCameraSerialNumber && Same(fLensInfo, o.fLensInfo) &&
                      fLensName == o.fLensName && fLensID == o.fLensID && fLensMake == o.fLensMake &&
                      fLensSerialNumber == o.fLensSerialNumber && fCameraOwnerName == o.fCameraOwnerName &&
                      fBodySerialNumber == o.fBodySerialNumber && fFirmware == o.fFirmware &&
                      fFlashCompensation == o.fFlashCompensation && Same(fLensRange, o.fLensRange);
    const bool environment = fTemperature == o.fTemperature && fHumidity == o.fHumidity &&
                             fPressure == o.fPressure && fWaterDepth == o.fWaterDepth &&
                             fAcceleration == o.fAcceleration &&
                             fCameraElevationAngle == o.fCameraElevationAngle;
    return texts && dates && versions && exposure && enums && sensitivity && layout && sameGPS && interop &&
           lens && environment;
}
