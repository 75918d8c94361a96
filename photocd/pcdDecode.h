#pragma once
// Decodes one Photo CD image pack (and, on request, its 64Base extension) into RGB or
// scaled-YCC samples at one of six resolution levels. Errors never escape: every operation
// succeeds or leaves a message in errorText().
#include <cstdint>
#include <string>
#include <vector>

#include "photocd/PcdPlane.h"

namespace photocd {
class PcdFile;
struct PcdResidualTarget;
} // namespace photocd

class pcdDecode {
  public:
    enum OutputKind { kOutput8Bit = 0, kOutput16Bit = 1, kOutputFloat = 2 };

    pcdDecode();
    virtual ~pcdDecode();
    pcdDecode(const pcdDecode&) = delete;
    pcdDecode& operator=(const pcdDecode&) = delete;

    // Reads every level up to maximumLevel (0-5). True also after a fallback to a lower
    // level, whose reason is then in errorText().
    virtual bool parseFile(const std::string& path, const std::string& ipePath, int maximumLevel);
    // Upsamples the Base planes and adds the residuals up to the parsed level. False when
    // memory ran out; the image is then gone and the read operations fail.
    virtual bool buildHigherLevels();
    virtual int width() const;
    virtual int height() const;
    virtual bool monochrome() const { return monochrome_; }
    virtual void setMonochrome(bool flag) { monochrome_ = monochrome_ || flag; }
    virtual int rotation() const { return rotation_; }
    virtual int64_t scanningTime() const;
    virtual bool isBlackAndWhiteMedium() const;
    virtual void setInterpolation(int mode) { interpolation_ = mode; }
    virtual void setColorMode(int mode) { colorMode_ = mode; }
    virtual int colorMode() const { return colorMode_; }
    virtual void setApplyMatrix(bool flag) { applyMatrix_ = flag; }
    virtual std::string errorText() const { return errorText_; }
    // The film term and its two codes when the header has scene-balance data; returns code3.
    virtual int filmTermInfo(int& filmTerm, int& code2, int& code3) const;
    virtual bool readFloatImage(float* r, float* g, float* b, float* a, int step);
    virtual bool read16BitImage(uint16_t* r, uint16_t* g, uint16_t* b, uint16_t* a, int step);
    virtual bool read8BitImage(uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a, int step);
    virtual void metadataByIndex(int index, std::string& name, std::string& value) const;
    // r, g, b (and a, when not null) point at samples of the OutputKind `kind`; pixel n's
    // samples are at n * step. False without writing anything when there is no image.
    virtual bool convertYCCToRGB(void* r, void* g, void* b, void* a, int step, int kind);
    virtual bool read64Base(const std::string& ipePath);

    int interpolation() const { return interpolation_; }
    int level() const { return level_; }
    int levelRead() const { return levelRead_; }
    int highestLevel() const { return highestLevel_; }
    int compressionClass() const { return compressionClass_; }

  private:
    void reset();
    void setError(const std::string& text);
    bool fail(const std::string& text);
    bool readHeader(photocd::PcdFile& file);
    void readPlainLevel(photocd::PcdFile& file, int level);
    bool readPlainLevels(photocd::PcdFile& file, int chosen);
    bool readResidualLevel(photocd::PcdFile& file, int level);
    void decodeResiduals(photocd::PcdFile& file, int level, uint64_t tableOffset, int tableCount,
                         uint64_t dataOffset);
    void buildLevel(int level);
    void upsample(const photocd::PcdPlane& src, photocd::PcdPlane& dst, bool addResidual) const;
    bool prepareChroma(photocd::PcdPlane& full1, photocd::PcdPlane& full2);
    template <typename T> void writePixels(T* r, T* g, T* b, T* a, int step, const photocd::PcdPlane* full);
    photocd::PcdPlane* residuals(int level) { return residual_[level - 3]; }

    int interpolation_ = 2;
    bool monochrome_ = false;
    int colorMode_ = 0;
    bool applyMatrix_ = false;
    int rotation_ = 0;
    int highestLevel_ = 2;
    int compressionClass_ = 0;
    int levelRead_ = -1;
    int level_ = -1;
    std::vector<uint8_t> header_;
    std::string errorText_;
    photocd::PcdPlane luma_, chroma1_, chroma2_;
    photocd::PcdPlane residual_[3][3]; // levels 3-5: luma, chroma 1, chroma 2
};
