// Identification of the real camera files. Make and model are golden values: exiftool's
// reading of the file after this decoder's normalisation of maker names.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "raw/DCRaw.h"
#include "raw/Identify.h"
#include "tests/raw/IdentifyKit.h"
#include "tests/support/Samples.h"

using namespace raw;

namespace {

struct Sample {
    const char* file;
    const char *exifMake, *exifModel; // as exiftool reads them
    const char *make, *model;         // after normalisation
    bool readable;                    // loadFile accepts it
};

// Files with TIFF directories and the other containers identification hands on.
const Sample kSamples[] = {
    {"Nikon.nef", "NIKON CORPORATION", "NIKON D70", "Nikon", "D70", true},
    {"D7100_truncated.NEF", "NIKON CORPORATION", "NIKON D7100", "Nikon", "D7100", true},
    {"SLT-A55V_truncated.ARW", "SONY", "SLT-A55V", "Sony", "SLT-A55V", true},
    {"Panasonic.rw2", "Panasonic", "DMC-LX3", "Panasonic", "DMC-LX3", true},
    {"DC120_P003908_uncompressed.KDC", "Eastman Kodak Company", "Kodak DC120 ZOOM Digital Camera", "Kodak",
     "DC120 ZOOM", true},
    // Kodak's own JPEG coding: no codec for it, refused.
    {"DC120_P003911_jpeg.KDC", "Eastman Kodak Company", "Kodak DC120 ZOOM Digital Camera", "Kodak",
     "DC120 ZOOM", false},
    {"DC50_DC0008L.KDC", "Eastman Kodak Company", "Kodak Digital Science DC50 Zoom Camera", "Kodak",
     "Digital Science DC50 Zoom Camera", true},
    {"DNG.dng", "Canon", "Canon EOS 350D DIGITAL", "Canon", "EOS 350D DIGITAL", true},
    {"Pixel7_small.dng", "Google", "Pixel 7", "Google", "Pixel 7", true},
    {"iPhone12Pro_header_only.dng", "Apple", "iPhone 12 Pro", "Apple", "iPhone 12 Pro", true},
    // No Make tag: the unique camera model names maker (first word) and model.
    {"BMPCC_cinemadng_frame.dng", "Blackmagic", "Pocket Cinema Camera", "Blackmagic", "Pocket Cinema Camera",
     true},
    // Codecs this decoder does not carry (JPEG XL, lossy JPEG, VC-5): refused.
    {"NikonZ9_jxl_linear.dng", "NIKON CORPORATION", "NIKON Z 9", "Nikon", "Z 9", false},
    {"canon_eos_6d_lossy_linear.dng", "Canon", "Canon EOS 6D", "Canon", "EOS 6D", false},
    {"Hero7_GOPR8508.GPR", "GoPro", "HERO7 Black", "GoPro", "HERO7 Black", false},
    {"Minolta.mrw", "Konica Minolta Camera, Inc.", "DiMAGE A2", "Minolta", "DiMAGE A2", true},
    {"FujiFilm.raf", "FUJIFILM", "FinePix S5Pro", "Fujifilm", "S5Pro", true},
    {"CanonRaw.crw", "Canon", "Canon EOS DIGITAL REBEL", "Canon", "EOS DIGITAL REBEL", true},
    {"EOS_D30.CRW", "Canon", "Canon EOS D30", "Canon", "EOS D30", true},
    {"PowerShotG2_CRW_0304.CRW", "Canon", "Canon PowerShot G2", "Canon", "PowerShot G2", true},
    {"CanonRaw.cr3", "Canon", "Canon EOS M50", "Canon", "EOS M50", true},
};

struct Loaded {
    bool ok;
    std::string status;
};

Loaded load(const std::string& path) {
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    uint64_t pixelSize = 0;
    bool ok = decoder.loadFile(path, &pixelSize);
    return {ok, decoder.dcStatus()};
}

// The container and the names as identification reads them, before any per-make rule.
std::unique_ptr<DecoderState> recognised(const std::string& path) {
    auto s = identifykit::freshState();
    s->input_file = std::fopen(path.c_str(), "rb");
    if (!s->input_file) return s;
    reset_identification(*s);
    recognise_container(*s);
    normalise_make_and_model(*s);
    std::fclose(s->input_file);
    s->input_file = nullptr;
    return s;
}

} // namespace

TEST(IdentifySamples, GoldenNamesAreExiftoolsAfterNormalisation) {
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.file);
        auto s = identifykit::freshState();
        std::strcpy(s->camera_make, sample.exifMake);
        std::strcpy(s->camera_model, sample.exifModel);
        normalise_make_and_model(*s);
        EXPECT_STREQ(s->camera_make, sample.make);
        EXPECT_STREQ(s->camera_model, sample.model);
    }
}

TEST(IdentifySamples, CameraFilesAreIdentified) {
    int identified = 0;
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.file);
        const std::string path = testsupport::samplePath(sample.file).string();
        if (!std::filesystem::exists(path)) continue;
        auto s = recognised(path);
        if (!s->camera_make[0]) continue; // its container parser has not landed yet
        ++identified;
        EXPECT_STREQ(s->camera_make, sample.make);
        EXPECT_STREQ(s->camera_model, sample.model);
        Loaded loaded = load(path);
        EXPECT_EQ(loaded.ok, sample.readable) << loaded.status;
        if (!sample.readable) {
            EXPECT_EQ(loaded.status, "Could not parse raw file");
        }
    }
    if (!identified) GTEST_SKIP() << "no sample is identified until the container parsers land";
}

TEST(IdentifySamples, FilesWithoutARoadEndAsNotParsed) {
    for (const char* file :
         {"Sigma.x3f", "CanonRaw.cr2", "PhotoCD.pcd", "synthetic_1024_rggb_uncompressed.dng"}) {
        SCOPED_TRACE(file);
        const std::string path = testsupport::samplePath(file).string();
        if (!std::filesystem::exists(path)) continue;
        Loaded loaded = load(path);
        EXPECT_FALSE(loaded.ok);
        EXPECT_EQ(loaded.status, "Could not parse raw file");
    }
}
