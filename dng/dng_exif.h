#pragma once
// The camera and capture description of one photograph, shaped like the TIFF IFD0, EXIF, GPS
// and interoperability tag sets. Fields are public: the export's key table fills them directly.
// Rationals with a zero denominator, empty strings and all-ones enumerations mean "absent".
#include "dng/dng_date_time.h"
#include "dng/dng_fingerprint.h"
#include "dng/dng_rational.h"
#include "dng/dng_string.h"

#include <cstdint>

class dng_stream;

class dng_exif {
  public:
    static constexpr uint32_t kAbsent = 0xFFFFFFFF;
    // Versions are four characters read as one big-endian value.
    static constexpr uint32_t kVersion0230 = 0x30323330;
    static constexpr uint32_t kVersion0231 = 0x30323331;

    // IFD0 texts. Copyright is held as the photographer's and the editor's parts.
    dng_string fImageDescription;
    dng_string fMake;
    dng_string fModel;
    dng_string fSoftware;
    dng_string fArtist;
    dng_string fCopyright;
    dng_string fCopyright2;
    dng_string fTitle;
    dng_string fUserComment;

    // DateTime (306), DateTimeOriginal (36867), DateTimeDigitized (36868), each with its
    // subseconds and zone offset, and where a reader found it.
    dng_date_time_info fDateTime;
    dng_date_time_storage_info fDateTimeStorageInfo;
    dng_date_time_info fDateTimeOriginal;
    dng_date_time_storage_info fDateTimeOriginalStorageInfo;
    dng_date_time_info fDateTimeDigitized;
    dng_date_time_storage_info fDateTimeDigitizedStorageInfo;

    uint32_t fTIFF_EP_StandardID = 0;
    uint32_t fExifVersion = 0;
    uint32_t fFlashPixVersion = 0;

    dng_urational fExposureTime;
    dng_urational fFNumber;
    dng_srational fShutterSpeedValue;
    dng_urational fApertureValue;
    dng_srational fBrightnessValue;
    dng_srational fExposureBiasValue;
    dng_urational fMaxApertureValue;
    dng_urational fSubjectDistance;
    dng_urational fFocalLength;
    dng_urational fDigitalZoomRatio;
    dng_urational fExposureIndex;
    dng_urational fCompressedBitsPerPixel;
    dng_urational fGamma;
    // BatteryLevel (33423) is either a rational or a text.
    dng_urational fBatteryLevelR;
    dng_string fBatteryLevelA;
    dng_urational fApproxFocusDistance;

    uint32_t fExposureProgram = kAbsent;
    uint32_t fMeteringMode = kAbsent;
    uint32_t fLightSource = kAbsent;
    uint32_t fFlash = kAbsent;
    uint32_t fFlashMask = 0x0000FFFF;
    uint32_t fSensingMethod = kAbsent;
    uint32_t fColorSpace = kAbsent;
    uint32_t fFileSource = kAbsent;
    uint32_t fSceneType = kAbsent;
    uint32_t fCustomRendered = kAbsent;
    uint32_t fExposureMode = kAbsent;
    uint32_t fWhiteBalance = kAbsent;
    uint32_t fSceneCaptureType = kAbsent;
    uint32_t fGainControl = kAbsent;
    uint32_t fContrast = kAbsent;
    uint32_t fSaturation = kAbsent;
    uint32_t fSharpness = kAbsent;
    uint32_t fSubjectDistanceRange = kAbsent;
    uint32_t fSelfTimerMode = kAbsent;
    uint32_t fImageNumber = kAbsent;

    uint32_t fFocalLengthIn35mmFilm = 0;
    uint32_t fISOSpeedRatings[3] = {0, 0, 0};
    uint32_t fSensitivityType = 0;
    uint32_t fStandardOutputSensitivity = 0;
    uint32_t fRecommendedExposureIndex = 0;
    uint32_t fISOSpeed = 0;
    uint32_t fISOSpeedLatitudeyyy = 0;
    uint32_t fISOSpeedLatitudezzz = 0;

    // SubjectArea (37396) or SubjectLocation (41492).
    uint32_t fSubjectAreaCount = 0;
    uint32_t fSubjectArea[4] = {0, 0, 0, 0};
    uint32_t fComponentsConfiguration = 0;
    uint32_t fPixelXDimension = 0;
    uint32_t fPixelYDimension = 0;

    dng_urational fFocalPlaneXResolution;
    dng_urational fFocalPlaneYResolution;
    uint32_t fFocalPlaneResolutionUnit = kAbsent;

    uint32_t fCFARepeatPatternRows = 0;
    uint32_t fCFARepeatPatternCols = 0;
    uint8_t fCFAPattern[8][8];

    dng_fingerprint fImageUniqueID;

    uint32_t fGPSVersionID = 0;
    dng_string fGPSLatitudeRef;
    dng_urational fGPSLatitude[3];
    dng_string fGPSLongitudeRef;
    dng_urational fGPSLongitude[3];
    uint32_t fGPSAltitudeRef = kAbsent;
    dng_urational fGPSAltitude;
    dng_urational fGPSTimeStamp[3];
    dng_string fGPSSatellites;
    dng_string fGPSStatus;
    dng_string fGPSMeasureMode;
    dng_urational fGPSDOP;
    dng_string fGPSSpeedRef;
    dng_urational fGPSSpeed;
    dng_string fGPSTrackRef;
    dng_urational fGPSTrack;
    dng_string fGPSImgDirectionRef;
    dng_urational fGPSImgDirection;
    dng_string fGPSMapDatum;
    dng_string fGPSDestLatitudeRef;
    dng_urational fGPSDestLatitude[3];
    dng_string fGPSDestLongitudeRef;
    dng_urational fGPSDestLongitude[3];
    dng_string fGPSDestBearingRef;
    dng_urational fGPSDestBearing;
    dng_string fGPSDestDistanceRef;
    dng_urational fGPSDestDistance;
    dng_string fGPSProcessingMethod;
    dng_string fGPSAreaInformation;
    dng_string fGPSDateStamp;
    uint32_t fGPSDifferential = kAbsent;
    dng_urational fGPSHPositioningError;

    dng_string fInteroperabilityIndex;
    uint32_t fInteroperabilityVersion = 0;
    dng_string fRelatedImageFileFormat;
    uint32_t fRelatedImageWidth = 0;
    uint32_t fRelatedImageLength = 0;

    // CameraSerialNumber (50735, also 33405).
    dng_string fCameraSerialNumber;
    // Minimum and maximum focal length, then minimum and maximum f-number (50736 or 42034).
    dng_urational fLensInfo[4];
    // The lens model text (42036): what the lens name is read from and written as.
    dng_string fLensName;
    dng_string fLensID;
    dng_string fLensMake;
    dng_string fLensSerialNumber;
    dng_string fCameraOwnerName;
    dng_string fBodySerialNumber;
    dng_string fFirmware;
    dng_srational fFlashCompensation;
    // The lens distortion values.
    dng_urational fLensRange[4];

    dng_srational fTemperature;
    dng_urational fHumidity;
    dng_urational fPressure;
    dng_srational fWaterDepth;
    dng_urational fAcceleration;
    dng_srational fCameraElevationAngle;

    dng_exif();
    dng_exif(const dng_exif&) = default;
    dng_exif& operator=(const dng_exif&) = default;
    virtual ~dng_exif() = default;

    // The caller owns the copy.
    virtual dng_exif* Clone() const;

    // Reading side: a tag of the directory `parentCode` (0 for IFD0). Answers whether the tag
    // was taken; this program reads no EXIF from files, so no tag is.
    virtual bool ParseTag(dng_stream& stream, uint32_t parentCode, uint32_t tagCode, uint32_t tagType,
                          uint32_t tagCount, uint64_t tagOffset);
    // Fills what a file left to be derived once all tags were read.
    virtual void PostParse();

    void SetEmpty() { *this = dng_exif(); }
    void CopyGPSFrom(const dng_exif& other);

    // Derive the APEX partner value, as cameras write both.
    void SetExposureTime(double seconds, bool snap = true);
    void SetShutterSpeedValue(double apex);
    void SetFNumber(double fNumber);
    void SetApertureValue(double apex);

    bool AtLeastVersion0230() const { return fExifVersion >= kVersion0230; }
    bool AtLeastVersion0231() const { return fExifVersion >= kVersion0231; }
    void SetVersion0231() { fExifVersion = kVersion0231; }

    bool HasLensRange() const;
    void SetDateTime(const dng_date_time_info& info) { fDateTime = info; }

    // The nearest standard shutter time, or a tidy value near t.
    static double SnapExposureTime(double t);

    bool operator==(const dng_exif& other) const;
    bool operator!=(const dng_exif& other) const { return !(*this == other); }

  protected:
    virtual bool Parse_ifd0(dng_stream& stream, uint32_t tagCode, uint32_t tagType, uint32_t tagCount,
                            uint64_t tagOffset);
    virtual bool Parse_ifd0_tiff_ep(dng_stream& stream, uint32_t tagCode, uint32_t tagType, uint32_t tagCount,
                                    uint64_t tagOffset);
    virtual bool Parse_ifd0_exif(dng_stream& stream, uint32_t tagCode, uint32_t tagType, uint32_t tagCount,
                                 uint64_t tagOffset);
    virtual bool Parse_gps(dng_stream& stream, uint32_t tagCode, uint32_t tagType, uint32_t tagCount,
                           uint64_t tagOffset);
    virtual bool Parse_interoperability(dng_stream& stream, uint32_t tagCode, uint32_t tagType,
                                        uint32_t tagCount, uint64_t tagOffset);
};
