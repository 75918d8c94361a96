#pragma once
// A decode straight through the decoder, with the options the raw image wrapper sets, as
// the reference its renderings are checked against.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "raw/core/DCRaw.h"

namespace wrappertest {

struct DirectOptions {
    int which = 0; // 0 master, 1 alternate
    bool monochrome = false;
    bool highlights = false;
    bool greenMatching = false;
    std::shared_ptr<DNGCameraProfileAbstract> profile;
};

struct Direct {
    bool ok = false;
    std::string status, make, model;
    float whitex = 0, whitey = 0;
    std::array<std::array<float, 3>, 3> cameraFromXYZ{};
    uint16_t width = 0, height = 0;
    std::vector<uint16_t> rgb; // the decoder's four values a pixel, the fourth dropped
};

// Without keepPixels the pixels are dropped unread: the decode alone, for timings.
inline Direct decodeDirectly(const std::string& path, const DirectOptions& options, bool keepPixels = true) {
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    decoder.setOutputColorSpace(4);
    decoder.setAlgoSelect(options.which);
    decoder.setConversionMode(options.monochrome ? 2 : 1);
    decoder.setRecoverHighlights(options.highlights);
    decoder.setDoGreenChannelMatch(options.greenMatching);
    decoder.setCameraProfile(options.profile);
    Direct d;
    uint16_t* pixels = nullptr;
    d.ok = decoder.loadFile(path, nullptr) &&
           decoder.processFileAndCreateBuffer(path, &pixels, 0, &d.width, &d.height);
    if (d.ok && keepPixels) {
        const size_t count = size_t(d.width) * d.height;
        d.rgb.resize(count * 3);
        for (size_t i = 0; i < count; ++i)
            for (size_t c = 0; c < 3; ++c)
                d.rgb[3 * i + c] = pixels[4 * i + c];
    }
    std::free(pixels);
    d.status = decoder.dcStatus();
    d.make = decoder.dcMake();
    d.model = decoder.dcModel();
    d.whitex = decoder.dcWhitex();
    d.whitey = decoder.dcWhitey();
    d.cameraFromXYZ = {{{decoder.cameraFromXYZ00(), decoder.cameraFromXYZ01(), decoder.cameraFromXYZ02()},
                        {decoder.cameraFromXYZ10(), decoder.cameraFromXYZ11(), decoder.cameraFromXYZ12()},
                        {decoder.cameraFromXYZ20(), decoder.cameraFromXYZ21(), decoder.cameraFromXYZ22()}}};
    return d;
}

} // namespace wrappertest
