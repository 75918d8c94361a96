#include "tools/DecoderOptions.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#ifndef LUMIVAR_VERSION
#define LUMIVAR_VERSION "unknown"
#endif

namespace tools {
namespace {

constexpr const char* kUsageLines[] = {
    "-v        Print verbose messages",
    "-c        Write the image to standard output",
    "-e        Extract the embedded thumbnail instead of decoding",
    "-i        Identify files only",
    "-i -v     Identify files and list their metadata",
    "-z        Set the files' dates to the camera's timestamp",
    "-w        Use the camera's white balance",
    "-a        Automatic white balance over the whole image",
    "-A <x y w h> Automatic white balance over a grey box",
    "-r <r g b g> White-balance multipliers of your own",
    "+M/-M     Use / do not use the file's embedded colour matrix",
    "-C <r b>  Correct chromatic aberration (red and blue scales)",
    "-P <file> Fix the dead pixels listed in this file",
    "-K <file> Subtract a dark frame (16-bit raw PGM)",
    "-k <num>  Black (darkness) level",
    "-S <num>  Saturation level",
    "-n <num>  Wavelet denoising threshold",
    "-H [0-9]  Highlights (0 clip, 1 unclip, 2 blend, 3 and above rebuild)",
    "-t [0-7]  Flip (0 none, 3 180 degrees, 5 90 degrees anticlockwise, 6 90 degrees clockwise)",
    "-o [0-6]  Output colour space (raw, sRGB, Adobe, Wide, ProPhoto, XYZ, ACES)",
    "-d        Document mode: no colour, no interpolation",
    "-D        Totally raw: document mode without scaling",
    "-j        Do not stretch or rotate raw pixels",
    "-W        Don't automatically brighten the image",
    "-b <num>  Brightness (default 1.0)",
    "-g <p ts> Gamma power and toe slope (default 2.222 4.5)",
    "-q [0-3]  Interpolation quality",
    "-h        Half-size colour image",
    "-f        Interpolate RGGB as four colours",
    "-m <num>  Median filter passes over R-G and B-G",
    "-s [0..N-1] Which raw image of each file, or \"all\"",
    "-6        16-bit output (default 8-bit)",
    "-4        Linear 16-bit output (16-bit, gamma 1 1)",
    "-T        TIFF output instead of PPM",
};

// Highlight rebuilding halves its growth per mode step; beyond 9 it would spread forever.
constexpr int kLargestHighlightMode = 9;

int to_int(const char* word) {
    const long v = std::strtol(word, nullptr, 10);
    return int(v > INT_MAX ? INT_MAX : v);
}

float to_float(const char* word) { return float(std::strtod(word, nullptr)); }

bool starts_with_digit(const char* word) { return std::isdigit(static_cast<unsigned char>(word[0])) != 0; }

// How many argument words an option takes, and whether they must be numbers.
struct Arity {
    int count;
    bool numeric;
};

bool arity_of(char letter, Arity& arity) {
    static constexpr char kNumeric[] = "nbrkStqmHACg";
    static constexpr char kNumericCounts[] = "114111111422";
    static constexpr char kNoArguments[] = "vceizwaMdDEIjhf64T";
    if (letter == 0) return false;
    if (const char* at = std::strchr(kNumeric, letter)) {
        arity = {kNumericCounts[at - kNumeric] - '0', true};
        return true;
    }
    if (std::strchr("PKos", letter)) {
        arity = {1, false};
        return true;
    }
    if (std::strchr(kNoArguments, letter)) {
        arity = {0, false};
        return true;
    }
    return false;
}

void apply_numeric(DecoderOptions& o, char letter, char** a) {
    switch (letter) {
    case 'n':
        o.denoise_threshold = to_float(a[0]);
        break;
    case 'b':
        o.brightness = to_float(a[0]);
        break;
    case 'r':
        for (int c = 0; c < 4; ++c)
            o.user_multipliers[c] = to_float(a[c]);
        break;
    case 'k':
        o.user_black = to_int(a[0]);
        break;
    case 'S':
        o.user_saturation = to_int(a[0]);
        break;
    case 't': {
        const int flip = to_int(a[0]);
        if (flip <= 7) o.user_flip = flip;
        break;
    }
    case 'q':
        o.quality = to_int(a[0]);
        break;
    case 'm':
        o.median_passes = to_int(a[0]);
        break;
    case 'H':
        o.highlight_mode = std::min(to_int(a[0]), kLargestHighlightMode);
        break;
    case 'A':
        for (int c = 0; c < 4; ++c)
            o.grey_box[c] = uint32_t(std::min<unsigned long>(std::strtoul(a[c], nullptr, 10), 0xFFFFFFFFul));
        o.grey_box_given = true;
        break;
    case 'C':
        // A scale of 0 would stretch the channel to infinity; it leaves the channel alone.
        for (int c = 0; c < 2; ++c) {
            const double scale = std::strtod(a[c], nullptr);
            o.aberration_scales[c] = scale > 0 && std::isfinite(1 / scale) ? 1 / scale : 1.0;
        }
        break;
    case 'g':
        o.gamma[0] = to_float(a[0]);
        o.gamma[1] = to_float(a[1]);
        if (o.gamma[0] != 0) o.gamma[0] = 1 / o.gamma[0];
        break;
    }
}

void apply_flag(DecoderOptions& o, char sign, char letter, char** a) {
    switch (letter) {
    case 'v':
        o.verbose = true;
        break;
    case 'c':
        o.to_stdout = true;
        break;
    case 'e':
        o.thumbnail_only = true;
        break;
    case 'i':
        o.identify_only = true;
        break;
    case 'z':
        o.timestamp_only = true;
        break;
    case 'w':
        o.use_camera_wb = true;
        break;
    case 'a':
        o.auto_wb = true;
        break;
    case 'M':
        o.camera_matrix = sign == '+' ? DecoderOptions::Matrix::Use : DecoderOptions::Matrix::Ignore;
        break;
    case 'P':
        o.bad_pixel_file = a[0];
        break;
    case 'K':
        o.dark_frame_file = a[0];
        break;
    case 'o':
        // Only a single digit names a colour space.
        if (starts_with_digit(a[0]) && a[0][1] == 0) o.output_space = a[0][0] - '0';
        break;
    case 's':
        if (std::strcmp(a[0], "all") == 0)
            o.all_shots = true;
        else
            o.shot = unsigned(std::min<unsigned long>(std::strtoul(a[0], nullptr, 10), 0xFFFFFFFFul));
        break;
    case 'E':
        o.document_mode++;
        [[fallthrough]];
    case 'D':
        o.document_mode++;
        [[fallthrough]];
    case 'd':
        o.document_mode++;
        if (letter != 'd') o.no_rotate_or_stretch = true;
        break;
    case 'j':
        o.no_rotate_or_stretch = true;
        break;
    case 'h':
        o.half_size = true;
        break;
    case 'f':
        o.four_colour = true;
        break;
    case '4':
        o.gamma[0] = o.gamma[1] = 1;
        [[fallthrough]];
    case '6':
        o.output_bits = 16;
        break;
    case 'T':
        o.tiff = true;
        break;
    default:
        break; // -I: accepted, does nothing
    }
}

} // namespace

int parse_decoder_options(int argc, char** argv, DecoderOptions& o, FILE* errors) {
    int arg = 1;
    while (arg < argc && (argv[arg][0] == '-' || argv[arg][0] == '+')) {
        const char* word = argv[arg++];
        const char sign = word[0], letter = word[1];
        Arity arity{};
        if (!arity_of(letter, arity) || word[2] != 0 || (sign == '+' && letter != 'M')) {
            std::fprintf(errors, "Unknown option \"%s\".\n", word);
            return -1;
        }
        if (arity.count > argc - arg) {
            std::fprintf(errors, "Missing argument to \"-%c\"\n", letter);
            return -1;
        }
        char** args = argv + arg;
        for (int i = 0; i < arity.count; ++i) {
            const bool ok = arity.numeric
                                ? starts_with_digit(args[i])
                                : letter != 's' || starts_with_digit(args[i]) || !std::strcmp(args[i], "all");
            if (!ok) {
                std::fprintf(errors, "Non-numeric argument to \"-%c\"\n", letter);
                return -1;
            }
        }
        if (arity.numeric)
            apply_numeric(o, letter, args);
        else
            apply_flag(o, sign, letter, args);
        arg += arity.count;
    }
    return arg;
}

void print_decoder_usage(FILE* out, const char* program) {
    std::fprintf(out, "\nLumivar raw decoder, version %s\n", LUMIVAR_VERSION);
    std::fprintf(out, "Part of Lumivar, by the Lumivar developers\n");
    std::fprintf(out, "\nUsage:  %s [OPTION]... [FILE]...\n\n", program);
    for (const char* line : kUsageLines)
        std::fprintf(out, "%s\n", line);
    std::fprintf(out, "\n");
}

} // namespace tools
