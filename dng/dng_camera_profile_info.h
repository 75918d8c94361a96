#pragma once
// The tags of a DCP file as read, before they become a camera profile. Offsets are absolute
// stream positions of the tag data.
#include "dng/dng_matrix.h"
#include "dng/dng_rational.h"
#include "dng/dng_string.h"

#include <cstdint>

class dng_stream;

class dng_camera_profile_info {
  public:
    bool fBigEndian = false;
    uint32_t fColorPlanes = 0;
    uint32_t fCalibrationIlluminant1 = 0;
    uint32_t fCalibrationIlluminant2 = 0;
    dng_matrix fColorMatrix1;
    dng_matrix fColorMatrix2;
    dng_matrix fForwardMatrix1;
    dng_matrix fForwardMatrix2;
    dng_matrix fReductionMatrix1;
    dng_matrix fReductionMatrix2;
    dng_string fProfileCalibrationSignature;
    dng_string fProfileName;
    dng_string fProfileCopyright;
    uint32_t fEmbedPolicy = 0;
    uint32_t fProfileHues = 0;
    uint32_t fProfileSats = 0;
    uint32_t fProfileVals = 0;
    uint64_t fHueSatDeltas1Offset = 0;
    uint32_t fHueSatDeltas1Count = 0;
    uint64_t fHueSatDeltas2Offset = 0;
    uint32_t fHueSatDeltas2Count = 0;
    uint32_t fHueSatMapEncoding = 0;
    uint32_t fLookTableHues = 0;
    uint32_t fLookTableSats = 0;
    uint32_t fLookTableVals = 0;
    uint64_t fLookTableOffset = 0;
    uint32_t fLookTableCount = 0;
    uint32_t fLookTableEncoding = 0;
    dng_srational fBaselineExposureOffset{0, 100};
    uint32_t fDefaultBlackRender = 0;
    uint64_t fToneCurveOffset = 0;
    uint32_t fToneCurveCount = 0;
    dng_string fUniqueCameraModel;

    dng_camera_profile_info() = default;
    virtual ~dng_camera_profile_info() = default;

    // False for a wrong byte-order mark or magic, an empty directory or any failure while reading.
    bool ReadDCP(dng_stream& stream);
    // True when the tag is one of the profile's; the stream stands at the tag's value.
    bool ReadProfileTag(dng_stream& stream, uint32_t parentCode, uint32_t tagCode, uint32_t tagType,
                        uint32_t tagCount, uint64_t tagOffset);

  private:
    void ReadDirectory(dng_stream& stream, uint64_t start);
    void ReadColorMatrix(dng_stream& stream, uint32_t tagCode, uint32_t tagType, uint32_t tagCount,
                         bool second);
    void ReadMapDimensions(dng_stream& stream, uint32_t tagType, uint32_t tagCount, uint32_t& hues,
                           uint32_t& sats, uint32_t& vals);
    static bool MapDataCountMatches(uint32_t tagCount, uint32_t hues, uint32_t sats, uint32_t vals);
};
