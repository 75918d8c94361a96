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
    uint16_t frame = 0;        // as DecodedRendering's
    std::vector<uint16_t> rgb; // the decoder's four values a pixel, the fourth dropped
    float baselineExposure = 0, highlightExposureAdjust = 0;
    bool outputReferred = false;
    platform::Dictionary metaData;
};

inline void configureDirectly(DCRaw& decoder, const DirectOptions& options) {
    decoder.setOutputColorSpace(4);
    decoder.setAlgoSelect(options.which);
    decoder.setConversionMode(options.monochrome ? 2 : 1);
    decoder.setRecoverHighlights(options.highlights);
    decoder.setDoGreenChannelMatch(options.greenMatching);
    decoder.setCameraProfile(options.profile);
}

// What the decoder reports beside the pixels.
inline void takeDecoderResults(const DCRaw& decoder, Direct& d) {
    d.make = decoder.dcMake();
    d.model = decoder.dcModel();
    d.whitex = decoder.dcWhitex();
    d.whitey = decoder.dcWhitey();
    d.cameraFromXYZ = {{{decoder.cameraFromXYZ00(), decoder.cameraFromXYZ01(), decoder.cameraFromXYZ02()},
                        {decoder.cameraFromXYZ10(), decoder.cameraFromXYZ11(), decoder.cameraFromXYZ12()},
                        {decoder.cameraFromXYZ20(), decoder.cameraFromXYZ21(), decoder.cameraFromXYZ22()}}};
    d.baselineExposure = decoder.cameraBaselineExposure();
    d.highlightExposureAdjust = decoder.highlightExposureAdjust();
    d.outputReferred = decoder.isOutputReferred();
    d.metaData = decoder.metaData();
}

inline std::vector<uint16_t> dropFourthValues(const uint16_t* pixels, uint16_t width, uint16_t height) {
    const size_t count = size_t(width) * height;
    std::vector<uint16_t> rgb(count * 3);
    for (size_t i = 0; i < count; ++i)
        for (size_t c = 0; c < 3; ++c)
            rgb[3 * i + c] = pixels[4 * i + c];
    return rgb;
}

// Without keepPixels the pixels are dropped unread: the decode alone, for timings.
inline Direct decodeDirectly(const std::string& path, const DirectOptions& options, bool keepPixels = true) {
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    configureDirectly(decoder, options);
    Direct d;
    uint16_t* pixels = nullptr;
    d.ok = decoder.loadFile(path, nullptr) &&
           decoder.processFileAndCreateBuffer(path, &pixels, 0, &d.width, &d.height);
    if (d.ok && keepPixels) d.rgb = dropFourthValues(pixels, d.width, d.height);
    std::free(pixels);
    d.status = decoder.dcStatus();
    takeDecoderResults(decoder, d);
    return d;
}

// The master (with the options given) and the alternate from one decode; the camera
// results are those the decoder reports after both. keepPixels as for decodeDirectly.
inline std::array<Direct, 2> decodeBothDirectly(const std::string& path, const DirectOptions& options,
                                                bool keepPixels = true, uint16_t masterFrame = 0) {
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    configureDirectly(decoder, options);
    std::array<Direct, 2> both;
    if (!decoder.loadFile(path, nullptr)) {
        for (Direct& d : both) {
            d.status = decoder.dcStatus();
            takeDecoderResults(decoder, d);
        }
        return both;
    }
    const auto renderings = decoder.processFileAndCreateBuffers(1, masterFrame);
    for (int which : {0, 1}) {
        const DecodedRendering& r = renderings[which];
        Direct& d = both[which];
        d.ok = r.ok;
        d.status = r.status;
        d.width = r.width;
        d.height = r.height;
        d.frame = r.frame;
        if (r.ok && keepPixels) d.rgb = dropFourthValues(r.buffer, r.width, r.height);
        std::free(r.buffer);
        takeDecoderResults(decoder, d);
    }
    // A caller reads the second rendering's status after the call.
    if (decoder.dcStatus() != both[1].status)
        both[1].status += " (dcStatus() says " + decoder.dcStatus() + ")";
    return both;
}

} // namespace wrappertest
