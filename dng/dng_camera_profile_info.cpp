#include "dng/dng_camera_profile_info.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_safe_arithmetic.h"
#include "dng/dng_stream.h"
#include "dng/dng_tag_readers.h"
#include "dng/dng_tag_types.h"

#include <algorithm>

namespace {

constexpr uint16_t kByteOrderII = 0x4949;
constexpr uint16_t kByteOrderMM = 0x4D4D;
constexpr uint16_t kMagicDCP = 0x4352;
constexpr uint32_t kEntrySize = 12;

enum : uint32_t {
    tcUniqueCameraModel = 50708,
    tcColorMatrix1 = 50721,
    tcColorMatrix2 = 50722,
    tcReductionMatrix1 = 50725,
    tcReductionMatrix2 = 50726,
    tcCalibrationIlluminant1 = 50778,
    tcCalibrationIlluminant2 = 50779,
    tcProfileCalibrationSignature = 50932,
    tcProfileName = 50936,
    tcProfileHueSatMapDims = 50937,
    tcProfileHueSatMapData1 = 50938,
    tcProfileHueSatMapData2 = 50939,
    tcProfileToneCurve = 50940,
    tcProfileEmbedPolicy = 50941,
    tcProfileCopyright = 50942,
    tcForwardMatrix1 = 50964,
    tcForwardMatrix2 = 50965,
    tcProfileLookTableDims = 50981,
    tcProfileLookTableData = 50982,
    tcProfileHueSatMapEncoding = 51107,
    tcProfileLookTableEncoding = 51108,
    tcBaselineExposureOffset = 51109,
    tcDefaultBlackRender = 51110,
};

constexpr uint32_t kMaxChannels = 4;

} // namespace

bool dng_camera_profile_info::ReadDCP(dng_stream& stream) {
    const bool oldSwap = stream.SwapBytes();
    bool ok = false;
    try {
        ReadDirectory(stream, stream.Position());
        ok = true;
    } catch (...) {
        ok = false;
    }
    stream.SetSwapBytes(oldSwap);
    return ok;
}

void dng_camera_profile_info::ReadDirectory(dng_stream& stream, uint64_t start) {
    stream.SetSwapBytes(false);
    const uint16_t order = stream.Get_uint16();
    if (order != kByteOrderII && order != kByteOrderMM) ThrowBadFormat();
    fBigEndian = order == kByteOrderMM;
    stream.SetBigEndian(fBigEndian);
    if (stream.Get_uint16() != kMagicDCP) ThrowBadFormat();

    const uint64_t directory = start + stream.Get_uint32();
    stream.SetReadPosition(directory);
    const uint32_t entries = stream.Get_uint16();
    if (entries == 0) ThrowBadFormat();
    for (uint32_t i = 0; i < entries; ++i) {
        stream.SetReadPosition(directory + 2 + uint64_t(kEntrySize) * i);
        const uint32_t tag = stream.Get_uint16();
        const uint32_t type = stream.Get_uint16();
        const uint32_t count = stream.Get_uint32();
        if (uint64_t(count) * TagTypeSize(type) > 4) stream.SetReadPosition(start + stream.Get_uint32());
        ReadProfileTag(stream, 0, tag, type, count, stream.Position());
    }
}

void dng_camera_profile_info::ReadColorMatrix(dng_stream& stream, uint32_t tagCode, uint32_t tagType,
                                              uint32_t tagCount, bool second) {
    const bool channelsKnown = fColorPlanes != 0;
    const uint32_t channels = channelsKnown ? fColorPlanes : std::min(tagCount / 3, kMaxChannels);
    if (channels < 2) return;
    fColorPlanes = channels;
    // A lone second matrix stands in for the first.
    dng_matrix& target = second && channelsKnown ? fColorMatrix2 : fColorMatrix1;
    ReadMatrixTag(stream, 0, tagCode, tagType, tagCount, channels, 3, target);
}

void dng_camera_profile_info::ReadMapDimensions(dng_stream& stream, uint32_t tagType, uint32_t tagCount,
                                                uint32_t& hues, uint32_t& sats, uint32_t& vals) {
    hues = stream.TagValue_uint32(tagType);
    sats = stream.TagValue_uint32(tagType);
    vals = tagCount < 3 ? 1 : stream.TagValue_uint32(tagType);
}

bool dng_camera_profile_info::MapDataCountMatches(uint32_t tagCount, uint32_t hues, uint32_t sats,
                                                  uint32_t vals) {
    if (sats == 0) return false;
    const uint32_t withoutZero = SafeUint32Mult(SafeUint32Mult3(hues, sats - 1, vals), 3);
    const uint32_t full = SafeUint32Mult(SafeUint32Mult3(hues, sats, vals), 3);
    return tagCount == withoutZero || tagCount == full;
}

bool dng_camera_profile_info::ReadProfileTag(dng_stream& stream, uint32_t parentCode, uint32_t tagCode,
                                             uint32_t tagType, uint32_t tagCount, uint64_t tagOffset) {
    switch (tagCode) {
    case tcUniqueCameraModel:
        ReadStringTag(stream, parentCode, tagCode, tagCount, fUniqueCameraModel, true);
        break;
    case tcColorMatrix1:
    case tcColorMatrix2:
        ReadColorMatrix(stream, tagCode, tagType, tagCount, tagCode == tcColorMatrix2);
        break;
    case tcReductionMatrix1:
    case tcReductionMatrix2:
    case tcForwardMatrix1:
    case tcForwardMatrix2: {
        if (fColorPlanes < 2) break;
        dng_matrix& target = tagCode == tcReductionMatrix1   ? fReductionMatrix1
                             : tagCode == tcReductionMatrix2 ? fReductionMatrix2
                             : tagCode == tcForwardMatrix1   ? fForwardMatrix1
                                                             : fForwardMatrix2;
        ReadMatrixTag(stream, parentCode, tagCode, tagType, tagCount, 3, fColorPlanes, target);
        break;
    }
    case tcCalibrationIlluminant1:
        fCalibrationIlluminant1 = stream.TagValue_uint32(tagType);
        break;
    case tcCalibrationIlluminant2:
        fCalibrationIlluminant2 = stream.TagValue_uint32(tagType);
        break;
    case tcProfileCalibrationSignature:
        ReadStringTag(stream, parentCode, tagCode, tagCount, fProfileCalibrationSignature, false);
        break;
    case tcProfileName:
        ReadStringTag(stream, parentCode, tagCode, tagCount, fProfileName, false);
        break;
    case tcProfileCopyright:
        ReadStringTag(stream, parentCode, tagCode, tagCount, fProfileCopyright, false);
        break;
    case tcProfileHueSatMapDims:
        ReadMapDimensions(stream, tagType, tagCount, fProfileHues, fProfileSats, fProfileVals);
        break;
    case tcProfileHueSatMapData1:
    case tcProfileHueSatMapData2: {
        if (!TagTypeIs(parentCode, tagCode, tagType, ttFloat)) break;
        if (!MapDataCountMatches(tagCount, fProfileHues, fProfileSats, fProfileVals)) break;
        const bool first = tagCode == tcProfileHueSatMapData1;
        (first ? fHueSatDeltas1Offset : fHueSatDeltas2Offset) = tagOffset;
        (first ? fHueSatDeltas1Count : fHueSatDeltas2Count) = tagCount;
        break;
    }
    case tcProfileToneCurve:
        if (!TagTypeIs(parentCode, tagCode, tagType, ttFloat)) break;
        if (tagCount < 4 || tagCount % 2 != 0) break;
        fToneCurveOffset = tagOffset;
        fToneCurveCount = tagCount;
        break;
    case tcProfileEmbedPolicy:
        fEmbedPolicy = stream.TagValue_uint32(tagType);
        break;
    case tcProfileLookTableDims:
        ReadMapDimensions(stream, tagType, tagCount, fLookTableHues, fLookTableSats, fLookTableVals);
        break;
    case tcProfileLookTableData:
        if (!TagTypeIs(parentCode, tagCode, tagType, ttFloat)) break;
        if (!MapDataCountMatches(tagCount, fLookTableHues, fLookTableSats, fLookTableVals)) break;
        fLookTableOffset = tagOffset;
        fLookTableCount = tagCount;
        break;
    case tcProfileHueSatMapEncoding:
        fHueSatMapEncoding = stream.TagValue_uint32(tagType);
        break;
    case tcProfileLookTableEncoding:
        fLookTableEncoding = stream.TagValue_uint32(tagType);
        break;
    case tcBaselineExposureOffset:
        fBaselineExposureOffset = stream.TagValue_srational(tagType);
        break;
    case tcDefaultBlackRender:
        fDefaultBlackRender = stream.TagValue_uint32(tagType);
        break;
    default:
        return false;
    }
    return true;
}
