#pragma once
// The one door into the raw decoder. A caller creates a DCRaw, sets its options, calls
// loadFile() to identify the file and read its metadata, and then, when that succeeded,
// processFileAndCreateBuffer() to unpack and develop it (or processFileAndCreateBuffers()
// for two renderings of one unpacking). The decoder keeps its state in one process-wide
// record, so the caller holds decodeLock() from creating the object to releasing it; each
// call also takes the lock, so a caller that forgets cannot overlap another decode inside
// a call.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "dng/DNGCameraProfileAbstract.h"
#include "platform/Value.h"
#include "raw/core/DecoderState.h"

namespace raw {
class FrameStrips;
}

// One rendering of DCRaw::processFileAndCreateBuffers(): the image as
// processFileAndCreateBuffer() hands it over (null when there is none; release it with
// std::free), its size (0 x 0 after a failure) and the status its decode ended in.
struct DecodedRendering {
    uint16_t* buffer = nullptr;
    uint16_t width = 0, height = 0;
    // 0: the whole image is developed; else only the pixels within this many of an edge,
    // the rest being zeros.
    uint16_t frame = 0;
    bool ok = false;
    std::string status;
};

class DCRaw {
  public:
    DCRaw();
    ~DCRaw();
    DCRaw(const DCRaw&) = delete;
    DCRaw& operator=(const DCRaw&) = delete;

    // The class lock: one decode at a time in the whole process.
    static std::recursive_mutex& decodeLock();

    // Opens and identifies the file. On success *pixelSize (when given) receives a byte
    // estimate of the decode; on failure 0, with the reason in dcStatus().
    bool loadFile(const std::string& path, uint64_t* pixelSize);

    // Unpacks and develops the file loadFile() identified. With createdBuffer, the image
    // (four 16-bit values per pixel, bufferWidth x bufferHeight) is handed over through
    // it, also after a failure when one was allocated; release it with std::free. Without
    // it, the image is written to the file at `path`.
    bool processFileAndCreateBuffer(const std::string& path, uint16_t** createdBuffer, float sharpening,
                                    uint16_t* bufferWidth, uint16_t* bufferHeight);

    using Rendering = DecodedRendering;
    // Two renderings from one unpacking of the file loadFile() identified: first with the
    // options as set, then with `alternateAlgoSelect` as the demosaicing choice; the other
    // options are shared. Each is what a decode of its own would hand over; dcStatus() ends
    // as the second's. The image is copied where the two part, so the decode holds one image
    // more than a single rendering. A failure before they part fails both with one text (the
    // first keeps whatever was developed); with no memory for the copy, the second fails.
    // With a masterFrame, a reader needs only that many pixels along the first rendering's
    // edges: an AHD rendering of a Bayer image then develops just those (its `frame`),
    // from strips of the mosaic instead of a copy of the whole.
    std::array<Rendering, 2> processFileAndCreateBuffers(int32_t alternateAlgoSelect,
                                                         uint16_t masterFrame = 0);

    // The process-wide decoder record; only while holding decodeLock().
    static raw::DecoderState& state();

    // Diagnostics: the photosite values of one sensor row of the raw buffer, or of the
    // masked rows above the image where Canon sensors keep their black reference, on
    // standard error. The raw buffer lives only inside processFileAndCreateBuffer(), up to
    // the active-area crop; without it they say so.
    void rawDump(int row) const;
    void rawDumpCanonRows() const;

    const std::string& dcStatus() const { return dcStatus_; }
    const std::string& dcMake() const { return dcMake_; }
    const std::string& dcModel() const { return dcModel_; }
    const std::string& modelRestriction() const { return modelRestriction_; }
    void setModelRestriction(std::string v) { modelRestriction_ = std::move(v); }
    bool useVirtualMemory() const { return useVirtualMemory_; }
    void setUseVirtualMemory(bool v) { useVirtualMemory_ = v; }
    float dcWhitex() const { return dcWhitex_; }
    float dcWhitey() const { return dcWhitey_; }
    float cameraFromXYZ00() const { return cameraFromXYZ_[0][0]; }
    float cameraFromXYZ01() const { return cameraFromXYZ_[0][1]; }
    float cameraFromXYZ02() const { return cameraFromXYZ_[0][2]; }
    float cameraFromXYZ10() const { return cameraFromXYZ_[1][0]; }
    float cameraFromXYZ11() const { return cameraFromXYZ_[1][1]; }
    float cameraFromXYZ12() const { return cameraFromXYZ_[1][2]; }
    float cameraFromXYZ20() const { return cameraFromXYZ_[2][0]; }
    float cameraFromXYZ21() const { return cameraFromXYZ_[2][1]; }
    float cameraFromXYZ22() const { return cameraFromXYZ_[2][2]; }
    const platform::Dictionary& metaData() const { return metaData_; }
    bool doGreenChannelMatch() const { return doGreenChannelMatch_; }
    void setDoGreenChannelMatch(bool v) { doGreenChannelMatch_ = v; }
    int32_t outputColorSpace() const { return outputColorSpace_; }
    void setOutputColorSpace(int32_t v) { outputColorSpace_ = v; }
    const std::shared_ptr<DNGCameraProfileAbstract>& cameraProfile() const { return cameraProfile_; }
    void setCameraProfile(std::shared_ptr<DNGCameraProfileAbstract> v) { cameraProfile_ = std::move(v); }
    float cameraBaselineExposure() const { return cameraBaselineExposure_; }
    float highlightExposureAdjust() const { return highlightExposureAdjust_; }
    bool isOutputReferred() const { return isOutputReferred_; }
    int32_t algoSelect() const { return algoSelect_; }
    void setAlgoSelect(int32_t v) { algoSelect_ = v; }
    int32_t conversionMode() const { return conversionMode_; }
    void setConversionMode(int32_t v) { conversionMode_ = v; }
    bool recoverHighlights() const { return recoverHighlights_; }
    void setRecoverHighlights(bool v) { recoverHighlights_ = v; }

  private:
    void resetState(raw::DecoderState& s);
    bool identify(raw::DecoderState& s, uint64_t* pixelSize);
    void applyCameraProfile(raw::DecoderState& s);
    void takeCameraResults(const raw::DecoderState& s);
    // What both renderings share: the loader, the crop, blacks, scaling and what comes
    // before the interpolation proper.
    struct Unpacked {
        bool loaderOk;    // the loader left no error text
        bool interpolate; // the image still needs demosaicing
    };
    Unpacked unpack(raw::DecoderState& s, bool toBuffer);
    bool prepareDemosaic(raw::DecoderState& s);
    // One rendering from the unpacked image: demosaicing by `algorithm`, then the rest.
    void render(raw::DecoderState& s, const std::string& path, bool toBuffer, float sharpening,
                int32_t algorithm, bool needsInterpolation);
    void interpolate(raw::DecoderState& s, int32_t algorithm);
    void writeOutput(raw::DecoderState& s, const std::string& path, bool toBuffer, float sharpening);
    Rendering renderToBuffer(raw::DecoderState& s, int32_t algorithm, const Unpacked& unpacked);
    bool frameApplies(const raw::DecoderState& s, const Unpacked& unpacked, int frame) const;
    std::array<Rendering, 2> renderWithMasterFrame(raw::DecoderState& s, const raw::DecoderState& record,
                                                   int32_t alternateAlgoSelect, const Unpacked& unpacked,
                                                   raw::FrameStrips& strips);
    Rendering renderFrame(raw::DecoderState& s, const raw::DecoderState& record, const Unpacked& unpacked,
                          raw::FrameStrips& strips);
    static void releaseRoadBlocks(raw::DecoderState& s);
    Rendering endRendering(raw::DecoderState& s, bool ok);
    void releaseEngine();
    static uint64_t& currentGeneration();

    std::string dcStatus_;
    std::string dcMake_;
    std::string dcModel_;
    std::string modelRestriction_;
    bool useVirtualMemory_ = false;
    float dcWhitex_ = 0, dcWhitey_ = 0;
    float cameraFromXYZ_[3][3] = {};
    platform::Dictionary metaData_;
    bool doGreenChannelMatch_ = false;
    int32_t outputColorSpace_ = 0;
    std::shared_ptr<DNGCameraProfileAbstract> cameraProfile_;
    float cameraBaselineExposure_ = 0;
    float highlightExposureAdjust_ = 0;
    bool isOutputReferred_ = false;
    int32_t algoSelect_ = 0;
    int32_t conversionMode_ = 0;
    bool recoverHighlights_ = false;

    std::string inputPath_;        // storage behind the state's input_path
    exifEngine* engine_ = nullptr; // this decode's metadata builder, owned here
    uint64_t generation_ = 0;      // which loadFile of the process was ours
};
