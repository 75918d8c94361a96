#pragma once
// Keys of the image metadata dictionary: the decoder's metadata builder writes them, the
// inspector and the export writers read them. The values are the platform's own key
// strings, so a dictionary written out as a property list reads the same elsewhere.
// Compare keys by their text, never by address.

namespace platform {

// Sub-dictionaries of the root.
inline constexpr char kCGImagePropertyDNGDictionary[] = "{DNG}";
inline constexpr char kCGImagePropertyExifAuxDictionary[] = "{ExifAux}";
inline constexpr char kCGImagePropertyExifDictionary[] = "{Exif}";
inline constexpr char kCGImagePropertyTIFFDictionary[] = "{TIFF}";
inline constexpr char kCGImagePropertyGPSDictionary[] = "{GPS}";

// Root keys.
inline constexpr char kCGImagePropertyDepth[] = "Depth";
inline constexpr char kCGImagePropertyPixelHeight[] = "PixelHeight";
inline constexpr char kCGImagePropertyPixelWidth[] = "PixelWidth";

// {TIFF}
inline constexpr char kCGImagePropertyTIFFArtist[] = "Artist";
inline constexpr char kCGImagePropertyTIFFCompression[] = "Compression";
inline constexpr char kCGImagePropertyTIFFCopyright[] = "Copyright";
inline constexpr char kCGImagePropertyTIFFDateTime[] = "DateTime";
inline constexpr char kCGImagePropertyTIFFDocumentName[] = "DocumentName";
inline constexpr char kCGImagePropertyTIFFHostComputer[] = "HostComputer";
inline constexpr char kCGImagePropertyTIFFImageDescription[] = "ImageDescription";
inline constexpr char kCGImagePropertyTIFFMake[] = "Make";
inline constexpr char kCGImagePropertyTIFFModel[] = "Model";
inline constexpr char kCGImagePropertyTIFFOrientation[] = "Orientation";
inline constexpr char kCGImagePropertyTIFFPhotometricInterpretation[] = "PhotometricInterpretation";
inline constexpr char kCGImagePropertyTIFFPrimaryChromaticities[] = "PrimaryChromaticities";
inline constexpr char kCGImagePropertyTIFFResolutionUnit[] = "ResolutionUnit";
inline constexpr char kCGImagePropertyTIFFSoftware[] = "Software";
inline constexpr char kCGImagePropertyTIFFTransferFunction[] = "TransferFunction";
inline constexpr char kCGImagePropertyTIFFWhitePoint[] = "WhitePoint";
inline constexpr char kCGImagePropertyTIFFXResolution[] = "XResolution";
inline constexpr char kCGImagePropertyTIFFYResolution[] = "YResolution";

// {Exif}
inline constexpr char kCGImagePropertyExifApertureValue[] = "ApertureValue";
inline constexpr char kCGImagePropertyExifBrightnessValue[] = "BrightnessValue";
inline constexpr char kCGImagePropertyExifCFAPattern[] = "CFAPattern";
inline constexpr char kCGImagePropertyExifColorSpace[] = "ColorSpace";
inline constexpr char kCGImagePropertyExifComponentsConfiguration[] = "ComponentsConfiguration";
inline constexpr char kCGImagePropertyExifCompressedBitsPerPixel[] = "CompressedBitsPerPixel";
inline constexpr char kCGImagePropertyExifContrast[] = "Contrast";
inline constexpr char kCGImagePropertyExifCustomRendered[] = "CustomRendered";
inline constexpr char kCGImagePropertyExifDateTimeDigitized[] = "DateTimeDigitized";
inline constexpr char kCGImagePropertyExifDateTimeOriginal[] = "DateTimeOriginal";
inline constexpr char kCGImagePropertyExifDeviceSettingDescription[] = "DeviceSettingDescription";
inline constexpr char kCGImagePropertyExifDigitalZoomRatio[] = "DigitalZoomRatio";
inline constexpr char kCGImagePropertyExifExposureBiasValue[] = "ExposureBiasValue";
inline constexpr char kCGImagePropertyExifExposureIndex[] = "ExposureIndex";
inline constexpr char kCGImagePropertyExifExposureMode[] = "ExposureMode";
inline constexpr char kCGImagePropertyExifExposureProgram[] = "ExposureProgram";
inline constexpr char kCGImagePropertyExifExposureTime[] = "ExposureTime";
inline constexpr char kCGImagePropertyExifFNumber[] = "FNumber";
inline constexpr char kCGImagePropertyExifFileSource[] = "FileSource";
inline constexpr char kCGImagePropertyExifFlash[] = "Flash";
inline constexpr char kCGImagePropertyExifFlashEnergy[] = "FlashEnergy";
inline constexpr char kCGImagePropertyExifFlashPixVersion[] = "FlashPixVersion";
inline constexpr char kCGImagePropertyExifFocalLenIn35mmFilm[] = "FocalLenIn35mmFilm";
inline constexpr char kCGImagePropertyExifFocalLength[] = "FocalLength";
inline constexpr char kCGImagePropertyExifFocalPlaneResolutionUnit[] = "FocalPlaneResolutionUnit";
inline constexpr char kCGImagePropertyExifFocalPlaneXResolution[] = "FocalPlaneXResolution";
inline constexpr char kCGImagePropertyExifFocalPlaneYResolution[] = "FocalPlaneYResolution";
inline constexpr char kCGImagePropertyExifGainControl[] = "GainControl";
inline constexpr char kCGImagePropertyExifGamma[] = "Gamma";
inline constexpr char kCGImagePropertyExifISOSpeedRatings[] = "ISOSpeedRatings";
inline constexpr char kCGImagePropertyExifImageUniqueID[] = "ImageUniqueID";
inline constexpr char kCGImagePropertyExifLightSource[] = "LightSource";
inline constexpr char kCGImagePropertyExifMakerNote[] = "MakerNote";
inline constexpr char kCGImagePropertyExifMaxApertureValue[] = "MaxApertureValue";
inline constexpr char kCGImagePropertyExifMeteringMode[] = "MeteringMode";
inline constexpr char kCGImagePropertyExifOECF[] = "OECF";
inline constexpr char kCGImagePropertyExifPixelXDimension[] = "PixelXDimension";
inline constexpr char kCGImagePropertyExifPixelYDimension[] = "PixelYDimension";
inline constexpr char kCGImagePropertyExifRelatedSoundFile[] = "RelatedSoundFile";
inline constexpr char kCGImagePropertyExifSaturation[] = "Saturation";
inline constexpr char kCGImagePropertyExifSceneCaptureType[] = "SceneCaptureType";
inline constexpr char kCGImagePropertyExifSceneType[] = "SceneType";
inline constexpr char kCGImagePropertyExifSensingMethod[] = "SensingMethod";
inline constexpr char kCGImagePropertyExifSharpness[] = "Sharpness";
inline constexpr char kCGImagePropertyExifShutterSpeedValue[] = "ShutterSpeedValue";
inline constexpr char kCGImagePropertyExifSpatialFrequencyResponse[] = "SpatialFrequencyResponse";
inline constexpr char kCGImagePropertyExifSpectralSensitivity[] = "SpectralSensitivity";
inline constexpr char kCGImagePropertyExifSubjectArea[] = "SubjectArea";
inline constexpr char kCGImagePropertyExifSubjectDistRange[] = "SubjectDistRange";
inline constexpr char kCGImagePropertyExifSubjectDistance[] = "SubjectDistance";
inline constexpr char kCGImagePropertyExifSubjectLocation[] = "SubjectLocation";
inline constexpr char kCGImagePropertyExifSubsecTime[] = "SubsecTime";
inline constexpr char kCGImagePropertyExifSubsecTimeDigitized[] = "SubsecTimeDigitized";
inline constexpr char kCGImagePropertyExifSubsecTimeOrginal[] = "SubsecTimeOriginal";
inline constexpr char kCGImagePropertyExifUserComment[] = "UserComment";
inline constexpr char kCGImagePropertyExifVersion[] = "ExifVersion";
inline constexpr char kCGImagePropertyExifWhiteBalance[] = "WhiteBalance";

// {ExifAux}
inline constexpr char kCGImagePropertyExifAuxFirmware[] = "Firmware";
inline constexpr char kCGImagePropertyExifAuxFlashCompensation[] = "FlashCompensation";
inline constexpr char kCGImagePropertyExifAuxImageNumber[] = "ImageNumber";
inline constexpr char kCGImagePropertyExifAuxLensID[] = "LensID";
inline constexpr char kCGImagePropertyExifAuxLensInfo[] = "LensInfo";
inline constexpr char kCGImagePropertyExifAuxLensModel[] = "LensModel";
inline constexpr char kCGImagePropertyExifAuxLensSerialNumber[] = "LensSerialNumber";
inline constexpr char kCGImagePropertyExifAuxOwnerName[] = "OwnerName";
inline constexpr char kCGImagePropertyExifAuxSerialNumber[] = "SerialNumber";

// {DNG}
inline constexpr char kCGImagePropertyDNGBackwardVersion[] = "DNGBackwardVersion";
inline constexpr char kCGImagePropertyDNGCameraSerialNumber[] = "CameraSerialNumber";
inline constexpr char kCGImagePropertyDNGLensInfo[] = "LensInfo";
inline constexpr char kCGImagePropertyDNGLocalizedCameraModel[] = "LocalizedCameraModel";
inline constexpr char kCGImagePropertyDNGUniqueCameraModel[] = "UniqueCameraModel";
inline constexpr char kCGImagePropertyDNGVersion[] = "DNGVersion";

// {GPS}
inline constexpr char kCGImagePropertyGPSAltitude[] = "Altitude";
inline constexpr char kCGImagePropertyGPSAltitudeRef[] = "AltitudeRef";
inline constexpr char kCGImagePropertyGPSAreaInformation[] = "AreaInformation";
inline constexpr char kCGImagePropertyGPSDOP[] = "DOP";
inline constexpr char kCGImagePropertyGPSDateStamp[] = "DateStamp";
inline constexpr char kCGImagePropertyGPSDestBearing[] = "DestBearing";
inline constexpr char kCGImagePropertyGPSDestBearingRef[] = "DestBearingRef";
inline constexpr char kCGImagePropertyGPSDestDistance[] = "DestDistance";
inline constexpr char kCGImagePropertyGPSDestDistanceRef[] = "DestDistanceRef";
inline constexpr char kCGImagePropertyGPSDestLatitude[] = "DestLatitude";
inline constexpr char kCGImagePropertyGPSDestLatitudeRef[] = "DestLatitudeRef";
inline constexpr char kCGImagePropertyGPSDestLongitude[] = "DestLongitude";
inline constexpr char kCGImagePropertyGPSDestLongitudeRef[] = "DestLongitudeRef";
inline constexpr char kCGImagePropertyGPSDifferental[] = "Differential";
inline constexpr char kCGImagePropertyGPSImgDirection[] = "ImgDirection";
inline constexpr char kCGImagePropertyGPSImgDirectionRef[] = "ImgDirectionRef";
inline constexpr char kCGImagePropertyGPSLatitude[] = "Latitude";
inline constexpr char kCGImagePropertyGPSLatitudeRef[] = "LatitudeRef";
inline constexpr char kCGImagePropertyGPSLongitude[] = "Longitude";
inline constexpr char kCGImagePropertyGPSLongitudeRef[] = "LongitudeRef";
inline constexpr char kCGImagePropertyGPSMapDatum[] = "MapDatum";
inline constexpr char kCGImagePropertyGPSMeasureMode[] = "MeasureMode";
inline constexpr char kCGImagePropertyGPSProcessingMethod[] = "ProcessingMethod";
inline constexpr char kCGImagePropertyGPSSatellites[] = "Satellites";
inline constexpr char kCGImagePropertyGPSSpeed[] = "Speed";
inline constexpr char kCGImagePropertyGPSSpeedRef[] = "SpeedRef";
inline constexpr char kCGImagePropertyGPSStatus[] = "Status";
inline constexpr char kCGImagePropertyGPSTimeStamp[] = "TimeStamp";
inline constexpr char kCGImagePropertyGPSTrack[] = "Track";
inline constexpr char kCGImagePropertyGPSTrackRef[] = "TrackRef";
inline constexpr char kCGImagePropertyGPSVersion[] = "GPSVersion";

} // namespace platform
