#include <gtest/gtest.h>

#include "tools/OutputName.h"

using tools::output_name;
using tools::OutputNaming;

TEST(OutputName, ReplacesTheExtensionBesideTheInput) {
    struct Case {
        const char* input;
        OutputNaming naming;
        const char* expected;
    } cases[] = {
        {"shots/IMG_0001.CR2", {".tiff"}, "shots/IMG_0001.tiff"},
        {"IMG_0001.nef", {".ppm"}, "IMG_0001.ppm"},
        {"scan", {".pgm"}, "scan.pgm"},
        {"my.photos/scan", {".ppm"}, "my.photos/scan.ppm"}, // a dot in a folder is no extension
        {"a/.hidden", {".ppm"}, "a/.hidden.ppm"},
        {"x.raf", {".jpg", true}, "x.thumb.jpg"},
        {"x.raf", {".ppm", true}, "x.thumb.ppm"},
        {"x.dng", {".tiff", false, true, 0, 2}, "x_0.tiff"},
        {"x.dng", {".tiff", false, true, 3, 12}, "x_03.tiff"}, // padded to the width of 11
        {"x.dng", {".ppm", false, true, 9, 10}, "x_9.ppm"},    // 9 is the last of ten
        {"x.dng", {".tiff", false, true, 0, 1}, "x_0.tiff"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(output_name(c.input, c.naming), c.expected) << c.input;
}
