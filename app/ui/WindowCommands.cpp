#include "app/ui/WindowCommands.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "app/core/AppFiles.h"
#include "app/core/AppTables.h"

namespace window_commands {

namespace {
constexpr double kRootTwo = 1.414;

std::string lowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string format(const char* pattern, double value) {
    std::array<char, 64> buffer{};
    std::snprintf(buffer.data(), buffer.size(), pattern, value);
    return buffer.data();
}
} // namespace

double zoomedIn(double factor) { return factor > 0.9 ? factor * 2.0 : factor * kRootTwo; }

double zoomedOut(double factor) { return factor > 1.1 ? factor * 0.5 : factor / kRootTwo; }

std::optional<int32_t> rotatedClockwise(int32_t orientation) {
    switch (orientation) {
    case 0:
    case 1:
        return 6;
    case 6:
        return 3;
    case 3:
        return 8;
    case 8:
        return 0;
    default:
        return std::nullopt;
    }
}

std::optional<int32_t> rotatedCounterClockwise(int32_t orientation) {
    switch (orientation) {
    case 0:
    case 1:
        return 8;
    case 8:
        return 3;
    case 3:
        return 6;
    case 6:
        return 0;
    default:
        return std::nullopt;
    }
}

std::string parameterID(std::string_view identifier) {
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    while (!identifier.empty() && isDigit(identifier.front()))
        identifier.remove_prefix(1);
    while (!identifier.empty() && isDigit(identifier.back()))
        identifier.remove_suffix(1);
    return std::string(identifier);
}

std::string_view typeForExportSelection(int64_t selection) {
    if (selection == 1) return "public.tiff";
    if (selection == 2) return "com.adobe.dng";
    if (selection >= 3 && selection <= 6) return "com.ilm.openexr-image";
    return "public.jpeg";
}

std::string_view extensionForType(std::string_view type) {
    if (type == "public.jpeg") return "jpg";
    if (type == "com.adobe.dng") return "dng";
    if (type == "com.ilm.openexr-image") return "exr";
    return "tif";
}

std::string_view typeForProxyExtension(std::string_view extension) {
    const std::string ext = lowercase(extension);
    return ext == "jpg" || ext == "jpeg" ? "public.jpeg" : "public.tiff";
}

std::filesystem::path withTypeExtension(const std::filesystem::path& chosen, std::string_view extension) {
    if (chosen.filename().empty() || extension.empty()) return chosen;
    const std::string has = app::lowercaseExtension(chosen);
    const std::string wanted = lowercase(extension);
    const bool same =
        has == wanted || (wanted == "jpg" && has == "jpeg") || (wanted == "tif" && has == "tiff");
    if (same) return chosen;
    std::filesystem::path named = chosen;
    // A name typed with a trailing full stop gets no second one.
    named += (chosen.filename().string().back() == '.' ? "" : ".") + std::string(extension);
    return named;
}

bool isPhotoCdFile(const std::filesystem::path& file) { return app::lowercaseExtension(file) == "pcd"; }

std::optional<double> steppedValue(double value, double minimum, double maximum, StepCommand command) {
    const double step = maximum - minimum < 13.0 ? 0.01 : 0.1;
    double delta = 0;
    switch (command) {
    case StepCommand::Up:
        delta = step;
        break;
    case StepCommand::Down:
        delta = -step;
        break;
    case StepCommand::PageUp:
        delta = 10 * step;
        break;
    case StepCommand::PageDown:
        delta = -10 * step;
        break;
    case StepCommand::Other:
        return std::nullopt;
    }
    // Clamped: stepping past the formatter's range would store a value the field refuses.
    return std::clamp(value + delta, std::min(minimum, maximum), std::max(minimum, maximum));
}

std::string zoomText(double factor) { return format("Zoom: %0.0f%%", factor * 100.0); }

SpinnerCountdown::Action SpinnerCountdown::tick(bool active) {
    if (active) {
        // A stopped spinner (-1) starts again too: a redraw after a quiet spell shows it.
        const bool start = counter_ <= 0;
        counter_ = kTicks;
        return start ? Action::Start : Action::None;
    }
    if (counter_ == 0) {
        counter_ = -1;
        return Action::Stop;
    }
    if (counter_ > 0) --counter_;
    return Action::None;
}

int resolutionLevel(double width, double height) {
    const double side = std::max(width, height);
    constexpr std::array<double, 6> sides{192, 384, 768, 1536, 3072, 6144};
    for (size_t level = 0; level < sides.size(); ++level)
        if (side == sides[level]) return int(level);
    return 6;
}

const std::vector<std::string>& renderingIntents() {
    static const std::vector<std::string> list{"Default", "Absolute Colorimetric", "Relative Colorimetric",
                                               "Perceptual", "Saturation"};
    return list;
}

int renderingIntentIndex(std::optional<uint32_t> headerIntent) {
    if (!headerIntent) return 0;
    switch (*headerIntent) {
    case 0:
        return 3; // perceptual
    case 1:
        return 2; // relative colorimetric
    case 2:
        return 4; // saturation
    case 3:
        return 1; // absolute colorimetric
    default:
        return 0;
    }
}

std::string resStringForInt(int level) {
    const auto names = app::pcdResolutionMenuList();
    if (level < 0 || level >= int(names.size())) return "Error";
    return std::string(names[size_t(level)]);
}

std::string resolutionDiagnostic(int level, int selectedLevel, std::optional<int64_t> ipeStatus,
                                 std::optional<std::string> scannerProfile) {
    std::string text;
    if (level == selectedLevel) {
        text = "Image resolution is " + resStringForInt(level) +
               ". This matches the resolution selected in Preferences.\n";
        if (selectedLevel <= 3)
            text +=
                "This resolution is lower that the usual 16Base resolution that most Photo CD images have; "
                "you may be able to increase resolution by changing the Prefereneces value. ";
    } else if (level >= selectedLevel) {
        text = "A Photo CD resolution error occured. ";
    } else if (selectedLevel != 5) {
        text = "The Photo CD resolution that you selected in preferences (" + resStringForInt(selectedLevel) +
               ") was not available; the best available resolution is displayed. ";
    } else if (!ipeStatus) {
        text = "Requested 64Base but no IPE status present. ";
    } else {
        switch (*ipeStatus) {
        case 1:
            text = "No Image Pac Extension (IPE) files found to build a 64Base resolution image. ";
            break;
        case 2:
            text =
                "Image Pac Extension (IPE) files for a high resolution 64Base image found, but Lumivar is "
                "being prevented from accessing them. In order to allow access, open the root folder of the "
                "Photo CD in Lumivar's Browser Window. See the website for further information. ";
            break;
        case 3:
            text = "Image Pac Extension (IPE) files found. ";
            break;
        default:
            text = "An unknown error occured - IPE not tested for 64Base. ";
            break;
        }
    }
    if (scannerProfile) text += "\n\nScanner profile: " + *scannerProfile + " ";
    return text;
}

} // namespace window_commands
