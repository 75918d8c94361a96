#include "tests/support/SyntheticDng.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

#include "tests/support/LosslessJpegEncoder.h"
#include "tests/support/TiffBuilder.h"

namespace testsupport {
namespace {

// XYZ from linear sRGB with the D65 white (IEC 61966-2-1); its inverse is the camera's
// colour matrix, since the made-up sensor sees linear sRGB.
constexpr double kXyzFromSrgb[3][3] = {
    {0.4124, 0.3576, 0.1805}, {0.2126, 0.7152, 0.0722}, {0.0193, 0.1192, 0.9505}};

std::vector<std::pair<int32_t, int32_t>> colourMatrix() {
    const auto& m = kXyzFromSrgb;
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    std::vector<std::pair<int32_t, int32_t>> out;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            // Inverse through cofactors: element (r, c) is the cofactor of (c, r).
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            const double v = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
            out.emplace_back(int32_t(std::lround(v * 10000)), 10000);
        }
    return out;
}

LinearRgb hue(double h) {
    const double r = std::clamp(std::fabs(h * 6 - 3) - 1, 0.0, 1.0);
    const double g = std::clamp(2 - std::fabs(h * 6 - 2), 0.0, 1.0);
    const double b = std::clamp(2 - std::fabs(h * 6 - 4), 0.0, 1.0);
    return {r, g, b};
}

// 20 green, 8 red and 8 blue photosites, every row and column holding all three colours.
constexpr uint8_t kXTransCell[6][6] = {
    {1, 0, 1, 1, 2, 1}, {2, 1, 2, 0, 1, 0}, {1, 0, 1, 1, 2, 1},
    {1, 2, 1, 1, 0, 1}, {0, 1, 0, 2, 1, 2}, {1, 2, 1, 1, 0, 1},
};

// One CFA value per photosite: red, green / green, blue, or the X-Trans cell.
std::vector<uint16_t> mosaic(const SyntheticDngSpec& spec, double gain) {
    std::vector<uint16_t> values(size_t(spec.width) * spec.height);
    const double range = spec.white - spec.black;
    for (int y = 0; y < spec.height; ++y)
        for (int x = 0; x < spec.width; ++x) {
            const LinearRgb c = spec.scene ? spec.scene(x, y) : chartColour(x, y, spec.width, spec.height);
            const int colour = spec.xtrans ? kXTransCell[y % 6][x % 6] : (y & 1) + (x & 1);
            const double v = colour == 0 ? c.r : colour == 1 ? c.g : c.b;
            values[size_t(y) * spec.width + x] =
                uint16_t(spec.black + std::lround(std::clamp(v * gain, 0.0, 1.0) * range));
        }
    return values;
}

std::vector<uint8_t> littleEndianWords(const std::vector<uint16_t>& values) {
    std::vector<uint8_t> bytes;
    for (uint16_t v : values)
        bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)});
    return bytes;
}

// Each row as pairs of samples in two components, so each colour is predicted from its own.
std::vector<uint8_t> losslessJpegData(const SyntheticDngSpec& spec, const std::vector<uint16_t>& values) {
    LosslessJpegFrame frame;
    frame.precision = 16;
    while (frame.precision > 2 && (1 << (frame.precision - 1)) > spec.white)
        --frame.precision;
    frame.width = spec.width / 2;
    frame.height = spec.height;
    frame.components = 2;
    frame.samples = values;
    return encodeLosslessJpeg(frame);
}

// Tags go in ascending order, as TIFF readers expect, whatever order they are added in.
using Tags = std::map<uint16_t, std::function<void(TiffBuilder::Ifd&)>>;

void writeTags(TiffBuilder::Ifd& ifd, const Tags& tags) {
    for (const auto& [tag, write] : tags)
        write(ifd);
}

void addRawImage(TiffBuilder& tiff, Tags& tags, const SyntheticDngSpec& spec, double gain) {
    const std::vector<uint16_t> values = mosaic(spec, gain);
    const uint32_t w = uint32_t(spec.width), h = uint32_t(spec.height);
    tags[254] = [](auto& i) { i.longs(254, {0}); };
    tags[256] = [w](auto& i) { i.longs(256, {w}); };
    tags[257] = [h](auto& i) { i.longs(257, {h}); };
    tags[258] = [](auto& i) { i.shorts(258, {16}); };
    tags[262] = [](auto& i) { i.shorts(262, {32803}); };
    tags[277] = [](auto& i) { i.shorts(277, {1}); };
    if (spec.losslessJpeg && !spec.xtrans) {
        const std::vector<uint8_t> data = losslessJpegData(spec, values);
        const int tile = tiff.addBlock(data);
        const auto bytes = uint32_t(data.size());
        tags[259] = [](auto& i) { i.shorts(259, {7}); };
        tags[322] = [w](auto& i) { i.longs(322, {w}); };
        tags[323] = [h](auto& i) { i.longs(323, {h}); };
        tags[324] = [tile](auto& i) { i.blockOffset(324, tile); };
        tags[325] = [bytes](auto& i) { i.longs(325, {bytes}); };
    } else {
        const int strip = tiff.addBlock(littleEndianWords(values));
        tags[259] = [](auto& i) { i.shorts(259, {1}); };
        tags[273] = [strip](auto& i) { i.blockOffset(273, strip); };
        tags[278] = [h](auto& i) { i.longs(278, {h}); };
        tags[279] = [w, h](auto& i) { i.longs(279, {w * h * 2}); };
    }
    if (spec.xtrans) {
        tags[33421] = [](auto& i) { i.shorts(33421, {6, 6}); };
        tags[33422] = [](auto& i) {
            i.bytes(33422, std::vector<uint8_t>(&kXTransCell[0][0], &kXTransCell[0][0] + 36));
        };
    } else {
        tags[33421] = [](auto& i) { i.shorts(33421, {2, 2}); };
        tags[33422] = [](auto& i) { i.bytes(33422, {0, 1, 1, 2}); };
    }
    const uint16_t black = spec.black, white = spec.white;
    tags[50714] = [black](auto& i) { i.shorts(50714, {black}); };
    tags[50717] = [white](auto& i) { i.shorts(50717, {white}); };
}

void addPreview(TiffBuilder& tiff, TiffBuilder::Ifd& ifd, const SyntheticDngSpec& spec) {
    const int block = tiff.addBlock(spec.jpegThumbnail);
    ifd.longs(254, {1}).longs(256, {32}).longs(257, {24}).shorts(258, {8, 8, 8}).shorts(259, {7});
    ifd.shorts(262, {6}).blockOffset(273, block).shorts(277, {3}).longs(278, {24});
    ifd.longs(279, {uint32_t(spec.jpegThumbnail.size())});
}

} // namespace

LinearRgb chartColour(int x, int y, int width, int height) {
    const double u = (x + 0.5) / width, v = (y + 0.5) / height;
    if (v < 0.45) { // hue sweep, paler towards the top
        const LinearRgb h = hue(u);
        const double pale = 1 - v / 0.45;
        const auto mix = [&](double c) { return 0.06 + 0.8 * (c * (1 - 0.6 * pale) + 0.6 * pale * 0.5); };
        return {mix(h.r), mix(h.g), mix(h.b)};
    }
    if (v < 0.75) { // six patches on mid grey
        const int patch = std::min(int(u * 6), 5);
        const double inside = std::fabs(u * 6 - patch - 0.5) < 0.38 && std::fabs((v - 0.6) / 0.15) < 0.75;
        static constexpr LinearRgb kPatches[] = {{0.6, 0.05, 0.05}, {0.6, 0.6, 0.05},  {0.05, 0.5, 0.05},
                                                 {0.05, 0.5, 0.6},  {0.05, 0.05, 0.6}, {0.6, 0.05, 0.6}};
        return inside ? kPatches[patch] : LinearRgb{0.18, 0.18, 0.18};
    }
    const double step = std::floor(u * 10) / 9; // grey wedge in ten steps
    const double g = 0.01 + 0.89 * std::pow(std::min(step, 1.0), 2.2);
    return {g, g, g};
}

std::vector<uint8_t> buildSyntheticDng(const SyntheticDngSpec& spec) {
    TiffBuilder tiff(TiffBuilder::Order::Little);
    auto& exif = tiff.addSubIfd();
    exif.rationals(33434, {{spec.exposure[0], spec.exposure[1]}})
        .rationals(33437, {{spec.fNumber[0], spec.fNumber[1]}})
        .shorts(34855, {spec.iso})
        .ascii(36867, spec.dateTime)
        .rationals(37386, {{spec.focalLength[0], spec.focalLength[1]}});
    std::vector<const TiffBuilder::Ifd*> children;
    for (int n = 1; n < spec.rawImages; ++n) {
        auto& raw = tiff.addSubIfd();
        Tags tags;
        addRawImage(tiff, tags, spec, 1.0 / (n + 1));
        writeTags(raw, tags);
        children.push_back(&raw);
    }
    if (!spec.jpegThumbnail.empty()) {
        auto& preview = tiff.addSubIfd();
        addPreview(tiff, preview, spec);
        children.push_back(&preview);
    }
    Tags tags;
    addRawImage(tiff, tags, spec, 1.0);
    const SyntheticDngSpec& d = spec;
    tags[271] = [&d](auto& i) { i.ascii(271, d.make); };
    tags[272] = [&d](auto& i) { i.ascii(272, d.model); };
    tags[274] = [&d](auto& i) { i.shorts(274, {d.orientation}); };
    tags[305] = [](auto& i) { i.ascii(305, "Lumivar test chart"); };
    tags[306] = [&d](auto& i) { i.ascii(306, d.dateTime); };
    if (!children.empty()) tags[330] = [&children](auto& i) { i.ifdOffsets(330, children); };
    tags[34665] = [&exif](auto& i) { i.ifdOffset(34665, exif); };
    tags[50706] = [](auto& i) { i.bytes(50706, {1, 4, 0, 0}); };
    tags[50707] = [](auto& i) { i.bytes(50707, {1, 1, 0, 0}); };
    tags[50708] = [&d](auto& i) { i.ascii(50708, d.make + " " + d.model); };
    tags[50721] = [](auto& i) { i.srationals(50721, colourMatrix()); };
    tags[50728] = [](auto& i) { i.rationals(50728, {{1, 1}, {1, 1}, {1, 1}}); };
    tags[50778] = [](auto& i) { i.shorts(50778, {21}); };
    writeTags(tiff.addIfd(), tags);
    return tiff.build();
}

} // namespace testsupport
