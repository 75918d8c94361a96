#pragma once
// The application's names, defined once: settings keys of a document's settings dictionary,
// user-defaults keys, and the errors of opening, exporting and saving presets. Notification
// names live in platform/Notifications.h, since lower layers post some of them.
#include <cstdint>
#include <string_view>

#include "platform/Error.h"
#include "platform/Notifications.h"

namespace app::keys {

// Prefixes: every key beginning with one of the first two is a setting; "Lumivar_Filter_"
// keys are the adjustments; "Lumivar_metaData" keys read the image's metadata, never stored.
inline constexpr std::string_view SettingsPrefix = "Lumivar_";
inline constexpr std::string_view LegacySettingsPrefix = "Tarnwell_";
inline constexpr std::string_view FilterPrefix = "Lumivar_Filter_";
inline constexpr std::string_view MetaDataPrefix = "Lumivar_metaData";

// Adjustments.
inline constexpr std::string_view InputRadius = "Lumivar_Filter_inputRadius";
inline constexpr std::string_view InputIntensity = "Lumivar_Filter_inputIntensity";
inline constexpr std::string_view InputEV = "Lumivar_Filter_inputEV";
inline constexpr std::string_view InputContrast = "Lumivar_Filter_inputContrast";
inline constexpr std::string_view InputBrightness = "Lumivar_Filter_inputBrightness";
inline constexpr std::string_view InputFillLight = "Lumivar_Filter_inputFillLight";
inline constexpr std::string_view InputHighLight = "Lumivar_Filter_inputHighLight";
inline constexpr std::string_view InputKneeHigh = "Lumivar_Filter_inputKneeHigh";
inline constexpr std::string_view InputKneeLow = "Lumivar_Filter_inputKneeLow";
inline constexpr std::string_view InputSaturation = "Lumivar_Filter_inputSaturation";
inline constexpr std::string_view InputAngle = "Lumivar_Filter_inputAngle";
inline constexpr std::string_view InputTemperature = "Lumivar_Filter_inputTemperature";
inline constexpr std::string_view InputTint = "Lumivar_Filter_inputTint";
inline constexpr std::string_view MonochromeRed = "Lumivar_Filter_monochromeRed";
inline constexpr std::string_view MonochromeYellow = "Lumivar_Filter_monochromeYellow";
inline constexpr std::string_view MonochromeGreen = "Lumivar_Filter_monochromeGreen";
inline constexpr std::string_view MonochromeCyan = "Lumivar_Filter_monochromeCyan";
inline constexpr std::string_view MonochromeBlue = "Lumivar_Filter_monochromeBlue";

// Other settings. The two profiles are held as their property-list forms.
inline constexpr std::string_view CameraProfile = "Lumivar_CameraProfile";
inline constexpr std::string_view IccProfile = "Lumivar_iccProfile";
inline constexpr std::string_view MaintainWhites = "Lumivar_MaintainWhites";
inline constexpr std::string_view MonochromeSensor = "Lumivar_MonochromeSensor";
inline constexpr std::string_view IRUVSensor = "Lumivar_IRUVSensor";
inline constexpr std::string_view ArtifactSuppression = "Lumivar_ArtifactSuppression";
inline constexpr std::string_view ChromaArtifactSuppression = "Lumivar_ChromaArtifactSuppression";
inline constexpr std::string_view EttrAdjust = "Lumivar_ettrAdjust";
inline constexpr std::string_view ToneCurveAdjust = "Lumivar_toneCurveAdjust";
inline constexpr std::string_view ArtifactFilter = "Lumivar_ArtifactFilter";
inline constexpr std::string_view KodakProcessing = "Lumivar_KodakProcessing";
inline constexpr std::string_view ExportFileType = "Lumivar_ExportFileType";
inline constexpr std::string_view JPEGQuality = "Lumivar_JPEGQuality";
inline constexpr std::string_view UseAsShotWB = "Lumivar_UseAsShotWB";
inline constexpr std::string_view SceneReferred = "Lumivar_SceneReferred";
inline constexpr std::string_view CropRectX = "Lumivar_CropRect_x";
inline constexpr std::string_view CropRectY = "Lumivar_CropRect_y";
inline constexpr std::string_view CropRectWidth = "Lumivar_CropRect_width";
inline constexpr std::string_view CropRectHeight = "Lumivar_CropRect_height";
inline constexpr std::string_view ImageOrientation = "Lumivar_ImageOrientation";
// The raw file's path: its identity in the catalog.
inline constexpr std::string_view UUID = "Lumivar_UUID";
// A preset's identity (also its file name) and its name.
inline constexpr std::string_view PresetUUID = "Lumivar_PresetUUID";
inline constexpr std::string_view DisplayName = "displayName";

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
