// Identification of the real camera files. Make and model are golden values: exiftool's
// reading of the file after this decoder's normalisation of maker names.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "raw/core/DCRaw.h"
#include "raw/identify/Identify.h"
#include "tests/raw/IdentifyKit.h"
#include "tests/support/Samples.h"

using namespace raw;

namespace {

// Whether loadFile accepts the file. Where that rests on a per-make rule or on a container
// parser of its own (Kodak DC models, Minolta, Fujifilm, Canon CIFF and CR3), the tests of
// those parts check it; here only the names are.
enum class Road { Accepted, Refused, Elsewhere };

struct Sample {
    const char* file;
    const char *fileMake, *fileModel; // what the file gives: exiftool's Make and Model
    const char *make, *model;         // after normalisation
    Road road;
};

const Sample kSamples[] = {
    {"Nikon.nef", "NIKON CORPORATION", "NIKON D70", "Nikon", "D70", Road::Accepted},
    {"D7100_truncated.NEF", "NIKON CORPORATION", "NIKON D7100", "Nikon", "D7100", Road::Accepted},
    {"SLT-A55V_truncated.ARW", "SONY", "SLT-A55V", "Sony", "SLT-A55V", Road::Accepted},
    {"Panasonic.rw2", "Panasonic", "DMC-LX3", "Panasonic", "DMC-LX3", Road::Accepted},
    {"DC120_P003908_uncompressed.KDC", "Eastman Kodak Company", "Kodak DC120 ZOOM Digital Camera", "Kodak",
     "DC120 ZOOM", Road::Accepted},
    // Kodak's own JPEG coding has no codec here: refused by the DC120 rule.
    {"DC120_P003911_jpeg.KDC", "Eastman Kodak Company", "Kodak DC120 ZOOM Digital Camera", "Kodak",
     "DC120 ZOOM", Road::Elsewhere},
    {"DC50_DC0008L.KDC", "Eastman Kodak Company", "Kodak Digital Science DC50 Zoom Camera", "Kodak",
     "Digital Science DC50 Zoom Camera", Road::Elsewhere},
    {"DNG.dng", "Canon", "Canon EOS 350D DIGITAL", "Canon", "EOS 350D DIGITAL", Road::Accepted},
    {"Pixel7_small.dng", "Google", "Pixel 7", "Google", "Pixel 7", Road::Accepted},
    {"iPhone12Pro_header_only.dng", "Apple", "iPhone 12 Pro", "Apple", "iPhone 12 Pro", Road::Accepted},
    // No Make tag: the unique camera model gives the maker (its first word) and the model.
    {"BMPCC_cinemadng_frame.dng", "Blackmagic", "Pocket Cinema Camera", "Blackmagic", "Pocket Cinema Camera",
     Road::Accepted},
    // Neither Make nor a unique camera model: a DNG's maker is then "DNG".
    {"synthetic_1024_rggb_uncompressed.dng", "DNG", "", "DNG", "", Road::Accepted},
    // Codecs this decoder does not carry (JPEG XL, lossy JPEG, VC-5): refused.
    {"NikonZ9_jxl_linear.dng", "NIKON CORPORATION", "NIKON Z 9", "Nikon", "Z 9", Road::Refused},
    {"canon_eos_6d_lossy_linear.dng", "Canon", "Canon EOS 6D", "Canon", "EOS 6D", Road::Refused},
    {"Hero7_GOPR8508.GPR", "GoPro", "HERO7 Black", "GoPro", "HERO7 Black", Road::Refused},
    {"Minolta.mrw", "Konica Minolta Camera, Inc.", "DiMAGE A2", "Minolta", "DiMAGE A2", Road::Elsewhere},
    {"FujiFilm.raf", "FUJIFILM", "FinePix S5Pro", "Fujifilm", "S5Pro", Road::Elsewhere},
    {"CanonRaw.crw", "Canon", "Canon EOS DIGITAL REBEL", "Canon", "EOS DIGITAL REBEL", Road::Elsewhere},
    {"EOS_D30.CRW", "Canon", "Canon EOS D30", "Canon", "EOS D30", Road::Elsewhere},
    {"PowerShotG2_CRW_0304.CRW", "Canon", "Canon PowerShot G2", "Canon", "PowerShot G2", Road::Elsewhere},
    {"CanonRaw.cr3", "Canon", "Canon EOS M50", "Canon", "EOS M50", Road::Elsewhere},
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
        std::strcpy(s->camera_make, sample.fileMake);
        std::strcpy(s->camera_model, sample.fileModel);
        normalise_make_and_model(*s);
        EXPECT_STREQ(s->camera_make, sample.make);
        EXPECT_STREQ(s->camera_model, sample.model);
    }
}

TEST(IdentifySamples, CameraFilesAreIdentified) {
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.file);
        const std::string path = testsupport::samplePath(sample.file).string();
        if (!std::filesystem::exists(path)) continue;
        auto s = recognised(path);
        EXPECT_STREQ(s->camera_make, sample.make);
        EXPECT_STREQ(s->camera_model, sample.model);
        if (sample.road == Road::Elsewhere) continue;
        Loaded loaded = load(path);
        EXPECT_EQ(loaded.ok, sample.road == Road::Accepted) << loaded.status;
        EXPECT_EQ(loaded.status, sample.road == Road::Accepted ? "ok" : "Could not parse raw file");
    }
}

TEST(IdentifySamples, FilesWithoutARoadEndAsNotParsed) {
    for (const char* file : {"Sigma.x3f", "CanonRaw.cr2", "PhotoCD.pcd"}) {
        SCOPED_TRACE(file);
        const std::string path = testsupport::samplePath(file).string();
        if (!std::filesystem::exists(path)) continue;
        Loaded loaded = load(path);
        EXPECT_FALSE(loaded.ok);
        EXPECT_EQ(loaded.status, "Could not parse raw file");
    }
}
