#include "dng/dng_tag_sets.h"

#include "dng/dng_camera_profile.h"
#include "dng/dng_exif.h"
#include "dng/dng_ifd.h"
#include "dng/dng_linearization_info.h"
#include "dng/dng_memory.h"
#include "dng/dng_mosaic_info.h"
#include "dng/dng_negative.h"

#include <algorithm>

namespace {
// A 32-bit EXIF number written as SHORT (or BYTE) counts as set only when it fits.
bool IsSet16(uint32_t value) { return value <= 0xFFFF; }

uint32_t BigEndianBytes(uint32_t value, uint8_t out[4]) {
    for (int i = 0; i < 4; ++i)
        out[i] = uint8_t(value >> (24 - 8 * i));
    return 4;
}
} // namespace

dng_basic_tag_set::dng_basic_tag_set(dng_tiff_directory& directory, const dng_ifd& ifd) {
    const uint32_t samples = std::min(ifd.fSamplesPerPixel, 4u);
    const uint32_t tiles = ifd.TilesAcross() * ifd.TilesDown();
    fTileOffsets.assign(tiles, 0);
    fTileByteCounts.assign(tiles, 0);
    for (uint32_t i = 0; i < samples; ++i) {
        fBitsPerSample[i] = uint16_t(ifd.fBitsPerSample[0]);
        fExtraSamples[i] = uint16_t(ifd.fExtraSamples[i]);
        fSampleFormat[i] = uint16_t(i == 0 ? ifd.fSampleFormat[0] : ifd.fSampleFormat[i]);
    }
    fSubTileBlockSize[0] = uint16_t(ifd.fSubTileBlockRows);
    fSubTileBlockSize[1] = uint16_t(ifd.fSubTileBlockCols);

    AddTag<tag_uint32>(directory, 254, ifd.fNewSubFileType);
    AddTag<tag_uint32>(directory, 256, ifd.fImageWidth);
    AddTag<tag_uint32>(directory, 257, ifd.fImageLength);
    AddTag<tag_uint16_ptr>(directory, 258, fBitsPerSample, samples);
    AddTag<tag_uint16>(directory, 259, uint16_t(ifd.fCompression));
    AddTag<tag_uint16>(directory, 262, uint16_t(ifd.fPhotometricInterpretation));
    const uint32_t bits = ifd.fBitsPerSample[0];
    if (bits != 8 && bits != 16 && bits != 32) AddTag<tag_uint16>(directory, 266, uint16_t(1));
    AddTag<tag_uint16>(directory, 277, uint16_t(ifd.fSamplesPerPixel));
    AddTag<tag_uint16>(directory, 284, uint16_t(1));
    if (ifd.fPredictor != 1) AddTag<tag_uint16>(directory, 317, uint16_t(ifd.fPredictor));
    if (ifd.fUsesTiles) AddTag<tag_uint32>(directory, 322, ifd.fTileWidth);
    AddTag<tag_uint32>(directory, ifd.fUsesStrips ? 278 : 323, ifd.fTileLength);
    AddTag<tag_uint32_ptr>(directory, ifd.fUsesStrips ? 273 : 324, fTileOffsets.data(), tiles);
    AddTag<tag_uint32_ptr>(directory, ifd.fUsesStrips ? 279 : 325, fTileByteCounts.data(), tiles);
    if (ifd.fExtraSamplesCount)
        AddTag<tag_uint16_ptr>(directory, 338, fExtraSamples, std::min(ifd.fExtraSamplesCount, 4u));
    if (ifd.fSampleFormat[0] != 1) AddTag<tag_uint16_ptr>(directory, 339, fSampleFormat, samples);
    if (ifd.fRowInterleaveFactor != 1)
        AddTag<tag_uint16>(directory, 50975, uint16_t(ifd.fRowInterleaveFactor));
    if (ifd.fSubTileBlockRows != 1 || ifd.fSubTileBlockCols != 1)
        AddTag<tag_uint16_ptr>(directory, 50974, fSubTileBlockSize, 2);
}

exif_tag_set::exif_tag_set(dng_tiff_directory& directory, const dng_exif& exif, bool makerNoteSafe,
                           const void* makerNoteData, uint32_t makerNoteLength, bool insideDNG) {
    AddMainTags(directory, exif, makerNoteSafe, makerNoteData, insideDNG);
    AddExifTags(exif, makerNoteSafe, makerNoteData, makerNoteLength);
    AddGPSTags(exif);
    if (!fExifIFD.IsEmpty()) fExifLink = AddTag<tag_uint32>(directory, 34665, 0u);
    if (!fGPSIFD.IsEmpty()) fGPSLink = AddTag<tag_uint32>(directory, 34853, 0u);
}

void exif_tag_set::AddMainTags(dng_tiff_directory& dir, const dng_exif& exif, bool makerNoteSafe,
                               const void* makerNoteData, bool insideDNG) {
    const std::pair<uint16_t, const dng_string*> texts[] = {
        {270, &exif.fImageDescription}, {271, &exif.fMake},   {272, &exif.fModel},
        {305, &exif.fSoftware},         {315, &exif.fArtist}, {33432, &exif.fCopyright}};
    for (const auto& [code, text] : texts)
        if (text->NotEmpty()) AddTag<tag_string>(dir, code, *text);
    if (exif.fDateTime.IsValid()) AddTag<tag_exif_date_time>(dir, 306, exif.fDateTime.DateTime());
    if (insideDNG) {
        if (exif.fCameraSerialNumber.NotEmpty()) AddTag<tag_string>(dir, 50735, exif.fCameraSerialNumber);
        if (exif.fImageNumber != dng_exif::kAbsent) AddTag<tag_uint32>(dir, 37393, exif.fImageNumber);
        if (IsSet16(exif.fSelfTimerMode)) AddTag<tag_uint16>(dir, 34859, uint16_t(exif.fSelfTimerMode));
        if (exif.fBatteryLevelA.NotEmpty())
            AddTag<tag_string>(dir, 33423, exif.fBatteryLevelA);
        else if (exif.fBatteryLevelR.IsValid())
            AddTag<tag_urational>(dir, 33423, exif.fBatteryLevelR);
        if (exif.fLensInfo[0].IsValid() && exif.fLensInfo[1].IsValid())
            AddTag<tag_urational_ptr>(dir, 50736, exif.fLensInfo, 4);
    }
    if (makerNoteData && makerNoteSafe) AddTag<tag_uint16>(dir, 50741, uint16_t(1));
}

void exif_tag_set::AddExifTags(const dng_exif& exif, bool makerNoteSafe, const void* makerNoteData,
                               uint32_t makerNoteLength) {
    dng_tiff_directory& dir = fExifIFD;
    const bool v230 = exif.AtLeastVersion0230();
    const bool v231 = exif.AtLeastVersion0231();
    if (exif.fExifVersion) {
        uint8_t bytes[4];
        BigEndianBytes(exif.fExifVersion, bytes);
        AddTag<tag_data_ptr>(dir, 36864, ttUndefined, 4, Hold(std::vector<uint8_t>(bytes, bytes + 4)));
    }
    if (exif.fFlashPixVersion) {
        uint8_t bytes[4];
        BigEndianBytes(exif.fFlashPixVersion, bytes);
        AddTag<tag_data_ptr>(dir, 40960, ttUndefined, 4, Hold(std::vector<uint8_t>(bytes, bytes + 4)));
    }
    const std::pair<uint16_t, const dng_urational*> urationals[] = {
        {33434, &exif.fExposureTime},          {33437, &exif.fFNumber},
        {37378, &exif.fApertureValue},         {37381, &exif.fMaxApertureValue},
        {37382, &exif.fSubjectDistance},       {37386, &exif.fFocalLength},
        {41988, &exif.fDigitalZoomRatio},      {41493, &exif.fExposureIndex},
        {41486, &exif.fFocalPlaneXResolution}, {41487, &exif.fFocalPlaneYResolution}};
    for (const auto& [code, value] : urationals)
        if (value->IsValid()) AddTag<tag_urational>(dir, code, *value);
    const std::pair<uint16_t, const dng_srational*> srationals[] = {{37377, &exif.fShutterSpeedValue},
                                                                    {37379, &exif.fBrightnessValue},
                                                                    {37380, &exif.fExposureBiasValue}};
    for (const auto& [code, value] : srationals)
        if (value->IsValid()) AddTag<tag_srational>(dir, code, *value);
    if (exif.fISOSpeedRatings[0])
        AddTag<tag_uint16>(dir, 34855, uint16_t(std::min<uint32_t>(exif.fISOSpeedRatings[0], 65535)));
    const std::pair<uint16_t, uint32_t> shorts[] = {{37385, exif.fFlash},
                                                    {34850, exif.fExposureProgram},
                                                    {37383, exif.fMeteringMode},
                                                    {37384, exif.fLightSource},
                                                    {41495, exif.fSensingMethod},
                                                    {41985, exif.fCustomRendered},
                                                    {41986, exif.fExposureMode},
                                                    {41987, exif.fWhiteBalance},
                                                    {41990, exif.fSceneCaptureType},
                                                    {41991, exif.fGainControl},
                                                    {41992, exif.fContrast},
                                                    {41993, exif.fSaturation},
                                                    {41994, exif.fSharpness},
                                                    {41996, exif.fSubjectDistanceRange},
                                                    {41488, exif.fFocalPlaneResolutionUnit}};
    for (const auto& [code, value] : shorts)
        if (IsSet16(value)) AddTag<tag_uint16>(dir, code, uint16_t(value));
    if (exif.fFocalLengthIn35mmFilm && IsSet16(exif.fFocalLengthIn35mmFilm))
        AddTag<tag_uint16>(dir, 41989, uint16_t(exif.fFocalLengthIn35mmFilm));
    const std::pair<uint16_t, uint32_t> undefinedBytes[] = {{41728, exif.fFileSource},
                                                            {41729, exif.fSceneType}};
    for (const auto& [code, value] : undefinedBytes)
        if (value <= 255)
            AddTag<tag_data_ptr>(dir, code, ttUndefined, 1, Hold(std::vector<uint8_t>{uint8_t(value)}));
    if (exif.fCFARepeatPatternRows && exif.fCFARepeatPatternCols)
        AddTag<tag_cfa_pattern>(dir, 41730, exif.fCFARepeatPatternRows, exif.fCFARepeatPatternCols,
                                &exif.fCFAPattern[0][0]);
    if (exif.fColorSpace == 1 || exif.fColorSpace == 0xFFFF)
        AddTag<tag_uint16>(dir, 40961, uint16_t(exif.fColorSpace));
    if (exif.fSubjectAreaCount) {
        std::vector<uint16_t> area;
        for (uint32_t i = 0; i < std::min(exif.fSubjectAreaCount, 4u); ++i)
            area.push_back(uint16_t(exif.fSubjectArea[i]));
        const uint32_t count = uint32_t(area.size());
        AddTag<tag_uint16_ptr>(dir, 37396, Hold(std::move(area)), count);
    }

    struct DateTags {
        const dng_date_time_info& date;
        uint16_t dateCode, subsecCode, offsetCode;
    };
    const DateTags dates[] = {{exif.fDateTime, 0, 37520, 36880},
                              {exif.fDateTimeOriginal, 36867, 37521, 36881},
                              {exif.fDateTimeDigitized, 36868, 37522, 36882}};
    for (const DateTags& d : dates) {
        if (!d.date.IsValid()) continue;
        if (d.dateCode) AddTag<tag_exif_date_time>(dir, d.dateCode, d.date.DateTime());
        if (d.date.Subseconds().NotEmpty()) AddTag<tag_string>(dir, d.subsecCode, d.date.Subseconds());
        if (v231 && d.date.HasTimeZone()) AddTag<tag_string>(dir, d.offsetCode, d.date.OffsetTime());
    }

    if (makerNoteData && makerNoteSafe)
        AddTag<tag_data_ptr>(dir, 37500, ttUndefined, makerNoteLength, makerNoteData);
    if (exif.fUserComment.NotEmpty()) AddTag<tag_encoded_text>(dir, 37510, exif.fUserComment);
    if (exif.fImageUniqueID.IsValid()) {
        char hex[33];
        exif.fImageUniqueID.ToHexString(hex);
        dng_string s;
        s.Set(hex);
        AddTag<tag_string>(dir, 42016, s);
    }

    if (v230) {
        if (exif.fSensitivityType && IsSet16(exif.fSensitivityType))
            AddTag<tag_uint16>(dir, 34864, uint16_t(exif.fSensitivityType));
        if (exif.fSensitivityType && exif.fISOSpeedRatings[0]) {
            const std::pair<uint16_t, uint32_t> longs[] = {{34865, exif.fStandardOutputSensitivity},
                                                           {34866, exif.fRecommendedExposureIndex},
                                                           {34867, exif.fISOSpeed}};
            for (const auto& [code, value] : longs)
                if (value) AddTag<tag_uint32>(dir, code, value);
            if (exif.fISOSpeedLatitudeyyy && exif.fISOSpeedLatitudezzz) {
                AddTag<tag_uint32>(dir, 34868, exif.fISOSpeedLatitudeyyy);
                AddTag<tag_uint32>(dir, 34869, exif.fISOSpeedLatitudezzz);
            }
        }
        const std::pair<uint16_t, const dng_string*> texts[] = {{42032, &exif.fCameraOwnerName},
                                                                {42033, &exif.fBodySerialNumber},
                                                                {42035, &exif.fLensMake},
                                                                {42036, &exif.fLensName},
                                                                {42037, &exif.fLensSerialNumber}};
        for (const auto& [code, text] : texts)
            if (text->NotEmpty()) AddTag<tag_string>(dir, code, *text);
        if (exif.fLensInfo[0].IsValid() && exif.fLensInfo[1].IsValid())
            AddTag<tag_urational_ptr>(dir, 42034, exif.fLensInfo, 4);
    }
    if (v231) {
        const std::pair<uint16_t, const dng_srational*> signedValues[] = {
            {37888, &exif.fTemperature}, {37891, &exif.fWaterDepth}, {37893, &exif.fCameraElevationAngle}};
        for (const auto& [code, value] : signedValues)
            if (value->IsValid()) AddTag<tag_srational>(dir, code, *value);
        const std::pair<uint16_t, const dng_urational*> unsignedValues[] = {
            {37889, &exif.fHumidity}, {37890, &exif.fPressure}, {37892, &exif.fAcceleration}};
        for (const auto& [code, value] : unsignedValues)
            if (value->IsValid()) AddTag<tag_urational>(dir, code, *value);
    }
}

void exif_tag_set::AddGPSTags(const dng_exif& exif) {
    dng_tiff_directory& dir = fGPSIFD;
    if (exif.fGPSVersionID) {
        uint8_t bytes[4];
        BigEndianBytes(exif.fGPSVersionID, bytes);
        AddTag<tag_uint8_ptr>(dir, 0, Hold(std::vector<uint8_t>(bytes, bytes + 4)), 4);
    }
    struct Position {
        uint16_t refCode;
        const dng_string& ref;
        const dng_urational* value;
    };
    const Position positions[] = {{1, exif.fGPSLatitudeRef, exif.fGPSLatitude},
                                  {3, exif.fGPSLongitudeRef, exif.fGPSLongitude},
                                  {19, exif.fGPSDestLatitudeRef, exif.fGPSDestLatitude},
                                  {21, exif.fGPSDestLongitudeRef, exif.fGPSDestLongitude}};
    for (const Position& p : positions)
        if (p.ref.NotEmpty() && p.value[0].IsValid()) {
            AddTag<tag_string>(dir, p.refCode, p.ref);
            AddTag<tag_urational_ptr>(dir, uint16_t(p.refCode + 1), p.value, 3);
        }
    if (exif.fGPSAltitudeRef <= 255) AddTag<tag_uint8>(dir, 5, uint8_t(exif.fGPSAltitudeRef));
    const std::pair<uint16_t, const dng_urational*> values[] = {
        {6, &exif.fGPSAltitude},     {11, &exif.fGPSDOP},          {13, &exif.fGPSSpeed},
        {15, &exif.fGPSTrack},       {17, &exif.fGPSImgDirection}, {24, &exif.fGPSDestBearing},
        {26, &exif.fGPSDestDistance}};
    for (const auto& [code, value] : values)
        if (value->IsValid()) AddTag<tag_urational>(dir, code, *value);
    if (exif.fGPSTimeStamp[0].IsValid()) AddTag<tag_urational_ptr>(dir, 7, exif.fGPSTimeStamp, 3);
    const std::pair<uint16_t, const dng_string*> texts[] = {
        {8, &exif.fGPSSatellites}, {9, &exif.fGPSStatus},          {10, &exif.fGPSMeasureMode},
        {12, &exif.fGPSSpeedRef},  {14, &exif.fGPSTrackRef},       {16, &exif.fGPSImgDirectionRef},
        {18, &exif.fGPSMapDatum},  {23, &exif.fGPSDestBearingRef}, {25, &exif.fGPSDestDistanceRef},
        {29, &exif.fGPSDateStamp}};
    for (const auto& [code, text] : texts)
        if (text->NotEmpty()) AddTag<tag_string>(dir, code, *text);
    if (exif.fGPSProcessingMethod.NotEmpty()) AddTag<tag_encoded_text>(dir, 27, exif.fGPSProcessingMethod);
    if (exif.fGPSAreaInformation.NotEmpty()) AddTag<tag_encoded_text>(dir, 28, exif.fGPSAreaInformation);
    if (IsSet16(exif.fGPSDifferential)) AddTag<tag_uint16>(dir, 30, uint16_t(exif.fGPSDifferential));
    if (exif.fGPSHPositioningError.IsValid() && exif.AtLeastVersion0230())
        AddTag<tag_urational>(dir, 31, exif.fGPSHPositioningError);
}

range_tag_set::range_tag_set(dng_tiff_directory& dir, const dng_negative& negative) {
    const uint32_t planes = negative.HasRawImage() ? std::min(negative.RawImage().Planes(), 4u) : 1;
    if (const dng_linearization_info* info = negative.GetLinearizationInfo()) {
        if (info->fActiveArea.NotEmpty()) {
            const dng_rect& a = info->fActiveArea;
            AddTag<tag_uint32_ptr>(
                dir, 50829,
                Hold(std::vector<uint32_t>{uint32_t(a.t), uint32_t(a.l), uint32_t(a.b), uint32_t(a.r)}), 4);
        }
        if (info->fMaskedAreaCount) {
            std::vector<uint32_t> areas;
            for (uint32_t i = 0;
                 i < std::min(info->fMaskedAreaCount, dng_linearization_info::kMaxMaskedAreas); ++i) {
                const dng_rect& a = info->fMaskedArea[i];
                areas.insert(areas.end(), {uint32_t(a.t), uint32_t(a.l), uint32_t(a.b), uint32_t(a.r)});
            }
            const uint32_t count = uint32_t(areas.size());
            AddTag<tag_uint32_ptr>(dir, 50830, Hold(std::move(areas)), count);
        }
        if (info->fLinearizationTable)
            AddTag<tag_uint16_ptr>(dir, 50712, info->fLinearizationTable->Buffer_uint16(),
                                   info->LinearizationTableEntries());
        const uint32_t rows = info->fBlackLevelRepeatRows;
        const uint32_t cols = info->fBlackLevelRepeatCols;
        AddTag<tag_uint16_ptr>(dir, 50713, Hold(std::vector<uint16_t>{uint16_t(rows), uint16_t(cols)}), 2);
        std::vector<dng_urational> black;
        for (uint32_t row = 0; row < rows; ++row)
            for (uint32_t col = 0; col < cols; ++col)
                for (uint32_t plane = 0; plane < planes; ++plane)
                    black.push_back(info->BlackLevelRational(row, col, plane));
        const uint32_t count = uint32_t(black.size());
        AddTag<tag_urational_ptr>(dir, 50714, Hold(std::move(black)), count);
        auto addDeltas = [&](uint16_t code, uint32_t n, auto delta) {
            if (n == 0) return;
            std::vector<dng_srational> values;
            for (uint32_t i = 0; i < n; ++i)
                values.push_back(delta(i));
            AddTag<tag_srational_ptr>(dir, code, Hold(std::move(values)), n);
        };
        addDeltas(50715, info->ColumnDeltaCount(), [&](uint32_t i) { return info->ColumnDeltaRational(i); });
        addDeltas(50716, info->RowDeltaCount(), [&](uint32_t i) { return info->RowDeltaRational(i); });
    } else if (const uint16_t black = negative.RawImageBlackLevel()) {
        AddTag<tag_urational_ptr>(dir, 50714,
                                  Hold(std::vector<dng_urational>(planes, dng_urational(black, 1))), planes);
    }
    std::vector<uint32_t> white;
    bool needsLong = false;
    for (uint32_t plane = 0; plane < planes; ++plane) {
        white.push_back(negative.WhiteLevel(plane));
        needsLong = needsLong || white.back() >= 65536;
    }
    if (needsLong) {
        AddTag<tag_uint32_ptr>(dir, 50717, Hold(std::move(white)), planes);
    } else {
        std::vector<uint16_t> white16(white.begin(), white.end());
        AddTag<tag_uint16_ptr>(dir, 50717, Hold(std::move(white16)), planes);
    }
}

mosaic_tag_set::mosaic_tag_set(dng_tiff_directory& dir, const dng_mosaic_info& info) {
    if (!info.IsColorFilterArray()) return;
    const uint32_t rows = uint32_t(info.fCFAPatternSize.v);
    const uint32_t cols = uint32_t(info.fCFAPatternSize.h);
    AddTag<tag_uint16_ptr>(dir, 33421, Hold(std::vector<uint16_t>{uint16_t(rows), uint16_t(cols)}), 2);
    std::vector<uint8_t> pattern;
    for (uint32_t row = 0; row < rows; ++row)
        for (uint32_t col = 0; col < cols; ++col)
            pattern.push_back(info.fCFAPattern[row][col]);
    AddTag<tag_uint8_ptr>(dir, 33422, Hold(std::move(pattern)), rows * cols);
    AddTag<tag_uint8_ptr>(dir, 50710, info.fCFAPlaneColor, info.fColorPlanes);
    AddTag<tag_uint16>(dir, 50711, uint16_t(info.fCFALayout));
    if (rows == 2 && cols == 2 && info.fColorPlanes == 3)
        AddTag<tag_uint32>(dir, 50733, info.fBayerGreenSplit);
}

color_tag_set::color_tag_set(dng_tiff_directory& dir, const dng_negative& negative) {
    const uint32_t n = negative.ColorChannels();
    if (n <= 1) return;
    if (negative.CameraCalibration1().Rows() == n && negative.CameraCalibration1().Cols() == n)
        AddTag<tag_matrix>(dir, 50723, negative.CameraCalibration1());
    if (negative.CameraCalibration2().Rows() == n && negative.CameraCalibration2().Cols() == n)
        AddTag<tag_matrix>(dir, 50724, negative.CameraCalibration2());
    const bool hasCalibration =
        negative.CameraCalibration1().NotEmpty() || negative.CameraCalibration2().NotEmpty();
    if (hasCalibration && negative.CameraCalibrationSignature().NotEmpty())
        AddTag<tag_string>(dir, 50931, negative.CameraCalibrationSignature());
    if (negative.AsShotProfileName().NotEmpty()) AddTag<tag_string>(dir, 50934, negative.AsShotProfileName());
    std::vector<dng_urational> balance;
    for (uint32_t i = 0; i < n; ++i)
        balance.push_back(negative.AnalogBalanceR(i));
    AddTag<tag_urational_ptr>(dir, 50727, Hold(std::move(balance)), n);
    if (negative.HasCameraNeutral()) {
        std::vector<dng_urational> neutral;
        for (uint32_t i = 0; i < n; ++i)
            neutral.push_back(negative.CameraNeutralR(i));
        AddTag<tag_urational_ptr>(dir, 50728, Hold(std::move(neutral)), n);
    } else if (negative.HasCameraWhiteXY()) {
        dng_urational x, y;
        negative.GetCameraWhiteXY(x, y);
        AddTag<tag_urational_ptr>(dir, 50729, Hold(std::vector<dng_urational>{x, y}), 2);
    }
    AddTag<tag_urational>(dir, 50734, negative.LinearResponseLimitR());
}

namespace {
bool MapUsable(const dng_hue_sat_map& map) {
    return map.HueDivisions() && map.SatDivisions() > 1 && map.ValDivisions() && map.GetConstDeltas();
}

std::vector<float> MapData(const dng_hue_sat_map& map) {
    std::vector<float> data;
    const dng_hue_sat_map::HSBModify* deltas = map.GetConstDeltas();
    for (uint32_t i = 0; i < map.DeltasCount(); ++i)
        data.insert(data.end(), {deltas[i].fHueShift, deltas[i].fSatScale, deltas[i].fValScale});
    return data;
}
} // namespace

profile_tag_set::profile_tag_set(dng_tiff_directory& dir, const dng_camera_profile& profile) {
    if (!profile.HasColorMatrix1()) return;
    const uint32_t c = profile.ColorMatrix1().Rows();
    struct Illuminant {
        uint16_t illuminantCode, colorCode, forwardCode, reductionCode;
        uint32_t light;
        const dng_matrix &color, &forward, &reduction;
    };
    const Illuminant sets[2] = {
        {50778, 50721, 50964, 50725, profile.CalibrationIlluminant1(), profile.ColorMatrix1(),
         profile.ForwardMatrix1(), profile.ReductionMatrix1()},
        {50779, 50722, 50965, 50726, profile.CalibrationIlluminant2(), profile.ColorMatrix2(),
         profile.ForwardMatrix2(), profile.ReductionMatrix2()}};
    for (int i = 0; i < 2; ++i) {
        const Illuminant& s = sets[i];
        if (i == 1 && !profile.HasColorMatrix2()) break;
        AddTag<tag_uint16>(dir, s.illuminantCode, uint16_t(s.light));
        AddTag<tag_matrix>(dir, s.colorCode, s.color);
        if (s.forward.Rows() * s.forward.Cols() == 3 * c && s.forward.NotEmpty())
            AddTag<tag_matrix>(dir, s.forwardCode, s.forward);
        if (c > 3 && s.reduction.Rows() * s.reduction.Cols() == 3 * c)
            AddTag<tag_matrix>(dir, s.reductionCode, s.reduction);
    }
    if (profile.Name().NotEmpty()) AddTag<tag_string>(dir, 50936, profile.Name(), false);
    if (profile.ProfileCalibrationSignature().NotEmpty())
        AddTag<tag_string>(dir, 50932, profile.ProfileCalibrationSignature(), false);
    AddTag<tag_uint32>(dir, 50941, profile.EmbedPolicy());
    if (profile.Copyright().NotEmpty()) AddTag<tag_string>(dir, 50942, profile.Copyright(), false);

    const bool map1 = MapUsable(profile.HueSatDeltas1());
    const bool map2 = MapUsable(profile.HueSatDeltas2()) && profile.HasColorMatrix2();
    if (map1 || map2) {
        const dng_hue_sat_map& first = map1 ? profile.HueSatDeltas1() : profile.HueSatDeltas2();
        AddTag<tag_uint32_ptr>(
            dir, 50937,
            Hold(std::vector<uint32_t>{first.HueDivisions(), first.SatDivisions(), first.ValDivisions()}), 3);
        if (profile.HueSatMapEncoding()) AddTag<tag_uint32>(dir, 51107, profile.HueSatMapEncoding());
        const std::pair<uint16_t, const dng_hue_sat_map*> maps[] = {
            {50938, map1 ? &profile.HueSatDeltas1() : nullptr},
            {50939, map2 ? &profile.HueSatDeltas2() : nullptr}};
        for (const auto& [code, map] : maps)
            if (map) AddTag<tag_real32_ptr>(dir, code, Hold(MapData(*map)), 3 * map->DeltasCount());
    }
    const dng_hue_sat_map& look = profile.LookTable();
    if (MapUsable(look)) {
        AddTag<tag_uint32_ptr>(
            dir, 50981,
            Hold(std::vector<uint32_t>{look.HueDivisions(), look.SatDivisions(), look.ValDivisions()}), 3);
        AddTag<tag_real32_ptr>(dir, 50982, Hold(MapData(look)), 3 * look.DeltasCount());
        if (profile.LookTableEncoding()) AddTag<tag_uint32>(dir, 51108, profile.LookTableEncoding());
    }
    const dng_srational& offset = profile.BaselineExposureOffset();
    if (offset.IsValid() && offset.n != 0) AddTag<tag_srational>(dir, 51109, offset);
    if (profile.DefaultBlackRender()) AddTag<tag_uint32>(dir, 51110, profile.DefaultBlackRender());
    if (profile.ToneCurve().IsValid()) {
        std::vector<float> curve;
        for (const dng_point_real64& p : profile.ToneCurve().fCoord)
            curve.insert(curve.end(), {float(p.h), float(p.v)});
        const uint32_t count = uint32_t(curve.size());
        AddTag<tag_real32_ptr>(dir, 50940, Hold(std::move(curve)), count);
    }
}
