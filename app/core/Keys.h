#pragma once
// The application's names, defined once: settings keys of a document's settings dictionary
// (the schema's rows), user-defaults keys, and the errors of opening, exporting and saving
// presets. Notification names live in platform/Notifications.h, since lower layers post some.
#include <cstdint>
#include <string_view>

#include "platform/Error.h"
#include "platform/Notifications.h"
#include "settings/Schema.h"

namespace app::keys {

// The settings keys are the schema's rows (settings/Schema.h); these are their names here.
inline constexpr std::string_view SettingsPrefix = settings::Prefix;
inline constexpr std::string_view LegacySettingsPrefix = settings::LegacyPrefix;
inline constexpr std::string_view FilterPrefix = settings::FilterPrefix;
inline constexpr std::string_view MetaDataPrefix = settings::MetaDataPrefix;
// The key that reads the whole metadata dictionary.
inline constexpr std::string_view MetaData = settings::MetaDataPrefix;

// Adjustments.
inline constexpr std::string_view InputRadius = settings::InputRadius.key;
inline constexpr std::string_view InputIntensity = settings::InputIntensity.key;
inline constexpr std::string_view InputEV = settings::InputEV.key;
inline constexpr std::string_view InputContrast = settings::InputContrast.key;
inline constexpr std::string_view InputBrightness = settings::InputBrightness.key;
inline constexpr std::string_view InputFillLight = settings::InputFillLight.key;
inline constexpr std::string_view InputHighLight = settings::InputHighLight.key;
inline constexpr std::string_view InputKneeHigh = settings::InputKneeHigh.key;
inline constexpr std::string_view InputKneeLow = settings::InputKneeLow.key;
inline constexpr std::string_view InputSaturation = settings::InputSaturation.key;
inline constexpr std::string_view InputAngle = settings::InputAngle.key;
inline constexpr std::string_view InputTemperature = settings::InputTemperature.key;
inline constexpr std::string_view InputTint = settings::InputTint.key;
inline constexpr std::string_view MonochromeRed = settings::MonochromeRed.key;
inline constexpr std::string_view MonochromeYellow = settings::MonochromeYellow.key;
inline constexpr std::string_view MonochromeGreen = settings::MonochromeGreen.key;
inline constexpr std::string_view MonochromeCyan = settings::MonochromeCyan.key;
inline constexpr std::string_view MonochromeBlue = settings::MonochromeBlue.key;

// Other settings. The two profiles are held as their property-list forms.
inline constexpr std::string_view CameraProfile = settings::CameraProfile.key;
inline constexpr std::string_view IccProfile = settings::IccProfile.key;
inline constexpr std::string_view MaintainWhites = settings::MaintainWhites.key;
inline constexpr std::string_view MonochromeSensor = settings::MonochromeSensor.key;
inline constexpr std::string_view IRUVSensor = settings::IRUVSensor.key;
inline constexpr std::string_view ArtifactSuppression = settings::ArtifactSuppression.key;
inline constexpr std::string_view ChromaArtifactSuppression = settings::ChromaArtifactSuppression.key;
inline constexpr std::string_view EttrAdjust = settings::EttrAdjust.key;
inline constexpr std::string_view ToneCurveAdjust = settings::ToneCurveAdjust.key;
inline constexpr std::string_view ArtifactFilter = settings::ArtifactFilter.key;
inline constexpr std::string_view KodakProcessing = settings::KodakProcessing.key;
inline constexpr std::string_view ExportFileType = settings::ExportFileType.key;
inline constexpr std::string_view JPEGQuality = settings::JPEGQuality.key;
inline constexpr std::string_view UseAsShotWB = settings::UseAsShotWB.key;
inline constexpr std::string_view SceneReferred = settings::SceneReferred.key;
inline constexpr std::string_view CropRectX = settings::CropRectX.key;
inline constexpr std::string_view CropRectY = settings::CropRectY.key;
inline constexpr std::string_view CropRectWidth = settings::CropRectWidth.key;
inline constexpr std::string_view CropRectHeight = settings::CropRectHeight.key;
inline constexpr std::string_view ImageOrientation = settings::ImageOrientation.key;
// The raw file's path: its identity in the catalog.
inline constexpr std::string_view UUID = settings::UUID.key;
// A preset's identity (also its file name) and its name.
inline constexpr std::string_view PresetUUID = settings::PresetUUID.key;
inline constexpr std::string_view DisplayName = settings::DisplayName.key;

// The tag of a profile's property-list form, beside the profile's own keys.
inline constexpr std::string_view SerializedClass = "Class_of_serialized_Object";

} // namespace app::keys

namespace app::defaults {

// Registered at start (AppTables.h).
inline constexpr std::string_view ShowSplashScreen = "ShowSplashScreen";
inline constexpr std::string_view ShowPopoverHelp = "ShowPopoverHelp";
inline constexpr std::string_view ShowOnlyPCDFiles = "ShowOnlyPCDFiles";
inline constexpr std::string_view ResolutionSelect = "ResolutionSelect";
inline constexpr std::string_view AutomaticColorProfile = "AutomaticColorProfile";
inline constexpr std::string_view UseAdvancedInterpolation = "UseAdvancedInterpolation";
inline constexpr std::string_view ShowExternalProfiles = "ShowExternalProfiles";
inline constexpr std::string_view DisableFrameBuffer = "DisableFrameBuffer";
inline constexpr std::string_view DisableImageCache = "DisableImageCache";
inline constexpr std::string_view DisableFastScreenUpdates = "DisableFastScreenUpdates";
inline constexpr std::string_view BrowserFileSelect = "BrowserFileSelect";
inline constexpr std::string_view EnableNewPV = "enableNewPV";
inline constexpr std::string_view EnableHighQualityDisplay = "EnableHighQualityDisplay";
inline constexpr std::string_view SilentlyOverwrite = "SilentlyOverwrite";
inline constexpr std::string_view EnableCinematic = "enableCinematic";

// Kept by the program, not registered.
inline constexpr std::string_view LumivarIsRunning = "LumivarIsRunning";
inline constexpr std::string_view ImageDirectory = "imageDirectory";
// File > Open Recent: the paths of the last files opened in a window, newest first.
inline constexpr std::string_view RecentDocuments = "RecentDocuments";
// Folders the user chose, stored as plain absolute paths.
inline constexpr std::string_view RawSearchDirectoryBookmark = "rawSearchDirectoryBookmark";
inline constexpr std::string_view ImageDirectoryBookmark = "imageDirectoryBookmark";
inline constexpr std::string_view ExportDirectoryBookmark = "exportDirectoryBookmark";
// Read only: the desktop's light or dark appearance.
inline constexpr std::string_view AppleInterfaceStyle = "AppleInterfaceStyle";

} // namespace app::defaults

namespace app::errors {

// Opening and exporting documents, saving presets, batch export, showing a document. Texts
// with %s take the arguments their comment names. A code keeps its number once given; a new
// failure takes the next free number below, never one in use.
inline constexpr std::string_view Domain = "LumivarErrorDomain";

enum Code : int64_t {
    BatchExportFailed = -1,
    NoDecoder = -2,
    IsDirectory = -4,
    NotAFileLocation = -5,
    NoPathInformation = -6,
    NoFinalImage = -7,
    NoLinearBuffer = -9,
    NotEnoughMemory = -10,
    NoDestination = -11,
    CouldNotFinalize = -12,
    WriterFailed = -13, // the writer's own text is the reason
    EmptyPresetName = -14,
    NoRawSearchLocation = -15,
    InvalidNameSuffix = -16,
    RawFileNotFound = -17,
    WrongSettingType = -18,
    RenderFailed = -19,
    NoGraphicsMemory = -20,
    NoWindow = -21,
};

// The destination's path without extension.
inline constexpr std::string_view BatchExportFailedText =
    "Lumivar could not create the export file - may be a permissions problem: %s";
inline constexpr std::string_view NoDecoderText =
    "Lumivar could not create a decoder object - may be too little memory.";
// NoDecoder for a Photo CD file shorter than any image pack: the file's size in bytes, then
// the least.
inline constexpr std::string_view PhotoCdTooSmallText =
    "Lumivar could not open the Photo CD file - it is too small to be valid (%s bytes; an image pack "
    "holds at least %s).";
inline constexpr std::string_view IsDirectoryText = "directory read operation.";
inline constexpr std::string_view NotAFileLocationText = "Lumivar could not resolve the file location.";
inline constexpr std::string_view NoPathInformationText = "Lumivar could not obtain path information.";
inline constexpr std::string_view NoFinalImageText = "Internal Error - finalCGImage does not exist";
inline constexpr std::string_view NoLinearBufferText =
    "Internal Error - could not get linear buffer to export";
inline constexpr std::string_view NotEnoughMemoryText = "Not enough memory to complete operation";
inline constexpr std::string_view NoDestinationText = "Could not create output destination";
inline constexpr std::string_view CouldNotFinalizeText = "Could not finalize output destination";
// Shown only when the writer gives no text of its own.
inline constexpr std::string_view WriterFailedText = "Lumivar could not write the export file.";
inline constexpr std::string_view EmptyPresetNameText = "Must have a valid name";
inline constexpr std::string_view NoRawSearchLocationText =
    "No valid raw search location available - Set the search location in Preferences to the folder "
    "containing your raw image files.";
// The proxy's name.
inline constexpr std::string_view InvalidNameSuffixText =
    "Could not find a raw file name from %s. Name suffix is not valid.";
// The parsed base name, then the search folder's path.
inline constexpr std::string_view RawFileNotFoundText =
    "Could not find the raw file corresponding to %s in search location %s. Set the search location in "
    "Preferences to the folder containing your raw image files.";
// The preset's name, the key, what the value is, what the key needs.
inline constexpr std::string_view WrongSettingTypeText =
    "The preset \"%s\" was not applied: its value for \"%s\" is %s, where %s belongs.";
inline constexpr std::string_view RenderFailedText = "The image could not be rendered.";
inline constexpr std::string_view NoGraphicsMemoryText =
    "Lumivar was not able to allocate sufficient graphics memory to display the image.";
inline constexpr std::string_view NoWindowText = "The document has no window.";

inline constexpr auto Table =
    platform::errorTable<Code>(Domain, {
                                           {BatchExportFailed, BatchExportFailedText},
                                           {NoDecoder, NoDecoderText},
                                           {IsDirectory, IsDirectoryText},
                                           {NotAFileLocation, NotAFileLocationText},
                                           {NoPathInformation, NoPathInformationText},
                                           {NoFinalImage, NoFinalImageText},
                                           {NoLinearBuffer, NoLinearBufferText},
                                           {NotEnoughMemory, NotEnoughMemoryText},
                                           {NoDestination, NoDestinationText},
                                           {CouldNotFinalize, CouldNotFinalizeText},
                                           {WriterFailed, WriterFailedText},
                                           {EmptyPresetName, EmptyPresetNameText},
                                           {NoRawSearchLocation, NoRawSearchLocationText},
                                           {InvalidNameSuffix, InvalidNameSuffixText},
                                           {RawFileNotFound, RawFileNotFoundText},
                                           {WrongSettingType, WrongSettingTypeText},
                                           {RenderFailed, RenderFailedText},
                                           {NoGraphicsMemory, NoGraphicsMemoryText},
                                           {NoWindow, NoWindowText},
                                       });

} // namespace app::errors
