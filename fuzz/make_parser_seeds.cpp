// Writes seed inputs for one parser target into a folder, made by the tests' builders:
//   make_parser_seeds dcp|photocd|plist|preview|proxy <folder>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <turbojpeg.h>

#include "app/core/AppTables.h"
#include "app/core/PresetSeeds.h"
#include "fuzz/PhotoCdFuzzInput.h"
#include "platform/Plist.h"
#include "tests/support/DcpBuilder.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/PhotoCdBuilder.h"
#include "tests/support/RawFixtures.h"
#include "tests/support/Samples.h"
#include "tests/support/SyntheticDng.h"
#include "tests/support/TiffBuilder.h"

using namespace testsupport;
using Bytes = std::vector<uint8_t>;
using Seeds = std::map<std::string, Bytes>;

namespace {

// ---- camera profiles ----

void fullProfile(TiffBuilder::Ifd& ifd) {
    ifd.ascii(50708, "Maker Model")
        .ascii(50936, "Studio v2")
        .ascii(50942, "Copyright holder")
        .ascii(50932, "signature")
        .shorts(50778, {17})
        .shorts(50779, {21})
        .srationals(50721, Rationals({0.8, 0.1, 0, 0, 1, 0, 0, 0.1, 0.9}))
        .srationals(50722, Rationals({0.6, 0.3, -0.1, -0.2, 1.1, 0.1, 0, 0.2, 0.7}))
        .srationals(50964, Rationals({0.5, 0.3, 0.1642, 0.2, 0.7, 0.1, 0, 0.1, 0.7251}))
        .srationals(50965, Rationals({0.5, 0.3, 0.1642, 0.2, 0.7, 0.1, 0, 0.1, 0.7251}))
        .longs(50937, {2, 2, 1})
        .floats(50938, {10, 1.5f, 2, 20, 2.5f, 3, 0, 1, 1, 5, 1, 1})
        .floats(50939, {1, 1, 1, 5, 1.1f, 1.2f, 2, 1, 1, 6, 1.3f, 1.4f})
        .longs(50981, {2, 2, 2})
        .floats(50982, std::vector<float>(24, 1.0f))
        .floats(50940, {0, 0, 0.25f, 0.3f, 0.5f, 0.6f, 1, 1})
        .longs(50941, {3})
        .longs(51107, {1})
        .longs(51108, {1})
        .srationals(51109, {{-1, 2}})
        .longs(51110, {1});
}

Seeds dcpSeeds() {
    Seeds s;
    s["full-little.dcp"] = BuildDcp(fullProfile);
    s["full-big.dcp"] = BuildDcp(fullProfile, TiffBuilder::Order::Big);
    s["one-matrix.dcp"] = BuildDcp([](TiffBuilder::Ifd& ifd) {
        ifd.ascii(50936, "Plain").srationals(50721, Rationals({1, 0, 0, 0, 1, 0, 0, 0, 1}));
    });
    s["four-colour.dcp"] = BuildDcp([](TiffBuilder::Ifd& ifd) {
        ifd.ascii(50936, "Four").srationals(50721, Rationals({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0}));
    });
    s["curve-only.dcp"] = BuildDcp([](TiffBuilder::Ifd& ifd) {
        ifd.srationals(50722, Rationals({0.9, 0.1, 0, 0, 1, 0, 0, 0.1, 0.9}))
            .floats(50940, {0, 0, 1, 1})
            .longs(50981, {1, 1, 1})
            .floats(50982, {0, 1, 1});
    });
    return s;
}

// ---- Photo CD ----

Bytes chunks(const std::vector<std::pair<int, Bytes>>& files) {
    Bytes input;
    for (const auto& [file, bytes] : files)
        fuzzing::appendPcdChunks(input, file, bytes);
    return input;
}

// Planes of zeros: only the headers, tables and records become chunks.
PhotoCdBuilder zeroPack(int resolutionField, int highestPlain) {
    PhotoCdBuilder b;
    b.attributes(1, resolutionField);
    const auto zero = [](int, int) -> uint8_t { return 0; };
    b.plainLevel(highestPlain, zero, zero, zero);
    b.text(2048 + 0x1A, "FILM SCANNER").text(2048 + 0x40, "SCANNER MAKER");
    return b;
}

Seeds photoCdSeeds() {
    Seeds s;
    const auto codes = defaultPcdCodes();
    s["base16.pcdfz"] = chunks({{0, zeroPack(0, 0).data()}});
    s["base.pcdfz"] = chunks({{0, zeroPack(0, 2).data()}});
    {
        PcdResidualWriter rows;
        rows.row(0, 0, std::vector<int8_t>(1536, 8))
            .row(0, 1, std::vector<int8_t>(1536, -1))
            .row(0, 1023, {});
        rows.row(0, 8191, {});
        PhotoCdBuilder b = zeroPack(1, 2);
        b.bytes(kPcd4BaseTables, pcdTableBlock({codes})).bytes(kPcd4BaseData, rows.finish());
        s["4base.pcdfz"] = chunks({{0, b.data()}});
    }
    {
        // 16Base records at sector 400, then a 64Base extension in two files.
        PcdResidualWriter r4, r16;
        r4.row(0, 1023, std::vector<int8_t>(1536, 0)).row(0, 8191, {});
        r16.row(0, 2047, std::vector<int8_t>(3072, 1)).row(2, 2047, std::vector<int8_t>(1536, -8));
        r16.row(3, 2047, std::vector<int8_t>(1536, 8)).row(0, 8191, {});
        PhotoCdBuilder b = zeroPack(2, 2);
        b.be16(3587, 400);
        b.bytes(kPcd4BaseTables, pcdTableBlock({codes})).bytes(kPcd4BaseData, r4.finish());
        b.bytes(412ull * 2048, pcdTableBlock({codes, codes, codes})).bytes(414ull * 2048, r16.finish());

        PcdResidualWriter luma;
        luma.extensionRow(0, 0, 0, std::vector<int8_t>(3072, 8))
            .extensionRow(0, 0, 1, std::vector<int8_t>(3072, -8));
        Bytes first = luma.finish();
        const auto chroma1At = uint32_t(first.size());
        const Bytes chroma1 =
            PcdResidualWriter().extensionRow(1, 0, 0, std::vector<int8_t>(1536, 8)).finish();
        first.insert(first.end(), chroma1.begin(), chroma1.end());
        const Bytes third = PcdResidualWriter().extensionRow(2, 0, 0, std::vector<int8_t>(1536, -8)).finish();
        PcdExtensionLayer l0{1, 6144, 0, 3072, {{0, 0}, {0, 0}}};
        PcdExtensionLayer l1{1, 1536, 0, 1536, {{0, chroma1At}}};
        PcdExtensionLayer l2{1, 1536, 3072, 1536, {{2, 0}}};
        const Bytes index = pcdExtensionIndex({l0, l1, l2}, {"IPE0001.ICD", "IPE0002.ICD", "IPE0003.ICD"},
                                              {codes, codes, codes});
        s["16base.pcdfz"] = chunks({{0, b.data()}});
        s["64base.pcdfz"] = chunks({{0, b.data()}, {1, index}, {2, first}, {4, third}});
    }
    const std::filesystem::path sample = samplePath("PhotoCD.pcd");
    if (std::filesystem::exists(sample)) {
        std::ifstream in(sample, std::ios::binary);
        s["sample.pcdfz"] = chunks({{0, Bytes(std::istreambuf_iterator<char>(in), {})}});
    }
    return s;
}

// ---- property lists ----

Bytes xml(const platform::Value& root) {
    const std::string text = platform::writeXmlPlist(root);
    return Bytes(text.begin(), text.end());
}

Seeds plistSeeds() {
    using platform::Array;
    using platform::Dictionary;
    using platform::Value;
    Seeds s;
    const Dictionary autoCamera{{"Class_of_serialized_Object", "DNGCameraProfileAbstract"}};
    const Dictionary namedCamera{{"Class_of_serialized_Object", "DNGCameraProfileAbstract"},
                                 {"FileName", "Studio.dcp"}};
    const Dictionary autoIcc{{"Class_of_serialized_Object", "ColorSyncProfileWrap"}};
    Array catalog;
    int n = 0;
    for (Dictionary preset : app::seededPresets()) {
        preset["Lumivar_UUID"] = "/photos/IMG_000" + std::to_string(++n) + ".CR2";
        preset["Lumivar_CameraProfile"] = n == 1 ? autoCamera : namedCamera;
        preset["Lumivar_ICCProfile"] = autoIcc;
        catalog.push_back(preset);
        Dictionary stored = preset;
        stored.erase("Lumivar_UUID");
        stored["Lumivar_PresetUUID"] = "6F1C2A3B-0000-4000-8000-00000000000" + std::to_string(n);
        s["preset-" + std::to_string(n) + ".plist"] = xml(stored);
    }
    s["catalog.plist"] = xml(catalog);
    Dictionary defaults = app::applicationDefaults();
    defaults["imageDirectory"] = "/home/user/Pictures";
    defaults["rawSearchDirectoryBookmark"] = "/home/user/raw";
    defaults["Ratio"] = 0.75;
    defaults["Thumb"] = Value(platform::Data{1, 2, 3, 4});
    defaults["When"] = Value(platform::Date{1700000000.0});
    defaults["List"] = Array{Value(1), Value("two"), Value(Dictionary{{"three", 3.0}})};
    s["defaults.plist"] = xml(defaults);
    return s;
}

// ---- JPEG previews and proxies ----

Bytes jpeg(int width, int height, const Bytes& app1 = {}) {
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uint8_t(i * 7 / 3);
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_420, 80, 0);
    Bytes result(out, out + size);
    tjFree(out);
    tjDestroy(handle);
    if (!app1.empty()) { // after SOI
        Bytes segment{0xFF, 0xE1, uint8_t((app1.size() + 2) >> 8), uint8_t(app1.size() + 2)};
        segment.insert(segment.end(), app1.begin(), app1.end());
        result.insert(result.begin() + 2, segment.begin(), segment.end());
    }
    return result;
}

// An EXIF block turning the picture by the orientation tag.
Bytes exifOrientation(uint16_t orientation) {
    TiffBuilder tiff(TiffBuilder::Order::Big);
    tiff.addIfd().shorts(274, {orientation}).ascii(271, "Maker").ascii(272, "Model");
    Bytes block{'E', 'x', 'i', 'f', 0, 0};
    const Bytes body = tiff.build();
    block.insert(block.end(), body.begin(), body.end());
    return block;
}

Seeds previewSeeds() {
    Seeds s;
    SyntheticDngSpec spec;
    spec.width = 24;
    spec.height = 16;
    for (uint16_t orientation : {1, 6, 8}) {
        spec.orientation = orientation;
        spec.jpegThumbnail = jpeg(160, 120);
        s["dng-preview-" + std::to_string(orientation) + ".dng"] = buildSyntheticDng(spec);
    }
    spec.jpegThumbnail = jpeg(1200, 800);
    s["dng-large-preview.dng"] = buildSyntheticDng(spec);
    for (const auto& fixture : rawFixtures())
        s[fixture.name] = fixture.bytes;
    return s;
}

Seeds proxySeeds() {
    Seeds s;
    s["plain.jpg"] = jpeg(200, 150);
    s["turned.jpg"] = jpeg(200, 150, exifOrientation(6));
    for (auto order : {TiffBuilder::Order::Little, TiffBuilder::Order::Big}) {
        TiffBuilder tiff(order);
        auto& exif = tiff.addSubIfd();
        exif.rationals(33434, {{1, 60}}).shorts(34855, {200});
        const int strip = tiff.addBlock(Bytes(16 * 12 * 3, 0x80));
        tiff.addIfd()
            .longs(256, {16})
            .longs(257, {12})
            .shorts(258, {8, 8, 8})
            .shorts(259, {1})
            .shorts(262, {2})
            .blockOffset(273, strip)
            .shorts(274, {3})
            .shorts(277, {3})
            .longs(278, {12})
            .longs(279, {16 * 12 * 3})
            .ascii(271, "Maker")
            .ascii(272, "Model")
            .ifdOffset(34665, exif);
        s[order == TiffBuilder::Order::Little ? "rgb-ii.tif" : "rgb-mm.tif"] = tiff.build();
    }
    {
        TiffBuilder tiff;
        const int strip = tiff.addBlock(Bytes(8 * 8 * 3 * 2, 0x40));
        tiff.addIfd()
            .longs(256, {8})
            .longs(257, {8})
            .shorts(258, {16, 16, 16})
            .shorts(259, {1})
            .shorts(262, {2})
            .blockOffset(273, strip)
            .shorts(277, {3})
            .longs(278, {8})
            .longs(279, {8 * 8 * 3 * 2});
        s["rgb16.tif"] = tiff.build();
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    const std::map<std::string, std::function<Seeds()>> makers{{"dcp", dcpSeeds},
                                                               {"photocd", photoCdSeeds},
                                                               {"plist", plistSeeds},
                                                               {"preview", previewSeeds},
                                                               {"proxy", proxySeeds}};
    const auto maker = argc == 3 ? makers.find(argv[1]) : makers.end();
    if (maker == makers.end()) {
        std::fprintf(stderr, "usage: %s dcp|photocd|plist|preview|proxy <folder>\n", argv[0]);
        return 2;
    }
    for (const auto& [name, bytes] : maker->second())
        writeFile(argv[2], name, bytes);
    return 0;
}
