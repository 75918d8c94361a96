#pragma once
// What the editing window decides without a window: zoom steps, orientation turns, the
// export types, keyboard stepping of numeric fields, the probe's zoom text, the rendering
// spinner's countdown and the Photo CD resolution texts. The window controller calls these,
// and tests check them offscreen.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace window_commands {

// Zoom in doubles above 0.9 and steps by the square root of two below; zoom out halves
// above 1.1 and steps back by it below, so the steps meet at 1.
double zoomedIn(double factor);
double zoomedOut(double factor);

// Orientation codes after a quarter turn; none for mirrored or unknown codes (0 and 1 both
// mean upright).
std::optional<int32_t> rotatedClockwise(int32_t orientation);
std::optional<int32_t> rotatedCounterClockwise(int32_t orientation);

// A control's settings key: its identifier with the decimal digits that keep identifiers
// unique trimmed from both ends ("K2" -> "K", "12K" -> "K").
std::string parameterID(std::string_view identifier);

// The type the export file type setting selects: 1 TIFF, 2 DNG, 3 to 6 OpenEXR, else JPEG.
std::string_view typeForExportSelection(int64_t selection);
// The file extension the save panel allows for a type.
std::string_view extensionForType(std::string_view type);
// The type of an external editor's proxy file: JPEG for "jpg"/"jpeg" (any case), else TIFF.
std::string_view typeForProxyExtension(std::string_view extension);
// The file the save panel's answer names: kept when its extension (any case) is the allowed
// one or its other spelling ("jpeg", "tiff"); otherwise the allowed extension is appended,
// so that "print" and "print.v2" become "print.jpg" and "print.v2.jpg".
std::filesystem::path withTypeExtension(const std::filesystem::path& chosen, std::string_view extension);
// Whether a document's file is a Photo CD image (by its extension, any case).
bool isPhotoCdFile(const std::filesystem::path& file);

enum class StepCommand { Up, Down, PageUp, PageDown, Other };
// Keyboard stepping in a numeric field whose formatter allows [minimum, maximum]: 0.01 a step
// when the range is below 13, else 0.1; page (or extended) steps are ten. The result stays in
// the range. None for commands that are not steps.
std::optional<double> steppedValue(double value, double minimum, double maximum, StepCommand command);

// The probe's read-out with the mouse off the image: "Zoom: 50%".
std::string zoomText(double factor);

// The rendering spinner: activity (a draw or the engine) keeps it turning, and it stops 15
// ticks after the last activity.
class SpinnerCountdown {
  public:
    enum class Action { None, Start, Stop };
    // EngineDidStart: the caller starts the spinner.
    void engineStarted() { counter_ = kTicks; }
    Action tick(bool active);
    int32_t counter() const { return counter_; }

    static constexpr int32_t kTicks = 15;

  private:
    int32_t counter_ = 0;
};

// The rendering intents a pop-up offers (the export types and Photo CD resolutions are in
// app/core/AppTables.h).
const std::vector<std::string>& renderingIntents();
// The entry of renderingIntents() for an ICC header's intent (0 perceptual, 1 relative,
// 2 saturation, 3 absolute colorimetric); "Default" for none or an unknown value.
int renderingIntentIndex(std::optional<uint32_t> headerIntent);

// Photo CD resolution levels 0 (Base16) to 5 (64Base) from the larger output side; 6 for
// any other size.
int resolutionLevel(double width, double height);
std::string resStringForInt(int level);
// The resolution sheet's diagnostic for the shown level against the preference
// "ResolutionSelect", with the wrapper's "ipeStatus" and the scanner profile's description.
std::string resolutionDiagnostic(int level, int selectedLevel, std::optional<int64_t> ipeStatus,
                                 std::optional<std::string> scannerProfile);

} // namespace window_commands
