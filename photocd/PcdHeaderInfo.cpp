#include "photocd/PcdHeaderInfo.h"

#include <cstdio>
#include <ctime>

#include "photocd/PcdFilmTerms.h"

namespace photocd {

namespace {

const char* const kNames[kMetadataItemCount] = {"PCD specification version",
                                                "Authoring software Release number",
                                                "Scanning time",
                                                "Last modification time",
                                                "Image medium",
                                                "Product type",
                                                "Scanner vendor identity",
                                                "Scanner product identity",
                                                "Scanner firmware revision",
                                                "Scanner firmware date",
                                                "Scanner serial number",
                                                "Scanner pixel size (microns)",
                                                "Image workstation equipment manufacturer",
                                                "Photo finisher name",
                                                "Scene balance algorithm revision",
                                                "Scene balance algorithm command",
                                                "Scene balance algorithm film identification",
                                                "Copyright status",
                                                "Copyright file name",
                                                "Compression"};

const char* const kMedia[10] = {"color negative",
                                "color reversal",
                                "color hard copy",
                                "thermal hard copy",
                                "black and white negative",
                                "black and white reversal",
                                "black and white hard copy",
                                "internegative",
                                "synthetic image",
                                "chromogenic"};

const char* const kSbaCommands[4] = {"neutral SBA on, color SBA on", "neutral SBA off, color SBA off",
                                     "neutral SBA on, color SBA off", "neutral SBA off, color SBA on"};

const char* const kCompressionClasses[4] = {
    "class 1 - 35mm film; pictoral hard copy", "class 2 - large format film",
    "class 3 - text and graphics, high resolution", "class 4 - text and graphics, high dynamic range"};

struct TextField {
    int offset;
    int length;
};
// Items 5-10 and 12.
constexpr TextField kTextFields[] = {{2070, 20}, {2090, 20}, {2110, 16}, {2126, 4},
                                     {2130, 8},  {2138, 20}, {0, 0},     {2160, 20}};

constexpr int kCharacterSet = 2180;
constexpr int kFinisherName = 2213;
constexpr int kSbaSignature = 2273;
constexpr int kSbaRevision = 2276; // the two bytes between the signature and the command
constexpr int kSbaCommand = 2278;
constexpr int kFilmTerm = 2373;
constexpr int kCopyrightStatus = 2379;
constexpr int kCopyrightFile = 2380;
constexpr int kAttributes = 3586;

uint32_t be32(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

bool unset(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 0xFF && p[3] == 0xFF; }

std::string text(const uint8_t* header, int offset, int length) {
    std::string s;
    for (int i = 0; i < length && header[offset + i] != 0; ++i)
        s.push_back(static_cast<char>(header[offset + i]));
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s.empty() ? "-" : s;
}

std::string pair(int a, int b) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%d", a, b);
    return buf;
}

std::string timeText(uint32_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    char buf[64];
    if (!localtime_r(&t, &local) || !std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y", &local))
        return "-";
    return buf;
}

std::string pixelSize(const uint8_t* p) {
    const int d[4] = {p[0] >> 4, p[0] & 15, p[1] >> 4, p[1] & 15};
    for (int digit : d)
        if (digit > 9) return "-";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d%d.%d%d", d[0], d[1], d[2], d[3]);
    return buf;
}

std::string sceneBalanceItem(const uint8_t* h, int index) {
    if (!headerHasSceneBalance(h)) return "-";
    if (index == 14) return pair(h[kSbaRevision], h[kSbaRevision + 1]);
    if (index == 15) return h[kSbaCommand] < 4 ? kSbaCommands[h[kSbaCommand]] : "-";
    const PcdFilmTerm* term = findFilmTerm(headerFilmTermCode(h));
    return term ? term->name : "Unknown film";
}

std::string itemValue(const uint8_t* h, int index) {
    switch (index) {
    case 0:
        return unset(h + 2055) ? "-" : pair(h[2055], h[2056]);
    case 1:
        return unset(h + 2057) ? "-" : pair(h[2057], h[2058]);
    case 2:
        return unset(h + 2061) ? "-" : timeText(be32(h + 2061));
    case 3:
        return unset(h + 2065) ? "-" : timeText(be32(h + 2065));
    case 4:
        return headerImageMedium(h) < 10 ? kMedia[headerImageMedium(h)] : "-";
    case 11:
        return pixelSize(h + 2158);
    case 13:
        return h[kCharacterSet] <= 4 ? text(h, kFinisherName, 20) : "-";
    case 14:
    case 15:
    case 16:
        return sceneBalanceItem(h, index);
    case 17:
        return h[kCopyrightStatus] == 1
                   ? "Copyright restrictions apply - see copyright file on original CD-ROM for details"
                   : "Copyright restrictions not specified";
    case 18:
        return h[kCopyrightStatus] == 1 ? text(h, kCopyrightFile, 12) : "-";
    case 19:
        return kCompressionClasses[(h[kAttributes] >> 5) & 3];
    default:
        return text(h, kTextFields[index - 5].offset, kTextFields[index - 5].length);
    }
}

} // namespace

int headerImageMedium(const uint8_t* header) { return header[2069]; }

int64_t headerScanningTime(const uint8_t* header) { return be32(header + 2061); }

bool headerHasSceneBalance(const uint8_t* header) {
    return header[kSbaSignature] == 'S' && header[kSbaSignature + 1] == 'B' &&
           header[kSbaSignature + 2] == 'A';
}

int headerFilmTermCode(const uint8_t* header) {
    return static_cast<int16_t>(header[kFilmTerm] << 8 | header[kFilmTerm + 1]);
}

void headerMetadataItem(const uint8_t* header, int index, std::string& name, std::string& value) {
    if (!header || index < 0 || index >= kMetadataItemCount) {
        name = value = "Error";
        return;
    }
    name = kNames[index];
    value = itemValue(header, index);
}

} // namespace photocd
