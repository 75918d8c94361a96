// Real files through render_file's render: the image wrapper, the whole stage chain and the
// export's strips, checked against the decoder's own development of the same file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "bench/RenderFile.h"
#include "platform/Plist.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"
#include "tests/tools/RunDecoder.h"

namespace {

// A grey or RGB image of 16-bit samples.
struct Plane {
    size_t width = 0, height = 0, channels = 0;
    std::vector<uint16_t> samples;
    double grey(size_t x, size_t y) const {
        const uint16_t* p = &samples[(y * width + x) * channels];
        return channels == 1 ? p[0] : (double(p[0]) + p[1] + p[2]) / 3;
    }
};

// Uncompressed, chunky, 16-bit TIFF of either byte order; empty when it is anything else.
Plane readTiff(const std::filesystem::path& path) {
    const std::string f = testsupport::readWhole(path);
    Plane plane;
    if (f.size() < 8 || (f.compare(0, 2, "II") != 0 && f.compare(0, 2, "MM") != 0)) return plane;
    const bool little = f[0] == 'I';
    const auto u16 = [&](uint64_t at) -> uint32_t {
        if (at + 2 > f.size()) return 0;
        const auto a = uint8_t(f[at]), b = uint8_t(f[at + 1]);
        return little ? a | b << 8 : b | a << 8;
    };
    const auto u32 = [&](uint64_t at) -> uint32_t {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    const uint64_t ifd = u32(4);
    std::vector<uint32_t> offsets, counts;
    uint32_t bits = 0, compression = 1, planar = 1;
    for (uint32_t i = 0, n = u16(ifd); i < n; ++i) {
        const uint64_t e = ifd + 2 + 12 * uint64_t(i);
        const uint32_t tag = u16(e), type = u16(e + 2), count = u32(e + 4);
        const auto value = [&](uint32_t k) {
            const uint64_t size = type == 3 ? 2 : 4;
            const uint64_t at = size * count <= 4 ? e + 8 + size * k : u32(e + 8) + size * k;
            return type == 3 ? u16(at) : u32(at);
        };
        std::vector<uint32_t> values;
        for (uint32_t k = 0; k < count && k < 1u << 20; ++k)
            values.push_back(value(k));
        if (values.empty()) continue;
        if (tag == 256) plane.width = values[0];
        if (tag == 257) plane.height = values[0];
        if (tag == 258) bits = values[0];
        if (tag == 259) compression = values[0];
        if (tag == 277) plane.channels = values[0];
        if (tag == 284) planar = values[0];
        if (tag == 273) offsets = values;
        if (tag == 279) counts = values;
    }
    if (plane.channels == 0) plane.channels = 1;
    if (bits != 16 || compression != 1 || planar != 1 || offsets.size() != counts.size()) return {};
    std::string data;
    for (size_t s = 0; s < offsets.size(); ++s)
        if (uint64_t(offsets[s]) + counts[s] <= f.size()) data.append(f, offsets[s], counts[s]);
    if (data.size() != plane.width * plane.height * plane.channels * 2) return {};
    plane.samples.resize(data.size() / 2);
    for (size_t i = 0; i < plane.samples.size(); ++i) {
        const auto a = uint8_t(data[2 * i]), b = uint8_t(data[2 * i + 1]);
        plane.samples[i] = uint16_t(little ? a | b << 8 : b | a << 8);
    }
    return plane;
}

// Means of 8 x 8 blocks of the grey.
std::vector<double> eighth(const Plane& p) {
    std::vector<double> out;
    for (size_t by = 0; by + 8 <= p.height; by += 8)
        for (size_t bx = 0; bx + 8 <= p.width; bx += 8) {
            double sum = 0;
            for (size_t y = by; y < by + 8; ++y)
                for (size_t x = bx; x < bx + 8; ++x)
                    sum += p.grey(x, y);
            out.push_back(sum / 64);
        }
    return out;
}

std::vector<double> ranks(const std::vector<double>& v) {
    std::vector<size_t> order(v.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return v[a] < v[b]; });
    std::vector<double> r(v.size());
    for (size_t i = 0; i < order.size();) {
        size_t j = i;
        while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]])
            ++j;
        for (size_t k = i; k <= j; ++k)
            r[order[k]] = (double(i) + double(j)) / 2; // ties share their mean rank
        i = j + 1;
    }
    return r;
}

double spearman(const std::vector<double>& a, const std::vector<double>& b) {
    const auto ra = ranks(a), rb = ranks(b);
    const double n = double(ra.size());
    double ma = 0, mb = 0;
    for (size_t i = 0; i < ra.size(); ++i)
        ma += ra[i] / n, mb += rb[i] / n;
    double sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < ra.size(); ++i)
        sab += (ra[i] - ma) * (rb[i] - mb), saa += (ra[i] - ma) * (ra[i] - ma),
            sbb += (rb[i] - mb) * (rb[i] - mb);
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

struct Developed {
    const char* file;
    size_t width, height; // the decoder's own output size (turned by the file's orientation)
};

class RenderFileSamples : public testing::TestWithParam<Developed> {};

std::filesystem::path sourceOf(const std::string& name) {
    if (name == "lumivar-chart.dng") return std::filesystem::path(LUMIVAR_SOURCE_DIR) / "samples" / name;
    return testsupport::samplePath(name);
}

std::string testName(const testing::TestParamInfo<Developed>& info) {
    std::string name = info.param.file;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
    return name;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Developed, RenderFileSamples,
                         testing::Values(Developed{"Pixel7_small.dng", 382, 510},
                                         Developed{"BMPCC_cinemadng_frame.dng", 1920, 1080},
                                         Developed{"synthetic_1024_rggb_uncompressed.dng", 1024, 1024},
                                         Developed{"EOS_D30.CRW", 2160, 1440},
                                         Developed{"PowerShotG2_CRW_0304.CRW", 2272, 1704},
                                         Developed{"DC50_DC0008L.KDC", 768, 512},
                                         Developed{"DC120_P003908_uncompressed.KDC", 1301, 976},
                                         Developed{"lumivar-chart.dng", 360, 240}),
                         testName);

TEST_P(RenderFileSamples, GreyAsTheDecoderDevelopsItAndExposureDoublesIt) {
    const Developed d = GetParam();
    const auto source = sourceOf(d.file);
    if (!std::filesystem::exists(source)) GTEST_SKIP() << "sample " << d.file << " not present";
    testsupport::TempFolder temp;
    const auto input = temp / d.file;
    std::filesystem::copy_file(source, input);

    renderfile::Options options;
    options.input = input;
    options.output = temp / "out.tiff";
    options.then.emplace("Lumivar_Filter_inputEV", 1.0);
    size_t notMonochrome = 0;
    std::vector<uint16_t> firstGrey;
    options.onStrip = [&](int render, uint32_t, const platform::Bitmap& strip) {
        for (size_t y = 0; y < strip.height(); ++y) {
            const auto* row = reinterpret_cast<const uint16_t*>(strip.data() + y * strip.bytesPerRow());
            for (size_t x = 0; x < strip.width(); ++x) {
                const uint16_t* p = row + 4 * x;
                notMonochrome += std::abs(p[0] - p[1]) > 2 || std::abs(p[1] - p[2]) > 2;
                if (render == 0) firstGrey.push_back(uint16_t((uint32_t(p[0]) + p[1] + p[2] + 1) / 3));
            }
        }
    };
    const renderfile::Result result = renderfile::renderFile(options);
    ASSERT_EQ(result.exitStatus, 0) << result.message;
    EXPECT_EQ(result.decoderStatus, "ok");
    EXPECT_EQ(result.width, d.width);
    EXPECT_EQ(result.height, d.height);
    EXPECT_EQ(notMonochrome, 0u) << "pixels whose channels differ after conversion";

    // The exposure change only touches the output stage.
    ASSERT_EQ(result.renders.size(), 2u);
    const renderfile::RenderStats& then = result.renders[1];
    EXPECT_EQ(then.decodes, 0);
    EXPECT_EQ(then.stageTiles[1] + then.stageTiles[2] + then.stageTiles[3], 0);
    EXPECT_GT(result.renders[0].stageTiles[1], 0);

    const Plane brighter = readTiff(options.output);
    ASSERT_EQ(brighter.width, d.width);
    ASSERT_EQ(brighter.height, d.height);
    ASSERT_EQ(brighter.channels, 1u);
    ASSERT_EQ(firstGrey.size(), brighter.samples.size());
    size_t compared = 0, notDoubled = 0;
    for (size_t i = 0; i < firstGrey.size(); ++i)
        if (firstGrey[i] > 200 && firstGrey[i] < 32000) {
            ++compared;
            notDoubled += std::fabs(brighter.samples[i] - 2.0 * firstGrey[i]) > 0.01 * 2 * firstGrey[i] + 1;
        }
    EXPECT_GT(compared, firstGrey.size() / 20);
    EXPECT_EQ(notDoubled, 0u) << "of " << compared;

    // The decoder's linear development in the same space; the render's tones follow it.
    const auto decoded = testsupport::runDecoder({"-w", "-4", "-o", "4", "-T", input.string()});
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    const Plane reference = readTiff(input.parent_path() / (input.stem().string() + ".tiff"));
    ASSERT_EQ(reference.width, d.width);
    ASSERT_EQ(reference.height, d.height);
    Plane render{d.width, d.height, 1, firstGrey};
    EXPECT_GE(spearman(eighth(render), eighth(reference)), 0.98);
}

TEST(RenderFileSamplesWritten, AnIndependentReaderReadsTheTiff) {
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    if (std::system("command -v tiffinfo > /dev/null 2>&1") != 0) GTEST_SKIP() << "tiffinfo not installed";
    testsupport::TempFolder temp;
    const auto out = temp / "pixel7.tiff";
    std::ostringstream stdoutText, stderrText;
    ASSERT_EQ(
        renderfile::main({"--stats", testsupport::samplePath("Pixel7_small.dng").string(), out.string()},
                         stdoutText, stderrText),
        0)
        << stderrText.str();
    EXPECT_NE(stdoutText.str().find("render 1: decodes 1"), std::string::npos) << stdoutText.str();
    const auto listing = temp / "listing";
    ASSERT_EQ(std::system(("tiffinfo '" + out.string() + "' > '" + listing.string() + "' 2>&1").c_str()), 0);
    const std::string text = testsupport::readWhole(listing);
    for (const char* expected :
         {"Image Width: 382 Image Length: 510", "Bits/Sample: 16", "min-is-black", "Samples/Pixel: 1"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
    EXPECT_EQ(text.find("rror"), std::string::npos) << text;
}

// Files the decoder refuses, or whose image data is missing: the status, exit 1, no file.
TEST(RenderFileSamplesRefused, ExitOneWithTheDecoderStatusAndNoFile) {
    const std::vector<std::pair<const char*, const char*>> refused = {
        {"CanonRaw.cr2", "Could not parse raw file"},
        {"CanonRaw.cr3", "Exception in crxFillBuffer"},
        {"CanonRaw.crw", "Unsupported file type"},
        {"D7100_truncated.NEF", "Unsupported file type"},
        {"DC120_P003911_jpeg.KDC", "Could not parse raw file"},
        {"DNG.dng", "Sensor data is not lossless JPEG"},
        {"FujiFilm.raf", "Could not read from RAF file"},
        {"Hero7_GOPR8508.GPR", "Could not parse raw file"},
        {"Minolta.mrw", "Unsupported file type"},
        {"Nikon.nef", "Unsupported file type"},
        {"NikonZ9_jxl_linear.dng", "Could not parse raw file"},
        {"Panasonic.rw2", "Unsupported file type"},
        {"PhaseOne.iiq", "Could not parse raw file"},
        {"PhotoCD.pcd", "Could not parse raw file"},
        {"SLT-A55V_truncated.ARW", "Unsupported file type"},
        {"Sigma.x3f", "Could not parse raw file"},
        {"canon_eos_6d_lossy_linear.dng", "Could not parse raw file"},
        {"iPhone12Pro_header_only.dng", "Sensor data is not lossless JPEG"},
    };
    testsupport::TempFolder temp;
    size_t tried = 0;
    for (const auto& [file, status] : refused) {
        if (!std::filesystem::exists(testsupport::samplePath(file))) continue;
        ++tried;
        const auto out = temp / (std::string(file) + ".tiff");
        std::ostringstream stdoutText, stderrText;
        EXPECT_EQ(
            renderfile::main({testsupport::samplePath(file).string(), out.string()}, stdoutText, stderrText),
            1)
            << file;
        EXPECT_NE(stderrText.str().find(std::string("(decoder status: ") + status + ")"), std::string::npos)
            << file << ": " << stderrText.str();
        EXPECT_FALSE(std::filesystem::exists(out)) << file;
    }
    EXPECT_TRUE(temp.entries().empty());
    if (tried == 0) GTEST_SKIP() << "no refused sample present";
}

TEST(RenderFileCommandLine, ValuesAndUsage) {
    const std::vector<std::pair<const char*, platform::Value>> values = {
        {"1", int64_t(1)}, {"-2", int64_t(-2)}, {"0.5", 0.5},   {"1e-3", 0.001},
        {"true", true},    {"NO", false},       {"abc", "abc"}, {"", ""},
    };
    for (const auto& [text, value] : values)
        EXPECT_EQ(renderfile::parseValue(text), value) << text;

    testsupport::TempFolder temp;
    const std::string out = (temp / "out.tiff").string(), in = (temp / "missing.dng").string();
    const auto notPlist = testsupport::writeFile(temp.path(), "settings.plist", std::string("not a plist"));
    const std::vector<std::vector<std::string>> usage = {
        {},
        {in},
        {"--frobnicate", in, out},
        {"--then", "EV", in, out},
        {"--then", "=1", in, out},
        {"--settings", notPlist.string(), in, out},
        {in, out, "extra"},
        {"--type"},
    };
    for (const auto& args : usage) {
        std::ostringstream o, e;
        EXPECT_EQ(renderfile::main(args, o, e), 2) << testing::PrintToString(args);
        EXPECT_NE(e.str().find("render_file"), std::string::npos);
    }
    std::ostringstream o, e;
    EXPECT_EQ(renderfile::main({in, out}, o, e), 1);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(RenderFileCommandLine, SettingsFromAPropertyList) {
    const auto chart = std::filesystem::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng";
    testsupport::TempFolder temp;
    const auto settings = temp / "settings.plist";
    ASSERT_TRUE(platform::writePlistFile(settings, platform::Dictionary{{"Lumivar_Filter_inputEV", 1.0}}));
    std::ostringstream o, e;
    ASSERT_EQ(renderfile::main({chart.string(), (temp / "plain.tiff").string()}, o, e), 0) << e.str();
    ASSERT_EQ(renderfile::main({"--settings", settings.string(), "--type", "public.jpeg", chart.string(),
                                (temp / "brighter.tiff").string()},
                               o, e),
              0)
        << e.str();
    const Plane plain = readTiff(temp / "plain.tiff"), brighter = readTiff(temp / "brighter.tiff");
    ASSERT_EQ(plain.samples.size(), brighter.samples.size());
    ASSERT_FALSE(plain.samples.empty());
    size_t brighterCount = 0;
    for (size_t i = 0; i < plain.samples.size(); ++i)
        brighterCount += brighter.samples[i] > plain.samples[i] || plain.samples[i] == 65535;
    EXPECT_GE(brighterCount, plain.samples.size() * 99 / 100);
}
