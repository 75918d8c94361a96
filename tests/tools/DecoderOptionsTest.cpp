// The decoder command line's options: what each sets, and the exact texts and exit status
// of usage and option errors (from the built program).
#include <gtest/gtest.h>

#include <pty.h>

#include <string>
#include <vector>

#include "tests/tools/RunDecoder.h"
#include "tools/DecoderOptions.h"

using testsupport::Outcome;
using testsupport::runDecoder;
using tools::DecoderOptions;

namespace {

const char* const kUsage[] = {
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

DecoderOptions parsed(std::vector<std::string> words, int* first = nullptr) {
    words.insert(words.begin(), "lumivar-decode");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    DecoderOptions o;
    const int at = tools::parse_decoder_options(int(argv.size()), argv.data(), o, stderr);
    if (first) *first = at;
    return o;
}

} // namespace

TEST(DecoderCommandLine, UsageWithoutArguments) {
    std::string expected = "\nLumivar raw decoder, version " LUMIVAR_VERSION "\n"
                           "Part of Lumivar, by the Lumivar developers\n"
                           "\nUsage:  " LUMIVAR_DECODE_PROGRAM " [OPTION]... [FILE]...\n\n";
    for (const char* line : kUsage)
        expected += std::string(line) + "\n";
    expected += "\n";
    const Outcome o = runDecoder({});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, expected);
}

TEST(DecoderCommandLine, OptionErrorsAreReportedBeforeAnyFile) {
    struct Case {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"-W", "photo.nef"}, "Unknown option \"-W\".\n"},
        {{"-v", "-Q", "photo.nef"}, "Unknown option \"-Q\".\n"},
        {{"-vT", "photo.nef"}, "Unknown option \"-vT\".\n"},
        {{"+v", "photo.nef"}, "Unknown option \"+v\".\n"},
        {{"-", "photo.nef"}, "Unknown option \"-\".\n"},
        {{"-b", "bright", "photo.nef"}, "Non-numeric argument to \"-b\"\n"},
        {{"-r", "1", "1", "photo.nef", "1"}, "Non-numeric argument to \"-r\"\n"},
        {{"-g", "-2", "4.5", "photo.nef"}, "Non-numeric argument to \"-g\"\n"},
        {{"-s", "first", "photo.nef"}, "Non-numeric argument to \"-s\"\n"},
        // An option at the end of the line without its arguments.
        {{"-b"}, "Missing argument to \"-b\"\n"},
        {{"-A", "0", "0", "10"}, "Missing argument to \"-A\"\n"},
        {{"-v", "-K"}, "Missing argument to \"-K\"\n"},
        {{"-s"}, "Missing argument to \"-s\"\n"},
        {{"-v", "-T"}, "No files to process.\n"},
    };
    for (const Case& c : cases) {
        const Outcome o = runDecoder(c.args);
        EXPECT_EQ(o.status, 1) << c.error;
        EXPECT_EQ(o.err, c.error);
        EXPECT_EQ(o.out, "");
    }
}

TEST(DecoderCommandLine, RefusesToWriteAnImageToATerminal) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) GTEST_SKIP() << "no pseudo-terminal";
    const Outcome o = runDecoder({"-c", "photo.nef"}, slave);
    close(slave);
    close(master);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "Will not write an image to the terminal!\n");
}

TEST(DecoderOptions, EachOptionSetsItsValue) {
    int first = 0;
    DecoderOptions o = parsed(
        {"-v", "-w", "+M", "-k", "512", "-S", "16000", "-q", "1", "-m", "2", "-6", "-T", "-I", "a.nef", "-v"},
        &first);
    EXPECT_EQ(first, 15); // options stop at the first file name
    EXPECT_TRUE(o.verbose && o.use_camera_wb && o.tiff);
    EXPECT_EQ(o.camera_matrix, DecoderOptions::Matrix::Use);
    EXPECT_EQ(o.user_black, 512);
    EXPECT_EQ(o.user_saturation, 16000);
    EXPECT_EQ(o.quality, 1);
    EXPECT_EQ(o.median_passes, 2);
    EXPECT_EQ(o.output_bits, 16);
    EXPECT_EQ(parsed({"-M"}).camera_matrix, DecoderOptions::Matrix::Ignore);

    o = parsed({"-A", "8", "16", "100", "50", "-r", "2", "1", "1.5", "1"});
    EXPECT_TRUE(o.grey_box_given);
    EXPECT_EQ(o.grey_box[2], 100u);
    EXPECT_FLOAT_EQ(o.user_multipliers[2], 1.5f);
}

TEST(DecoderOptions, NumbersWithRulesOfTheirOwn) {
    EXPECT_EQ(parsed({"-o", "4"}).output_space, 4);
    EXPECT_EQ(parsed({"-o", "12"}).output_space, 1); // two characters: unchanged
    EXPECT_EQ(parsed({"-o", "x"}).output_space, 1);

    DecoderOptions o = parsed({"-g", "2.4", "12.92"});
    EXPECT_FLOAT_EQ(o.gamma[0], 1 / 2.4f);
    EXPECT_FLOAT_EQ(o.gamma[1], 12.92f);
    EXPECT_FLOAT_EQ(parsed({"-g", "0", "0"}).gamma[0], 0);
    o = parsed({"-4"});
    EXPECT_EQ(o.output_bits, 16);
    EXPECT_FLOAT_EQ(o.gamma[0], 1);
    EXPECT_FLOAT_EQ(o.gamma[1], 1);

    o = parsed({"-C", "0", "2"}); // a zero scale leaves red alone
    EXPECT_DOUBLE_EQ(o.aberration_scales[0], 1.0);
    EXPECT_DOUBLE_EQ(o.aberration_scales[1], 0.5);

    EXPECT_EQ(parsed({"-H", "50"}).highlight_mode, 9);
    EXPECT_EQ(parsed({"-t", "6"}).user_flip, 6);
    EXPECT_EQ(parsed({"-t", "90"}).user_flip, -1); // not an orientation code: the file's stays

    o = parsed({"-s", "all"});
    EXPECT_TRUE(o.all_shots);
    EXPECT_EQ(parsed({"-s", "3"}).shot, 3u);
}

TEST(DecoderOptions, DocumentModes) {
    struct Case {
        const char* option;
        int mode;
        bool no_stretch;
    } cases[] = {{"-d", 1, false}, {"-D", 2, true}, {"-E", 3, true}, {"-j", 0, true}};
    for (const Case& c : cases) {
        const DecoderOptions o = parsed({c.option});
        EXPECT_EQ(o.document_mode, c.mode) << c.option;
        EXPECT_EQ(o.no_rotate_or_stretch, c.no_stretch) << c.option;
    }
}
