#pragma once
// A DNG file's directories as read: the TIFF header, IFD 0 with its chain and sub-IFDs, the
// tags of the raw image and the camera-wide tags, and the negative they describe.
#include "dng/dng_camera_profile_info.h"
#include "dng/dng_matrix.h"
#include "dng/dng_rational.h"
#include "dng/dng_read_image.h"
#include "dng/dng_rect.h"
#include "dng/dng_string.h"

#include <cstdint>
#include <memory>
#include <vector>

class dng_host;
class dng_negative;
class dng_opcode_list;
class dng_stream;

// One image directory: the layout of its samples and the DNG raw-image tags.
struct dng_parsed_ifd {
    uint64_t fOffset = 0;
    uint32_t fNewSubFileType = 0;
    uint32_t fPhotometricInterpretation = 0xFFFFFFFF;
    dng_read_layout fLayout;

    uint32_t fCFARepeatPatternRows = 0;
    uint32_t fCFARepeatPatternCols = 0;
    uint8_t fCFAPattern[8][8] = {};
    uint8_t fCFAPlaneColor[4] = {0, 1, 2, 3};
    uint32_t fCFAPlaneColorCount = 3;
    uint32_t fCFALayout = 1;

    std::vector<uint16_t> fLinearizationTable;
    uint32_t fBlackLevelRepeatRows = 1;
    uint32_t fBlackLevelRepeatCols = 1;
    double fBlackLevel[8][8][4] = {};
    std::vector<double> fBlackLevelDeltaH;
    std::vector<double> fBlackLevelDeltaV;
    double fWhiteLevel[4] = {-1.0, -1.0, -1.0, -1.0};

    dng_urational fDefaultScaleH{1, 1};
    dng_urational fDefaultScaleV{1, 1};
    dng_urational fBestQualityScale{1, 1};
    dng_urational fDefaultCropOriginH{0, 1};
    dng_urational fDefaultCropOriginV{0, 1};
    dng_urational fDefaultCropSizeH{0, 0};
    dng_urational fDefaultCropSizeV{0, 0};
    uint32_t fBayerGreenSplit = 0;
    dng_rect fActiveArea;
    uint32_t fMaskedAreaCount = 0;
    dng_rect fMaskedArea[4];

    // Opcode lists 1 to 3 as positions in the file.
    uint64_t fOpcodeListOffset[3] = {};
    uint32_t fOpcodeListCount[3] = {};

    bool IsRaw() const { return fPhotometricInterpretation == 32803 || fPhotometricInterpretation == 34892; }
    bool IsCFA() const { return fPhotometricInterpretation == 32803; }
    uint32_t ColorPlanes() const { return IsCFA() ? fCFAPlaneColorCount : fLayout.fSamplesPerPixel; }
};

// What IFD 0 says of the camera and the shot.
struct dng_parsed_shared {
    uint8_t fDNGVersion[4] = {};
    dng_string fMake;
    dng_string fModel;
    dng_string fUniqueCameraModel;
    dng_string fLocalizedCameraModel;
    uint32_t fOrientation = 1;
    dng_vector fAnalogBalance;
    dng_vector fAsShotNeutral;
    double fAsShotWhiteX = 0.0;
    double fAsShotWhiteY = 0.0;
    dng_srational fBaselineExposure{0, 1};
    dng_urational fBaselineNoise{1, 1};
    dng_urational fBaselineSharpness{1, 1};
    dng_urational fLinearResponseLimit{1, 1};
    dng_urational fShadowScale{1, 1};
    dng_matrix fCameraCalibration1;
    dng_matrix fCameraCalibration2;
    uint32_t fColorimetricReference = 0;
    dng_camera_profile_info fProfile;
};

class dng_info {
  public:
    static constexpr uint32_t kMaxIFDs = 64;

    // Reads the header and every directory; a file that is not a TIFF-form DNG, or whose
    // directories do not hold together, fails with the bad-format code.
    void Parse(dng_host& host, dng_stream& stream);

    const std::vector<dng_parsed_ifd>& IFDs() const { return fIFD; }
    const dng_parsed_shared& Shared() const { return fShared; }
    // The raw image's directory: the largest raw directory of subfile type 0.
    int32_t MainIndex() const { return fMainIndex; }
    const dng_parsed_ifd& MainIFD() const;

    // A negative with the raw image's geometry, levels, mosaic, opcode lists and camera profile;
    // with readImage its stage-1 image too.
    std::unique_ptr<dng_negative> BuildNegative(dng_host& host, dng_stream& stream,
                                                bool readImage = true) const;
    // The main image's samples into a new image of their pixel type.
    std::unique_ptr<dng_image> ReadStage1Image(dng_host& host, dng_stream& stream) const;

  private:
    struct Entry {
        uint32_t tag, type, count;
        uint64_t dataOffset;
    };

    void ParseDirectory(dng_stream& stream, uint64_t offset, bool isIFD0, uint32_t depth);
    void ParseImageTag(dng_stream& stream, dng_parsed_ifd& ifd, const Entry& e);
    void ParseSharedTag(dng_stream& stream, const Entry& e);
    void ParseProfileTags(dng_stream& stream);

    std::vector<dng_parsed_ifd> fIFD;
    std::vector<Entry> fIFD0Entries;
    std::vector<uint64_t> fVisited;
    dng_parsed_shared fShared;
    int32_t fMainIndex = -1;
};

// Reads a stored opcode list (its big-endian stream form) into `list`.
void ParseOpcodeList(dng_host& host, dng_stream& stream, uint64_t offset, uint32_t count,
                     dng_opcode_list& list);
