#pragma once
// The codes by which the export wrappers hand image metadata to their writers, one property
// at a time: a code naming the property key, the value's text, an integer and a real. The
// DNG/TIFF writer maps the codes to EXIF fields, the OpenEXR writer to header attributes.
#include "platform/Value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Codes are stored and compared as numbers by both writers: never renumber them.
enum class MetadataKey : uint8_t {
    // {TIFF}
    TIFFCompression = 0,
    TIFFPhotometricInterpretation,
    TIFFDocumentName,
    TIFFImageDescription,
    TIFFMake,
    TIFFModel,
    TIFFOrientation,
    TIFFXResolution,
    TIFFYResolution,
    TIFFResolutionUnit,
    TIFFSoftware,
    TIFFTransferFunction,
    TIFFDateTime,
    TIFFArtist,
    TIFFHostComputer,
    TIFFCopyright,
    TIFFWhitePoint,
    TIFFPrimaryChromaticities,
    // {Exif}
    ExifExposureTime = 18,
    ExifFNumber,
    ExifExposureProgram,
    ExifSpectralSensitivity,
    ExifISOSpeedRatings,
    ExifOECF,
    ExifVersion,
    ExifDateTimeOriginal,
    ExifDateTimeDigitized,
    ExifComponentsConfiguration,
    ExifCompressedBitsPerPixel,
    ExifShutterSpeedValue,
    ExifApertureValue,
    ExifBrightnessValue,
    ExifExposureBiasValue,
    ExifMaxApertureValue,
    ExifSubjectDistance,
    ExifMeteringMode,
    ExifLightSource,
    ExifFlash,
    ExifFocalLength,
    ExifSubjectArea,
    ExifMakerNote,
    ExifUserComment,
    ExifSubsecTime,
    ExifSubsecTimeOrginal,
    ExifSubsecTimeDigitized,
    ExifFlashPixVersion,
    ExifColorSpace,
    ExifPixelXDimension,
    ExifPixelYDimension,
    ExifRelatedSoundFile,
    ExifFlashEnergy,
    ExifSpatialFrequencyResponse,
    ExifFocalPlaneXResolution,
    ExifFocalPlaneYResolution,
    ExifFocalPlaneResolutionUnit,
    ExifSubjectLocation,
    ExifExposureIndex,
    ExifSensingMethod,
    ExifFileSource,
    ExifSceneType,
    // 60 is left unused.
    ExifCustomRendered = 61,
    ExifExposureMode,
    ExifWhiteBalance,
    ExifDigitalZoomRatio,
    ExifFocalLenIn35mmFilm,
    ExifSceneCaptureType,
    ExifGainControl,
    ExifContrast,
    ExifSaturation,
    ExifSharpness,
    ExifDeviceSettingDescription,
    ExifSubjectDistRange,
    ExifImageUniqueID,
    ExifGamma,
    // {ExifAux}
    ExifAuxLensInfo = 75,
    ExifAuxLensModel,
    ExifAuxSerialNumber,
    ExifAuxLensID,
    ExifAuxLensSerialNumber,
    ExifAuxImageNumber,
    ExifAuxFlashCompensation,
    ExifAuxOwnerName,
    ExifAuxFirmware,
};

static_assert(int(MetadataKey::ExifSceneType) == 59 && int(MetadataKey::ExifGamma) == 74 &&
              int(MetadataKey::ExifAuxFirmware) == 83);

// The code of a property key of the metadata dictionary (platform/ImageProperties.h),
// matched by the key's text; no code for any other key. No key name occurs in two of the
// groups {TIFF}, {Exif} and {ExifAux}, so the text alone decides.
std::optional<MetadataKey> metadataKeyForProperty(std::string_view key);

// The property key of a code, or nullptr for a number that names no key (60, above 83).
const char* metadataPropertyForKey(MetadataKey code);

// One property value as text, integer and real. An array stands for its first element and
// an empty array for no value. A string gives its text and leaves *iValue and *fValue as
// they are; a number gives its shortest text, its integer value (cut to 32 bits) and its
// real value. Anything else, or no value, gives nullopt. Either pointer may be null.
std::optional<std::string> decodeMetadataValue(const platform::Dictionary& properties, std::string_view key,
                                               int32_t* iValue, double* fValue);
