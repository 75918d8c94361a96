#include "dng/dng_info.h"

#include "dng/dng_camera_profile.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_linearization_info.h"
#include "dng/dng_memory.h"
#include "dng/dng_mosaic_info.h"
#include "dng/dng_negative.h"
#include "dng/dng_orientation.h"
#include "dng/dng_stream.h"
#include "dng/dng_tag_readers.h"
#include "dng/dng_tag_types.h"

#include <algorithm>
#include <cstring>

namespace {

enum : uint32_t {
    tcNewSubFileType = 254,
    tcImageWidth = 256,
    tcImageLength = 257,
    tcBitsPerSample = 258,
    tcCompression = 259,
    tcPhotometricInterpretation = 262,
    tcMake = 271,
    tcModel = 272,
    tcStripOffsets = 273,
    tcOrientation = 274,
    tcSamplesPerPixel = 277,
    tcRowsPerStrip = 278,
    tcStripByteCounts = 279,
    tcPlanarConfiguration = 284,
    tcPredictor = 317,
    tcTileWidth = 322,
    tcTileLength = 323,
    tcTileOffsets = 324,
    tcTileByteCounts = 325,
    tcSubIFDs = 330,
    tcSampleFormat = 339,
    tcJPEGTables = 347,
    tcCFARepeatPatternDim = 33421,
    tcCFAPattern = 33422,
    tcDNGVersion = 50706,
    tcUniqueCameraModel = 50708,
    tcLocalizedCameraModel = 50709,
    tcCFAPlaneColor = 50710,
    tcCFALayout = 50711,
    tcLinearizationTable = 50712,
    tcBlackLevelRepeatDim = 50713,
    tcBlackLevel = 50714,
    tcBlackLevelDeltaH = 50715,
    tcBlackLevelDeltaV = 50716,
    tcWhiteLevel = 50717,
    tcDefaultScale = 50718,
    tcDefaultCropOrigin = 50719,
    tcDefaultCropSize = 50720,
    tcCameraCalibration1 = 50723,
    tcCameraCalibration2 = 50724,
    tcAnalogBalance = 50727,
    tcAsShotNeutral = 50728,
    tcAsShotWhiteXY = 50729,
    tcBaselineExposure = 50730,
    tcBaselineNoise = 50731,
    tcBaselineSharpness = 50732,
    tcBayerGreenSplit = 50733,
    tcLinearResponseLimit = 50734,
    tcShadowScale = 50739,
    tcBestQualityScale = 50780,
    tcActiveArea = 50829,
    tcMaskedAreas = 50830,
    tcColorimetricReference = 50879,
    tcSubTileBlockSize = 50974,
    tcRowInterleaveFactor = 50975,
    tcOpcodeList1 = 51008,
    tcOpcodeList2 = 51009,
    tcOpcodeList3 = 51022,
};

constexpr uint32_t kMaxDepth = 4;
constexpr uint32_t kMaxTableEntries = 65536;
constexpr uint32_t kMaxSubIFDs = 16;

uint32_t GetValue32(dng_stream& s, uint32_t type) { return s.TagValue_uint32(type); }

// The tag's values as doubles, at most `limit` of them.
std::vector<double> Doubles(dng_stream& s, uint32_t type, uint32_t count, uint32_t limit) {
    const uint32_t n = std::min(count, limit);
    std::vector<double> v(n);
    for (double& x : v)
        x = s.TagValue_real64(type);
    return v;
}

dng_urational URational(dng_stream& s, uint32_t type) { return s.TagValue_urational(type); }

bool IsIntegerType(uint32_t type) {
    return type == ttByte || type == ttShort || type == ttLong || type == ttIFD || type == ttSShort ||
           type == ttSLong || type == ttUndefined || type == 16 || type == 17 || type == 18;
}

void ReadOffsets(dng_stream& s, uint32_t type, uint32_t count, std::vector<uint64_t>& out) {
    if (!IsIntegerType(type)) ThrowBadFormat("Offsets of a non-integer type");
    out.resize(count);
    for (uint64_t& v : out)
        v = type == 16 ? (uint64_t(s.Get_uint32()) << 32 | s.Get_uint32()) : GetValue32(s, type);
}

} // namespace

void dng_info::Parse(dng_host& host, dng_stream& stream) {
    host.SniffForAbort();
    stream.SetReadPosition(0);
    stream.SetLittleEndian();
    const uint16_t order = stream.Get_uint16();
    if (order == 0x4D4D)
        stream.SetBigEndian();
    else if (order != 0x4949)
        ThrowBadFormat("Not a TIFF file");
    if (stream.Get_uint16() != 42) ThrowBadFormat("Not a TIFF file");
    uint64_t next = stream.Get_uint32();
    bool first = true;
    while (next != 0) {
        ParseDirectory(stream, next, first, 0);
        const dng_parsed_ifd& last = fIFD.back();
        stream.SetReadPosition(last.fOffset);
        const uint32_t entries = stream.Get_uint16();
        stream.SetReadPosition(last.fOffset + 2 + uint64_t(entries) * 12);
        next = stream.Get_uint32();
        first = false;
    }
    if (fShared.fDNGVersion[0] == 0) ThrowBadFormat("No DNGVersion in IFD 0");

    uint64_t best = 0;
    for (size_t i = 0; i < fIFD.size(); ++i) {
        const dng_parsed_ifd& ifd = fIFD[i];
        if (ifd.fNewSubFileType != 0 || !ifd.IsRaw()) continue;
        const uint64_t area = uint64_t(ifd.fLayout.fImageWidth) * ifd.fLayout.fImageLength;
        if (area > best) {
            best = area;
            fMainIndex = int32_t(i);
        }
    }
    if (fMainIndex < 0) ThrowBadFormat("No raw image directory");
    ParseProfileTags(stream);
}

const dng_parsed_ifd& dng_info::MainIFD() const {
    if (fMainIndex < 0) ThrowProgramError("No main image");
    return fIFD[size_t(fMainIndex)];
}

void dng_info::ParseDirectory(dng_stream& stream, uint64_t offset, bool isIFD0, uint32_t depth) {
    const uint64_t length = stream.Length();
    if (depth > kMaxDepth || fIFD.size() >= kMaxIFDs) ThrowBadFormat("Too many directories");
    if (std::find(fVisited.begin(), fVisited.end(), offset) != fVisited.end())
        ThrowBadFormat("Directories form a loop");
    if (offset + 2 > length) ThrowBadFormat("Directory beyond the end of the file");
    fVisited.push_back(offset);
    stream.SetReadPosition(offset);
    const uint32_t entries = stream.Get_uint16();
    if (offset + 2 + uint64_t(entries) * 12 + 4 > length)
        ThrowBadFormat("Directory beyond the end of the file");

    fIFD.emplace_back();
    const size_t index = fIFD.size() - 1;
    fIFD[index].fOffset = offset;
    std::vector<uint64_t> subIFDs;
    std::vector<uint64_t> stripOffsets, stripCounts, tileOffsets, tileCounts;
    uint32_t rowsPerStrip = 0xFFFFFFFF;

    for (uint32_t i = 0; i < entries; ++i) {
        const uint64_t at = offset + 2 + uint64_t(i) * 12;
        stream.SetReadPosition(at);
        Entry e;
        e.tag = stream.Get_uint16();
        e.type = stream.Get_uint16();
        e.count = stream.Get_uint32();
        const uint32_t size = TagTypeSize(e.type);
        if (size == 0) continue;
        const uint64_t bytes = uint64_t(e.count) * size;
        e.dataOffset = bytes <= 4 ? at + 8 : stream.Get_uint32();
        if (e.dataOffset > length || bytes > length - e.dataOffset)
            ThrowBadFormat("Tag data beyond the end of the file");
        if (e.count == 0) continue;
        stream.SetReadPosition(e.dataOffset);
        dng_parsed_ifd& ifd = fIFD[index];
        switch (e.tag) {
        case tcSubIFDs:
            ReadOffsets(stream, e.type, std::min(e.count, kMaxSubIFDs), subIFDs);
            break;
        case tcStripOffsets:
            ReadOffsets(stream, e.type, e.count, stripOffsets);
            break;
        case tcStripByteCounts:
            ReadOffsets(stream, e.type, e.count, stripCounts);
            break;
        case tcTileOffsets:
            ReadOffsets(stream, e.type, e.count, tileOffsets);
            break;
        case tcTileByteCounts:
            ReadOffsets(stream, e.type, e.count, tileCounts);
            break;
        case tcRowsPerStrip:
            rowsPerStrip = GetValue32(stream, e.type);
            break;
        default:
            ParseImageTag(stream, ifd, e);
            if (isIFD0) {
                stream.SetReadPosition(e.dataOffset);
                ParseSharedTag(stream, e);
                fIFD0Entries.push_back(e);
            }
            break;
        }
    }

    dng_parsed_ifd& ifd = fIFD[index];
    dng_read_layout& layout = ifd.fLayout;
    if (!tileOffsets.empty()) {
        layout.fUsesTiles = true;
        layout.fTileOffset = std::move(tileOffsets);
        layout.fTileByteCount = std::move(tileCounts);
    } else if (!stripOffsets.empty()) {
        layout.fUsesStrips = true;
        layout.fTileWidth = layout.fImageWidth;
        layout.fTileLength =
            std::min(rowsPerStrip == 0 ? layout.fImageLength : rowsPerStrip, layout.fImageLength);
        layout.fTileOffset = std::move(stripOffsets);
        layout.fTileByteCount = std::move(stripCounts);
    }

    for (uint64_t sub : subIFDs)
        ParseDirectory(stream, sub, false, depth + 1);
}

void dng_info::ParseImageTag(dng_stream& s, dng_parsed_ifd& ifd, const Entry& e) {
    dng_read_layout& L = ifd.fLayout;
    switch (e.tag) {
    case tcNewSubFileType:
        ifd.fNewSubFileType = GetValue32(s, e.type);
        break;
    case tcImageWidth:
        L.fImageWidth = GetValue32(s, e.type);
        break;
    case tcImageLength:
        L.fImageLength = GetValue32(s, e.type);
        break;
    case tcBitsPerSample:
        for (uint32_t j = 0; j < std::min(e.count, 4u); ++j)
            L.fBitsPerSample[j] = GetValue32(s, e.type);
        for (uint32_t j = e.count; j < 4; ++j)
            L.fBitsPerSample[j] = L.fBitsPerSample[0];
        break;
    case tcSampleFormat:
        for (uint32_t j = 0; j < std::min(e.count, 4u); ++j)
            L.fSampleFormat[j] = GetValue32(s, e.type);
        for (uint32_t j = e.count; j < 4; ++j)
            L.fSampleFormat[j] = L.fSampleFormat[0];
        break;
    case tcCompression:
        L.fCompression = GetValue32(s, e.type);
        break;
    case tcPhotometricInterpretation:
        ifd.fPhotometricInterpretation = GetValue32(s, e.type);
        break;
    case tcSamplesPerPixel:
        L.fSamplesPerPixel = GetValue32(s, e.type);
        break;
    case tcPlanarConfiguration:
        L.fPlanarConfiguration = GetValue32(s, e.type);
        break;
    case tcPredictor:
        L.fPredictor = GetValue32(s, e.type);
        break;
    case tcTileWidth:
        L.fTileWidth = GetValue32(s, e.type);
        break;
    case tcTileLength:
        L.fTileLength = GetValue32(s, e.type);
        break;
    case tcJPEGTables:
        if (e.count <= kMaxTableEntries * 4) {
            L.fJPEGTables.resize(e.count);
            s.Get(L.fJPEGTables.data(), e.count);
        }
        break;
    case tcRowInterleaveFactor:
        L.fRowInterleaveFactor = std::max(1u, GetValue32(s, e.type));
        break;
    case tcSubTileBlockSize:
        if (e.count >= 2) {
            L.fSubTileBlockRows = std::max(1u, GetValue32(s, e.type));
            L.fSubTileBlockCols = std::max(1u, GetValue32(s, e.type));
        }
        break;
    case tcCFARepeatPatternDim:
        if (e.count >= 2) {
            ifd.fCFARepeatPatternRows = GetValue32(s, e.type);
            ifd.fCFARepeatPatternCols = GetValue32(s, e.type);
        }
        break;
    case tcCFAPattern: {
        const uint32_t rows = ifd.fCFARepeatPatternRows, cols = ifd.fCFARepeatPatternCols;
        if (rows == 0 || cols == 0 || rows > 8 || cols > 8 || e.count != rows * cols)
            ThrowBadFormat("CFAPattern does not match its dimensions");
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < cols; ++c)
                ifd.fCFAPattern[r][c] = uint8_t(GetValue32(s, e.type));
        break;
    }
    case tcCFAPlaneColor:
        if (e.count < 3 || e.count > 4) ThrowBadFormat("CFAPlaneColor of a bad size");
        ifd.fCFAPlaneColorCount = e.count;
        for (uint32_t j = 0; j < e.count; ++j)
            ifd.fCFAPlaneColor[j] = uint8_t(GetValue32(s, e.type));
        break;
    case tcCFALayout:
        ifd.fCFALayout = GetValue32(s, e.type);
        break;
    case tcLinearizationTable:
        if (e.count > kMaxTableEntries) ThrowBadFormat("LinearizationTable too long");
        ifd.fLinearizationTable.resize(e.count);
        for (uint16_t& v : ifd.fLinearizationTable)
            v = uint16_t(GetValue32(s, e.type));
        break;
    case tcBlackLevelRepeatDim:
        if (e.count >= 2) {
            const uint32_t rows = GetValue32(s, e.type), cols = GetValue32(s, e.type);
            if (rows < 1 || rows > 8 || cols < 1 || cols > 8)
                ThrowBadFormat("BlackLevelRepeatDim out of range");
            ifd.fBlackLevelRepeatRows = rows;
            ifd.fBlackLevelRepeatCols = cols;
        }
        break;
    case tcBlackLevel: {
        const uint32_t rows = ifd.fBlackLevelRepeatRows, cols = ifd.fBlackLevelRepeatCols;
        const uint32_t planes = std::clamp(L.fSamplesPerPixel, 1u, 4u);
        const uint32_t needed = rows * cols * planes;
        std::vector<double> v = Doubles(s, e.type, e.count, needed);
        if (v.empty()) break;
        // A single value stands for every cell and plane.
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < cols; ++c)
                for (uint32_t p = 0; p < planes; ++p) {
                    const size_t k = (size_t(r) * cols + c) * planes + p;
                    ifd.fBlackLevel[r][c][p] = k < v.size() ? v[k] : v[0];
                }
        break;
    }
    case tcBlackLevelDeltaH:
        ifd.fBlackLevelDeltaH = Doubles(s, e.type, e.count, 1u << 20);
        break;
    case tcBlackLevelDeltaV:
        ifd.fBlackLevelDeltaV = Doubles(s, e.type, e.count, 1u << 20);
        break;
    case tcWhiteLevel: {
        std::vector<double> v = Doubles(s, e.type, e.count, 4);
        for (uint32_t p = 0; p < 4; ++p)
            ifd.fWhiteLevel[p] = p < v.size() ? v[p] : v[0];
        break;
    }
    case tcDefaultScale:
        if (e.count >= 2) {
            ifd.fDefaultScaleH = URational(s, e.type);
            ifd.fDefaultScaleV = URational(s, e.type);
        }
        break;
    case tcBestQualityScale:
        ifd.fBestQualityScale = URational(s, e.type);
        break;
    case tcDefaultCropOrigin:
        if (e.count >= 2) {
            ifd.fDefaultCropOriginH = URational(s, e.type);
            ifd.fDefaultCropOriginV = URational(s, e.type);
        }
        break;
    case tcDefaultCropSize:
        if (e.count >= 2) {
            ifd.fDefaultCropSizeH = URational(s, e.type);
            ifd.fDefaultCropSizeV = URational(s, e.type);
        }
        break;
    case tcBayerGreenSplit:
        ifd.fBayerGreenSplit = GetValue32(s, e.type);
        break;
    case tcActiveArea:
        if (e.count == 4) {
            const uint32_t t = GetValue32(s, e.type), l = GetValue32(s, e.type);
            const uint32_t b = GetValue32(s, e.type), r = GetValue32(s, e.type);
            if (t > b || l > r || b > INT32_MAX || r > INT32_MAX) ThrowBadFormat("Bad ActiveArea");
            ifd.fActiveArea = dng_rect(int32_t(t), int32_t(l), int32_t(b), int32_t(r));
        }
        break;
    case tcMaskedAreas:
        if (e.count % 4 == 0 && e.count / 4 <= 4) {
            ifd.fMaskedAreaCount = e.count / 4;
            for (uint32_t k = 0; k < ifd.fMaskedAreaCount; ++k) {
                const uint32_t t = GetValue32(s, e.type), l = GetValue32(s, e.type);
                const uint32_t b = GetValue32(s, e.type), r = GetValue32(s, e.type);
                if (b > INT32_MAX || r > INT32_MAX) ThrowBadFormat("Bad MaskedAreas");
                ifd.fMaskedArea[k] = dng_rect(int32_t(t), int32_t(l), int32_t(b), int32_t(r));
            }
        }
        break;
    case tcOpcodeList1:
    case tcOpcodeList2:
    case tcOpcodeList3: {
        const int k = e.tag == tcOpcodeList1 ? 0 : e.tag == tcOpcodeList2 ? 1 : 2;
        ifd.fOpcodeListOffset[k] = e.dataOffset;
        ifd.fOpcodeListCount[k] = e.count * TagTypeSize(e.type);
        break;
    }
    default:
        break;
    }
}

void dng_info::ParseSharedTag(dng_stream& s, const Entry& e) {
    dng_parsed_shared& sh = fShared;
    switch (e.tag) {
    case tcDNGVersion:
        if (e.count == 4)
            for (uint8_t& b : sh.fDNGVersion)
                b = s.Get_uint8();
        break;
    case tcMake:
        ReadStringTag(s, 0, e.tag, e.count, sh.fMake);
        break;
    case tcModel:
        ReadStringTag(s, 0, e.tag, e.count, sh.fModel);
        break;
    case tcUniqueCameraModel:
        ReadStringTag(s, 0, e.tag, e.count, sh.fUniqueCameraModel);
        break;
    case tcLocalizedCameraModel:
        if (e.type == ttAscii || e.type == ttByte)
            ReadStringTag(s, 0, e.tag, e.count, sh.fLocalizedCameraModel);
        break;
    case tcOrientation:
        sh.fOrientation = GetValue32(s, e.type);
        break;
    case tcAsShotWhiteXY:
        if (e.count == 2) {
            sh.fAsShotWhiteX = s.TagValue_real64(e.type);
            sh.fAsShotWhiteY = s.TagValue_real64(e.type);
        }
        break;
    case tcBaselineExposure:
        sh.fBaselineExposure = s.TagValue_srational(e.type);
        break;
    case tcBaselineNoise:
        sh.fBaselineNoise = URational(s, e.type);
        break;
    case tcBaselineSharpness:
        sh.fBaselineSharpness = URational(s, e.type);
        break;
    case tcLinearResponseLimit:
        sh.fLinearResponseLimit = URational(s, e.type);
        break;
    case tcShadowScale:
        sh.fShadowScale = URational(s, e.type);
        break;
    case tcColorimetricReference:
        sh.fColorimetricReference = GetValue32(s, e.type);
        break;
    default:
        break;
    }
}

// Colour tags need the raw image's channel count, known only once every directory is read.
void dng_info::ParseProfileTags(dng_stream& stream) {
    const uint32_t channels = MainIFD().ColorPlanes();
    if (channels < 1 || channels > 4) ThrowBadFormat("Bad colour channel count");
    dng_parsed_shared& sh = fShared;
    sh.fProfile.fColorPlanes = channels;
    for (const Entry& e : fIFD0Entries) {
        stream.SetReadPosition(e.dataOffset);
        switch (e.tag) {
        case tcAnalogBalance:
            ReadVectorTag(stream, 0, e.tag, e.type, e.count, channels, sh.fAnalogBalance);
            break;
        case tcAsShotNeutral:
            ReadVectorTag(stream, 0, e.tag, e.type, e.count, channels, sh.fAsShotNeutral);
            break;
        case tcCameraCalibration1:
        case tcCameraCalibration2:
            ReadMatrixTag(stream, 0, e.tag, e.type, e.count, channels, channels,
                          e.tag == tcCameraCalibration1 ? sh.fCameraCalibration1 : sh.fCameraCalibration2);
            break;
        default:
            if (channels >= 2) sh.fProfile.ReadProfileTag(stream, 0, e.tag, e.type, e.count, e.dataOffset);
            break;
        }
    }
    sh.fProfile.fBigEndian = stream.BigEndian();
}

std::unique_ptr<dng_image> dng_info::ReadStage1Image(dng_host& host, dng_stream& stream) const {
    const dng_parsed_ifd& ifd = MainIFD();
    dng_read_image reader;
    if (!reader.CanRead(ifd.fLayout)) ThrowBadFormat("The raw image's data cannot be read");
    if (ifd.fLayout.fImageWidth > dng_image::kMaxDimension ||
        ifd.fLayout.fImageLength > dng_image::kMaxDimension)
        ThrowBadFormat("dng_read_image::Read image too large");
    reader.CheckPlausibleSize(ifd.fLayout, stream.Length());
    const dng_rect bounds(ifd.fLayout.fImageLength, ifd.fLayout.fImageWidth);
    std::unique_ptr<dng_image> image(
        host.CreateImage(bounds, ifd.fLayout.fSamplesPerPixel, ifd.fLayout.PixelType()));
    reader.Read(host, ifd.fLayout, stream, *image);
    return image;
}

std::unique_ptr<dng_negative> dng_info::BuildNegative(dng_host& host, dng_stream& stream,
                                                      bool readImage) const {
    const dng_parsed_ifd& ifd = MainIFD();
    const dng_parsed_shared& sh = fShared;
    const dng_read_layout& L = ifd.fLayout;
    std::unique_ptr<dng_negative> negative(host.MakeNegative());
    dng_negative& n = *negative;
    const uint32_t channels = ifd.ColorPlanes();

    n.SetModelName(sh.fUniqueCameraModel.Get());
    n.SetLocalName(sh.fLocalizedCameraModel.Get());
    n.SetColorChannels(channels);
    dng_orientation orientation;
    orientation.SetFromTIFF(sh.fOrientation);
    n.SetBaseOrientation(orientation);
    n.SetBaselineExposure(sh.fBaselineExposure);
    n.SetBaselineNoise(sh.fBaselineNoise);
    n.SetBaselineSharpness(sh.fBaselineSharpness);
    n.SetLinearResponseLimit(sh.fLinearResponseLimit);
    n.SetShadowScale(sh.fShadowScale);
    n.SetColorimetricReference(sh.fColorimetricReference);
    if (sh.fAnalogBalance.NotEmpty()) n.SetAnalogBalance(sh.fAnalogBalance);
    if (sh.fAsShotNeutral.NotEmpty())
        n.SetCameraNeutral(sh.fAsShotNeutral);
    else if (sh.fAsShotWhiteX > 0.0 && sh.fAsShotWhiteY > 0.0)
        n.SetCameraWhiteXY(sh.fAsShotWhiteX, sh.fAsShotWhiteY);
    if (sh.fCameraCalibration1.NotEmpty()) n.SetCameraCalibration1(sh.fCameraCalibration1);
    if (sh.fCameraCalibration2.NotEmpty()) n.SetCameraCalibration2(sh.fCameraCalibration2);

    // Geometry: the active area, and the default crop inside it (the whole area when absent).
    dng_rect active = ifd.fActiveArea;
    const dng_rect bounds(L.fImageLength, L.fImageWidth);
    if (active.IsEmpty()) active = bounds;
    if ((active & bounds) != active) ThrowBadFormat("ActiveArea outside the image");
    n.SetDefaultScale(ifd.fDefaultScaleH, ifd.fDefaultScaleV);
    n.SetBestQualityScale(ifd.fBestQualityScale);
    n.SetDefaultCropOrigin(ifd.fDefaultCropOriginH, ifd.fDefaultCropOriginV);
    if (ifd.fDefaultCropSizeH.d && ifd.fDefaultCropSizeV.d)
        n.SetDefaultCropSize(ifd.fDefaultCropSizeH, ifd.fDefaultCropSizeV);
    else
        n.SetDefaultCropSize(active.W(), active.H());

    // Levels.
    n.SetActiveArea(active);
    dng_linearization_info& lin = *n.GetLinearizationInfo();
    lin.fMaskedAreaCount = ifd.fMaskedAreaCount;
    std::copy(std::begin(ifd.fMaskedArea), std::end(ifd.fMaskedArea), std::begin(lin.fMaskedArea));
    lin.fBlackLevelRepeatRows = ifd.fBlackLevelRepeatRows;
    lin.fBlackLevelRepeatCols = ifd.fBlackLevelRepeatCols;
    std::memcpy(lin.fBlackLevel, ifd.fBlackLevel, sizeof(lin.fBlackLevel));
    const double defaultWhite =
        L.fSampleFormat[0] == 3 ? 1.0 : double((uint64_t(1) << std::min(L.fBitsPerSample[0], 32u)) - 1);
    for (uint32_t p = 0; p < 4; ++p)
        lin.fWhiteLevel[p] = ifd.fWhiteLevel[p] > 0 ? ifd.fWhiteLevel[p] : defaultWhite;
    auto block = [&](const void* data, uint64_t bytes) {
        if (bytes > UINT32_MAX) ThrowBadFormat();
        std::unique_ptr<dng_memory_block> b(host.Allocate(uint32_t(bytes)));
        std::memcpy(b->Buffer(), data, size_t(bytes));
        return b;
    };
    if (!ifd.fLinearizationTable.empty())
        lin.fLinearizationTable = block(ifd.fLinearizationTable.data(), ifd.fLinearizationTable.size() * 2);
    // Deltas shorter than the active area would be read past their end.
    if (!ifd.fBlackLevelDeltaH.empty()) {
        if (ifd.fBlackLevelDeltaH.size() < active.W())
            ThrowBadFormat("BlackLevelDeltaH shorter than the active area");
        lin.fBlackDeltaH = block(ifd.fBlackLevelDeltaH.data(), ifd.fBlackLevelDeltaH.size() * 8);
    }
    if (!ifd.fBlackLevelDeltaV.empty()) {
        if (ifd.fBlackLevelDeltaV.size() < active.H())
            ThrowBadFormat("BlackLevelDeltaV shorter than the active area");
        lin.fBlackDeltaV = block(ifd.fBlackLevelDeltaV.data(), ifd.fBlackLevelDeltaV.size() * 8);
    }
    lin.RoundBlacks();

    // Mosaic.
    if (ifd.IsCFA()) {
        if (L.fSamplesPerPixel != 1) ThrowBadFormat("A colour filter array image of several samples");
        const uint8_t* pc = ifd.fCFAPlaneColor;
        n.SetColorKeys(pc[0], pc[1], pc[2], ifd.fCFAPlaneColorCount > 3 ? pc[3] : 255);
        dng_mosaic_info& mosaic = *n.GetMosaicInfo();
        mosaic.fCFAPatternSize =
            dng_point(int32_t(ifd.fCFARepeatPatternRows), int32_t(ifd.fCFARepeatPatternCols));
        std::memcpy(mosaic.fCFAPattern, ifd.fCFAPattern, sizeof(mosaic.fCFAPattern));
        mosaic.fColorPlanes = ifd.fCFAPlaneColorCount;
        mosaic.fCFALayout = ifd.fCFALayout;
        mosaic.fBayerGreenSplit = ifd.fBayerGreenSplit;
        if (mosaic.fCFALayout < 1 || mosaic.fCFALayout > 9) ThrowBadFormat("Bad CFALayout");
        mosaic.ValidatePattern();
    }

    // Camera profile from IFD 0.
    if (channels >= 2 && sh.fProfile.fColorMatrix1.NotEmpty()) {
        auto profile = std::make_unique<dng_camera_profile>();
        profile->SetFromProfileInfo(stream, sh.fProfile);
        if (profile->IsUsableForChannels(channels)) n.AddProfile(std::move(profile));
    }

    // Opcode lists.
    dng_opcode_list* lists[3] = {&n.OpcodeList1(), &n.OpcodeList2(), &n.OpcodeList3()};
    for (int k = 0; k < 3; ++k)
        if (ifd.fOpcodeListCount[k])
            ParseOpcodeList(host, stream, ifd.fOpcodeListOffset[k], ifd.fOpcodeListCount[k], *lists[k]);

    if (readImage) n.SetStage1Image(ReadStage1Image(host, stream));
    return negative;
}
