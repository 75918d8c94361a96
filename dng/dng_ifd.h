#pragma once
// One TIFF image file directory as the writers fill it by hand: geometry, sample layout,
// compression, the strip or tile grid with its offsets, and the DNG raw-image fields. No
// directory is ever parsed from a file here.
#include "dng/dng_fingerprint.h"
#include "dng/dng_noise_profile.h"
#include "dng/dng_rational.h"
#include "dng/dng_rect.h"
#include "dng/dng_string.h"

#include <cstdint>

class dng_host;
class dng_image;
class dng_jpeg_image;
class dng_stream;

// What a stored preview says about itself.
class dng_preview_info {
  public:
    // A primary preview is written with subfile type 1, an alternate one with 65537.
    bool fIsPrimary = true;
    dng_string fApplicationName;
    dng_string fApplicationVersion;
    dng_string fSettingsName;
    dng_fingerprint fSettingsDigest;
    // -1 unknown; 1 gray gamma 2.2, 2 sRGB, ...
    int32_t fColorSpace = -1;
    dng_string fDateTime;
    double fRawToPreviewGain = 1.0;
    uint32_t fCacheVersion = 0;

    dng_preview_info() = default;
    dng_preview_info(const dng_preview_info&) = default;
    dng_preview_info& operator=(const dng_preview_info&) = default;
    ~dng_preview_info() = default;
};

class dng_ifd {
  public:
    static constexpr uint32_t kMaxHeldTiles = 32;
    static constexpr uint32_t kMaxSamples = 4;
    static constexpr uint32_t kMaxMaskedAreas = 4;
    static constexpr uint32_t kMaxBlackPattern = 8;
    static constexpr uint32_t kRowInterleaved = 100000;

    bool fUsesNewSubFileType = false;
    uint32_t fNewSubFileType = 0;
    uint32_t fImageWidth = 0;
    uint32_t fImageLength = 0;
    uint32_t fBitsPerSample[kMaxSamples] = {0, 0, 0, 0};
    uint32_t fCompression = 1;
    // The deflate level 1 to 9 the writer uses; any other value means zlib's default.
    int32_t fCompressionQuality = -1;
    uint32_t fPredictor = 1;
    uint32_t fPhotometricInterpretation = 0xFFFFFFFF;
    uint32_t fFillOrder = 1;
    uint32_t fOrientation = 0;
    uint32_t fOrientationType = 0;
    int64_t fOrientationOffset = -1;
    bool fOrientationBigEndian = false;
    uint32_t fSamplesPerPixel = 1;
    uint32_t fPlanarConfiguration = 1;
    double fXResolution = 0.0;
    double fYResolution = 0.0;
    uint32_t fResolutionUnit = 0;

    bool fUsesStrips = false;
    bool fUsesTiles = false;
    uint32_t fTileWidth = 0;
    uint32_t fTileLength = 0;
    uint32_t fTileOffsetsType = 0;
    uint32_t fTileOffsetsCount = 0;
    uint64_t fTileOffsetsOffset = 0;
    uint64_t fTileOffset[kMaxHeldTiles] = {};
    uint32_t fTileByteCountsType = 0;
    uint32_t fTileByteCountsCount = 0;
    uint64_t fTileByteCountsOffset = 0;
    uint32_t fTileByteCount[kMaxHeldTiles] = {};

    uint32_t fSubIFDsCount = 0;
    uint64_t fSubIFDsOffset = 0;
    uint32_t fExtraSamplesCount = 0;
    uint32_t fExtraSamples[kMaxSamples] = {};
    uint32_t fSampleFormat[kMaxSamples] = {1, 1, 1, 1};
    uint32_t fJPEGTablesCount = 0;
    uint64_t fJPEGTablesOffset = 0;
    uint64_t fJPEGInterchangeFormat = 0;
    uint32_t fJPEGInterchangeFormatLength = 0;
    double fYCbCrCoefficientR = 0.0;
    double fYCbCrCoefficientG = 0.0;
    double fYCbCrCoefficientB = 0.0;
    uint32_t fYCbCrSubSampleH = 0;
    uint32_t fYCbCrSubSampleV = 0;
    uint32_t fYCbCrPositioning = 0;
    double fReferenceBlackWhite[6] = {};

    uint32_t fCFARepeatPatternRows = 0;
    uint32_t fCFARepeatPatternCols = 0;
    uint8_t fCFAPattern[8][8];
    uint8_t fCFAPlaneColor[kMaxSamples] = {0, 1, 2, 255};
    uint32_t fCFALayout = 1;

    uint32_t fLinearizationTableType = 0;
    uint32_t fLinearizationTableCount = 0;
    uint64_t fLinearizationTableOffset = 0;
    uint32_t fBlackLevelRepeatRows = 1;
    uint32_t fBlackLevelRepeatCols = 1;
    double fBlackLevel[kMaxBlackPattern][kMaxBlackPattern][kMaxSamples] = {};
    uint32_t fBlackLevelDeltaHType = 0;
    uint32_t fBlackLevelDeltaHCount = 0;
    uint64_t fBlackLevelDeltaHOffset = 0;
    uint32_t fBlackLevelDeltaVType = 0;
    uint32_t fBlackLevelDeltaVCount = 0;
    uint64_t fBlackLevelDeltaVOffset = 0;
    double fWhiteLevel[kMaxSamples] = {-1.0, -1.0, -1.0, -1.0};

    dng_urational fDefaultScaleH{1, 1};
    dng_urational fDefaultScaleV{1, 1};
    dng_urational fBestQualityScale{1, 1};
    dng_urational fDefaultCropOriginH{0, 1};
    dng_urational fDefaultCropOriginV{0, 1};
    dng_urational fDefaultCropSizeH{0, 0};
    dng_urational fDefaultCropSizeV{0, 0};
    dng_urational fDefaultUserCropT{0, 1};
    dng_urational fDefaultUserCropL{0, 1};
    dng_urational fDefaultUserCropB{1, 1};
    dng_urational fDefaultUserCropR{1, 1};
    uint32_t fBayerGreenSplit = 0;
    dng_urational fChromaBlurRadius{0, 0};
    dng_urational fAntiAliasStrength{1, 1};
    dng_rect fActiveArea;
    uint32_t fMaskedAreaCount = 0;
    dng_rect fMaskedArea[kMaxMaskedAreas];
    uint32_t fRowInterleaveFactor = 1;
    uint32_t fSubTileBlockRows = 1;
    uint32_t fSubTileBlockCols = 1;

    dng_preview_info fPreviewInfo;

    uint32_t fOpcodeList1Count = 0;
    uint64_t fOpcodeList1Offset = 0;
    uint32_t fOpcodeList2Count = 0;
    uint64_t fOpcodeList2Offset = 0;
    uint32_t fOpcodeList3Count = 0;
    uint64_t fOpcodeList3Offset = 0;
    dng_noise_profile fNoiseProfile;
    // Right shift the reader applies to 16-bit samples.
    uint32_t fSampleBitShift = 0;

    dng_ifd();
    dng_ifd(const dng_ifd&) = default;
    dng_ifd& operator=(const dng_ifd&) = default;
    virtual ~dng_ifd() = default;

    // The caller owns the copy.
    virtual dng_ifd* Clone() const;
    // Uncompressed bytes of a tile or strip over `area`; 0 for compressed data.
    virtual uint32_t TileByteCount(const dng_rect& area) const;
    virtual uint32_t PixelType() const;
    virtual bool IsBaselineJPEG() const;
    virtual bool CanRead() const;
    virtual void ReadImage(dng_host& host, dng_stream& stream, dng_image& image,
                           dng_jpeg_image* jpegImage = nullptr, dng_fingerprint* jpegDigest = nullptr) const;

    uint32_t BytesPerPixel() const { return ((fBitsPerSample[0] + 7) / 8) * fSamplesPerPixel; }
    uint32_t TilesAcross() const;
    uint32_t TilesDown() const;
    uint32_t TilesPerImage() const;
    dng_rect TileArea(uint32_t rowIndex, uint32_t colIndex) const;

    void SetSingleStrip();
    // Balanced tiles of about bytesPerTile, each side a multiple of its cell.
    void FindTileSize(uint32_t bytesPerTile = 128 * 1024, uint32_t cellH = 16, uint32_t cellV = 16);
    void FindStripSize(uint32_t bytesPerStrip = 128 * 1024, uint32_t cellV = 1);
};
