#include "export/MetadataKey.h"

#include "platform/ImageProperties.h"

#include <array>
#include <unordered_map>

using namespace platform;

namespace {

struct KeyRow {
    MetadataKey code;
    const char* property;
};

using K = MetadataKey;

constexpr std::array kRows{
    KeyRow{K::TIFFCompression, kCGImagePropertyTIFFCompression},
    KeyRow{K::TIFFPhotometricInterpretation, kCGImagePropertyTIFFPhotometricInterpretation},
    KeyRow{K::TIFFDocumentName, kCGImagePropertyTIFFDocumentName},
    KeyRow{K::TIFFImageDescription, kCGImagePropertyTIFFImageDescription},
    KeyRow{K::TIFFMake, kCGImagePropertyTIFFMake},
    KeyRow{K::TIFFModel, kCGImagePropertyTIFFModel},
    KeyRow{K::TIFFOrientation, kCGImagePropertyTIFFOrientation},
    KeyRow{K::TIFFXResolution, kCGImagePropertyTIFFXResolution},
    KeyRow{K::TIFFYResolution, kCGImagePropertyTIFFYResolution},
    KeyRow{K::TIFFResolutionUnit, kCGImagePropertyTIFFResolutionUnit},
    KeyRow{K::TIFFSoftware, kCGImagePropertyTIFFSoftware},
    KeyRow{K::TIFFTransferFunction, kCGImagePropertyTIFFTransferFunction},
    KeyRow{K::TIFFDateTime, kCGImagePropertyTIFFDateTime},
    KeyRow{K::TIFFArtist, kCGImagePropertyTIFFArtist},
    KeyRow{K::TIFFHostComputer, kCGImagePropertyTIFFHostComputer},
    KeyRow{K::TIFFCopyright, kCGImagePropertyTIFFCopyright},
    KeyRow{K::TIFFWhitePoint, kCGImagePropertyTIFFWhitePoint},
    KeyRow{K::TIFFPrimaryChromaticities, kCGImagePropertyTIFFPrimaryChromaticities},
    KeyRow{K::ExifExposureTime, kCGImagePropertyExifExposureTime},
    KeyRow{K::ExifFNumber, kCGImagePropertyExifFNumber},
    KeyRow{K::ExifExposureProgram, kCGImagePropertyExifExposureProgram},
    KeyRow{K::ExifSpectralSensitivity, kCGImagePropertyExifSpectralSensitivity},
    KeyRow{K::ExifISOSpeedRatings, kCGImagePropertyExifISOSpeedRatings},
    KeyRow{K::ExifOECF, kCGImagePropertyExifOECF},
    KeyRow{K::ExifVersion, kCGImagePropertyExifVersion},
    KeyRow{K::ExifDateTimeOriginal, kCGImagePropertyExifDateTimeOriginal},
    KeyRow{K::ExifDateTimeDigitized, kCGImagePropertyExifDateTimeDigitized},
    KeyRow{K::ExifComponentsConfiguration, kCGImagePropertyExifComponentsConfiguration},
    KeyRow{K::ExifCompressedBitsPerPixel, kCGImagePropertyExifCompressedBitsPerPixel},
    KeyRow{K::ExifShutterSpeedValue, kCGImagePropertyExifShutterSpeedValue},
    KeyRow{K::ExifApertureValue, kCGImagePropertyExifApertureValue},
    KeyRow{K::ExifBrightnessValue, kCGImagePropertyExifBrightnessValue},
    KeyRow{K::ExifExposureBiasValue, kCGImagePropertyExifExposureBiasValue},
    KeyRow{K::ExifMaxApertureValue, kCGImagePropertyExifMaxApertureValue},
    KeyRow{K::ExifSubjectDistance, kCGImagePropertyExifSubjectDistance},
    KeyRow{K::ExifMeteringMode, kCGImagePropertyExifMeteringMode},
    KeyRow{K::ExifLightSource, kCGImagePropertyExifLightSource},
    KeyRow{K::ExifFlash, kCGImagePropertyExifFlash},
    KeyRow{K::ExifFocalLength, kCGImagePropertyExifFocalLength},
    KeyRow{K::ExifSubjectArea, kCGImagePropertyExifSubjectArea},
    KeyRow{K::ExifMakerNote, kCGImagePropertyExifMakerNote},
    KeyRow{K::ExifUserComment, kCGImagePropertyExifUserComment},
    KeyRow{K::ExifSubsecTime, kCGImagePropertyExifSubsecTime},
    KeyRow{K::ExifSubsecTimeOrginal, kCGImagePropertyExifSubsecTimeOrginal},
    KeyRow{K::ExifSubsecTimeDigitized, kCGImagePropertyExifSubsecTimeDigitized},
    KeyRow{K::ExifFlashPixVersion, kCGImagePropertyExifFlashPixVersion},
    KeyRow{K::ExifColorSpace, kCGImagePropertyExifColorSpace},
    KeyRow{K::ExifPixelXDimension, kCGImagePropertyExifPixelXDimension},
    KeyRow{K::ExifPixelYDimension, kCGImagePropertyExifPixelYDimension},
    KeyRow{K::ExifRelatedSoundFile, kCGImagePropertyExifRelatedSoundFile},
    KeyRow{K::ExifFlashEnergy, kCGImagePropertyExifFlashEnergy},
    KeyRow{K::ExifSpatialFrequencyResponse, kCGImagePropertyExifSpatialFrequencyResponse},
    KeyRow{K::ExifFocalPlaneXResolution, kCGImagePropertyExifFocalPlaneXResolution},
    KeyRow{K::ExifFocalPlaneYResolution, kCGImagePropertyExifFocalPlaneYResolution},
    KeyRow{K::ExifFocalPlaneResolutionUnit, kCGImagePropertyExifFocalPlaneResolutionUnit},
    KeyRow{K::ExifSubjectLocation, kCGImagePropertyExifSubjectLocation},
    KeyRow{K::ExifExposureIndex, kCGImagePropertyExifExposureIndex},
    KeyRow{K::ExifSensingMethod, kCGImagePropertyExifSensingMethod},
    KeyRow{K::ExifFileSource, kCGImagePropertyExifFileSource},
    KeyRow{K::ExifSceneType, kCGImagePropertyExifSceneType},
    KeyRow{K::ExifCustomRendered, kCGImagePropertyExifCustomRendered},
    KeyRow{K::ExifExposureMode, kCGImagePropertyExifExposureMode},
    KeyRow{K::ExifWhiteBalance, kCGImagePropertyExifWhiteBalance},
    KeyRow{K::ExifDigitalZoomRatio, kCGImagePropertyExifDigitalZoomRatio},
    KeyRow{K::ExifFocalLenIn35mmFilm, kCGImagePropertyExifFocalLenIn35mmFilm},
    KeyRow{K::ExifSceneCaptureType, kCGImagePropertyExifSceneCaptureType},
    KeyRow{K::ExifGainControl, kCGImagePropertyExifGainControl},
    KeyRow{K::ExifContrast, kCGImagePropertyExifContrast},
    KeyRow{K::ExifSaturation, kCGImagePropertyExifSaturation},
    KeyRow{K::ExifSharpness, kCGImagePropertyExifSharpness},
    KeyRow{K::ExifDeviceSettingDescription, kCGImagePropertyExifDeviceSettingDescription},
    KeyRow{K::ExifSubjectDistRange, kCGImagePropertyExifSubjectDistRange},
    KeyRow{K::ExifImageUniqueID, kCGImagePropertyExifImageUniqueID},
    KeyRow{K::ExifGamma, kCGImagePropertyExifGamma},
    KeyRow{K::ExifAuxLensInfo, kCGImagePropertyExifAuxLensInfo},
    KeyRow{K::ExifAuxLensModel, kCGImagePropertyExifAuxLensModel},
    KeyRow{K::ExifAuxSerialNumber, kCGImagePropertyExifAuxSerialNumber},
    KeyRow{K::ExifAuxLensID, kCGImagePropertyExifAuxLensID},
    KeyRow{K::ExifAuxLensSerialNumber, kCGImagePropertyExifAuxLensSerialNumber},
    KeyRow{K::ExifAuxImageNumber, kCGImagePropertyExifAuxImageNumber},
    KeyRow{K::ExifAuxFlashCompensation, kCGImagePropertyExifAuxFlashCompensation},
    KeyRow{K::ExifAuxOwnerName, kCGImagePropertyExifAuxOwnerName},
    KeyRow{K::ExifAuxFirmware, kCGImagePropertyExifAuxFirmware},
};

// Every code from 0 to 83 but 60, once and in order: row i holds code i (i + 1 past 59).
constexpr bool rowsAreInCodeOrder() {
    for (size_t i = 0; i < kRows.size(); ++i)
        if (size_t(kRows[i].code) != (i < 60 ? i : i + 1)) return false;
    return kRows.size() == 83;
}
static_assert(rowsAreInCodeOrder());

const std::unordered_map<std::string_view, MetadataKey>& codesByProperty() {
    static const auto map = [] {
        std::unordered_map<std::string_view, MetadataKey> m;
        for (const auto& row : kRows)
            m.emplace(row.property, row.code);
        return m;
    }();
    return map;
}

} // namespace

std::optional<MetadataKey> metadataKeyForProperty(std::string_view key) {
    const auto& map = codesByProperty();
    auto it = map.find(key);
    if (it == map.end()) return std::nullopt;
    return it->second;
}

const char* metadataPropertyForKey(MetadataKey code) {
    size_t c = size_t(code);
    if (c == 60 || c > 83) return nullptr;
    return kRows[c < 60 ? c : c - 1].property;
}

std::optional<std::string> decodeMetadataValue(const Dictionary& properties, std::string_view key,
                                               int32_t* iValue, double* fValue) {
    auto it = properties.find(std::string(key));
    if (it == properties.end()) return std::nullopt;
    const Value* value = &it->second;
    if (const Array* array = value->array()) {
        if (array->empty()) return std::nullopt;
        value = &array->front();
    }
    if (const std::string* text = value->string()) return *text;
    if (!value->isNumber()) return std::nullopt;
    // Cut to 32 bits as a C long-to-int conversion would.
    if (iValue) *iValue = int32_t(uint32_t(uint64_t(value->int64Value())));
    if (fValue) *fValue = value->doubleValue();
    return value->stringValue();
}
