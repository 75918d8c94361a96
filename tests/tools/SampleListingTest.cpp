// "-i -v" on the real camera files agrees with the samples' README: the camera after this
// decoder's normalisation of maker names, ISO, shutter, aperture and time; for the files
// that decode, the image and output sizes. The X3F header has no road in this decoder (the
// README says so) and lists nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "tests/support/Samples.h"
#include "tests/tools/RunDecoder.h"

namespace fs = std::filesystem;

namespace {

struct Listed {
    const char* file;
    const char* camera;
    int iso;
    double shutter, aperture; // seconds and f-number; 0 where the README has none
    const char* taken;        // the README's DateTimeOriginal, or none
    const char* image_size;   // "W x H" for the files that decode
    const char* output_size;
};

const Listed kListed[] = {
    // No Make tag: the unique camera model names the maker.
    {"BMPCC_cinemadng_frame.dng", "Blackmagic Pocket Cinema Camera", 0, 0, 0, nullptr, "1920 x 1080",
     "1920 x 1080"},
    {"CanonRaw.cr2", "Canon EOS 350D DIGITAL", 400, 1.0 / 15, 8.0, "2005:08:03 18:59:18", nullptr, nullptr},
    {"CanonRaw.cr3", "Canon EOS M50", 12800, 1.0 / 80, 3.5, "2018:02:21 12:08:56", nullptr, nullptr},
    {"CanonRaw.crw", "Canon EOS DIGITAL REBEL", 100, 1.0 / 64, 3.6, "2003:11:10 17:39:26", nullptr, nullptr},
    {"D7100_truncated.NEF", "Nikon D7100", 100, 1.0 / 30, 8.0, "2013:09:03 09:45:16", nullptr, nullptr},
    {"DC120_P003908_uncompressed.KDC", "Kodak DC120", 0, 1.0 / 275, 4.0, "1994:01:02 15:52:32", nullptr,
     nullptr},
    {"DC120_P003911_jpeg.KDC", "Kodak DC120", 0, 1.0 / 266, 3.7, "1994:01:02 15:56:14", nullptr, nullptr},
    {"DC50_DC0008L.KDC", "Kodak DC50", 0, 1.0 / 43, 2.5, nullptr, nullptr, nullptr},
    {"DNG.dng", "Canon EOS 350D DIGITAL", 400, 1.0 / 15, 8.0, "2005:08:03 18:59:18", nullptr, nullptr},
    {"EOS_D30.CRW", "Canon EOS D30", 100, 5, 5.7, "2018:01:01 13:03:32", nullptr, nullptr},
    {"FujiFilm.raf", "Fujifilm S5Pro", 100, 1.0 / 250, 8.0, "2007:05:22 13:58:30", nullptr, nullptr},
    // The file's DateTimeDigitized (2016) follows its DateTimeOriginal and is the one kept.
    {"Hero7_GOPR8508.GPR", "GoPro HERO7 Black", 267, 1.0 / 240, 2.8, nullptr, nullptr, nullptr},
    {"Minolta.mrw", "Minolta DiMAGE A2", 64, 1.0 / 5, 2.8, "2004:11:18 23:14:58", nullptr, nullptr},
    {"Nikon.nef", "Nikon D70", 200, 1.0 / 20, 3.5, "2004:06:09 16:02:35", nullptr, nullptr},
    {"NikonZ9_jxl_linear.dng", "Nikon Z 9", 65535, 30, 1.2, "2025:08:10 19:02:53", nullptr, nullptr},
    {"Panasonic.rw2", "Panasonic DMC-LX3", 80, 1.0 / 250, 4.0, "2008:08:06 15:21:56", nullptr, nullptr},
    {"PhaseOne.iiq", "Leaf Credo 40", 100, 1.0 / 1250, 5.6, "2013:06:19 15:44:21", nullptr, nullptr},
    // Orientation 8: the output is turned a quarter.
    {"Pixel7_small.dng", "Google Pixel 7", 744, 1.0 / 16, 1.9, "2024:07:04 21:45:43", "510 x 382",
     "382 x 510"},
    {"PowerShotG2_CRW_0304.CRW", "Canon PowerShot G2", 50, 1.0 / 52, 3.9, "2022:01:20 08:13:24", nullptr,
     nullptr},
    {"SLT-A55V_truncated.ARW", "Sony SLT-A55V", 100, 1.0 / 100, 13.0, "2017:10:22 11:54:20", nullptr,
     nullptr},
    {"Sigma.x3f", "SIGMA SD10", 100, 1.0 / 108, 8.4, "2001:01:01 00:36:35", nullptr, nullptr},
    {"canon_eos_6d_lossy_linear.dng", "Canon EOS 6D", 1000, 1.0 / 60, 5.6, "2019:06:06 07:29:51", nullptr,
     nullptr},
    {"iPhone12Pro_header_only.dng", "Apple iPhone 12 Pro", 32, 1.0 / 5556, 1.6, "2020:12:29 14:24:45",
     nullptr, nullptr},
    // Neither Make nor a unique camera model: a DNG's maker is then "DNG", with no model.
    {"synthetic_1024_rggb_uncompressed.dng", "DNG ", 0, 0, 0, nullptr, "1024 x 1024", "1024 x 1024"},
};

// "Key: value" lines of the listing.
std::map<std::string, std::string> fields(const std::string& listing) {
    std::map<std::string, std::string> out;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(": ");
        if (colon == std::string::npos) continue;
        const size_t value = line.find_first_not_of(' ', colon + 2);
        out[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
    }
    return out;
}

// The README shows the nominal value, the file may hold the exact one (an APEX shutter
// speed of 1/256 for a nominal 1/250, or a Canon CIFF exposure record of 1/60 where the
// shot info says 1/64): both agree within a sixth of a stop, half a third-stop step.
void expect_same_stop(double actual, double expected, double stops_per_doubling, const std::string& shown) {
    if (expected == 0) {
        EXPECT_EQ(actual, 0) << shown;
        return;
    }
    EXPECT_LT(std::fabs(std::log2(actual / expected)) * stops_per_doubling, 1.0 / 6) << shown;
}

double seconds_of(const std::string& shutter) {
    if (shutter.rfind("1/", 0) == 0) return 1 / std::atof(shutter.c_str() + 2);
    return std::atof(shutter.c_str());
}

// The README's time as the listing shows it (UTC, as the program sets TZ).
std::string as_listed(const char* taken) {
    std::tm when{};
    strptime(taken, "%Y:%m:%d %H:%M:%S", &when);
    const std::time_t t = timegm(&when);
    char text[64];
    std::tm utc{};
    gmtime_r(&t, &utc);
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &utc);
    return text;
}

} // namespace

TEST(SampleListing, AgreesWithTheSamplesReadme) {
    const fs::path folder = fs::temp_directory_path() / ("lv-listing-" + std::to_string(getpid()));
    fs::create_directories(folder);
    for (const Listed& l : kListed) {
        SCOPED_TRACE(l.file);
        const fs::path sample = testsupport::samplePath(l.file);
        if (!fs::exists(sample)) continue;
        // The program never writes here with -i, but a copy keeps the samples out of reach.
        fs::copy_file(sample, folder / l.file, fs::copy_options::overwrite_existing);
        const testsupport::Outcome o = testsupport::runDecoder({"-i", "-v", (folder / l.file).string()});
        auto f = fields(o.out);
        const std::string name = l.file;
        if (name == "Sigma.x3f") {
            EXPECT_EQ(f.count("Camera"), 0u) << o.out;
            continue;
        }
        if (!f.count("Camera")) {
            ADD_FAILURE() << "not identified: " << o.err;
            continue;
        }
        EXPECT_EQ(f["Camera"], l.camera);
        EXPECT_EQ(std::atoi(f["ISO speed"].c_str()), l.iso);
        expect_same_stop(seconds_of(f["Shutter"]), l.shutter, 1, f["Shutter"]);
        expect_same_stop(std::atof(f["Aperture"].c_str() + 2), l.aperture, 2, f["Aperture"]);
        if (l.taken) {
            EXPECT_EQ(f["Timestamp"], as_listed(l.taken));
        }
        if (l.image_size) {
            EXPECT_EQ(o.status, 0) << o.err;
            EXPECT_EQ(f["Image size"], l.image_size);
            EXPECT_EQ(f["Output size"], l.output_size);
        }
    }
    fs::remove_all(folder);
}
