#include "dng/dng_camera_profile.h"

#include "dng/dng_camera_profile_info.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_stream.h"
#include "dng/dng_temperature.h"
#include "dng/dng_xy_coord.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace {

constexpr double kMatrixPrecision = 10000.0;
constexpr uint32_t kMaxToneCurveValues = 16385;

// Light-source codes 1..24 and their colour temperatures; 0 where the code names none.
constexpr double kIlluminantKelvin[25] = {0,    5500, 4150, 2850, 5500, 0,    0,    0,    0,
                                          5500, 6500, 7500, 6400, 5050, 4150, 3525, 2925, 2850,
                                          5500, 6500, 5500, 6500, 7500, 5000, 3200};

bool IsMatrixShape(const dng_matrix& m, uint32_t rows, uint32_t cols) {
    return m.Rows() == rows && m.Cols() == cols;
}

void RoundIfPresent(dng_matrix& target, const dng_matrix& source) {
    if (source.IsEmpty()) return;
    target = source;
    target.Round(kMatrixPrecision);
}

// The four-row form for four-colour Bayer sensors: the second row stands for both greens.
dng_matrix FourColorMatrix(const dng_matrix& m) {
    if (m.IsEmpty()) return m;
    dng_matrix result(4, 3);
    const uint32_t sourceRow[4] = {0, 1, 2, 1};
    for (uint32_t r = 0; r < 4; ++r)
        for (uint32_t c = 0; c < 3; ++c)
            result[r][c] = m[sourceRow[r]][c];
    return result;
}

bool IsInvertible(const dng_matrix& m, const dng_matrix& hint) {
    try {
        if (hint.IsEmpty())
            (void)Invert(m);
        else
            (void)InvertWithHint(m, hint);
        return true;
    } catch (const dng_exception&) {
        return false;
    }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EndsWithNoCase(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(uint8_t(s[s.size() - n + i])) != std::tolower(uint8_t(suffix[i]))) return false;
    return true;
}

void PutMatrix(dng_stream& out, const dng_matrix& m) {
    for (uint32_t r = 0; r < m.Rows(); ++r)
        for (uint32_t c = 0; c < m.Cols(); ++c) {
            dng_srational value;
            value.SetDouble(m[r][c], int32_t(kMatrixPrecision));
            out.Put_int32(value.n);
            out.Put_int32(value.d);
        }
}

void PutText(dng_stream& out, const dng_string& s) { out.Put(s.Get(), s.Length()); }

void PutMap(dng_stream& out, const dng_hue_sat_map& map) {
    out.Put_uint32(map.HueDivisions());
    out.Put_uint32(map.SatDivisions());
    out.Put_uint32(map.ValDivisions());
    const dng_hue_sat_map::HSBModify* deltas = map.GetConstDeltas();
    for (uint32_t i = 0; i < map.DeltasCount(); ++i) {
        out.Put_real32(deltas[i].fHueShift);
        out.Put_real32(deltas[i].fSatScale);
        out.Put_real32(deltas[i].fValScale);
    }
}

// Refuses data that would run past the end before anything is allocated for it.
void CheckDataInStream(dng_stream& stream, uint64_t offset, uint32_t floats) {
    const uint64_t length = stream.Length();
    if (offset > length || uint64_t(floats) * 4 > length - offset) ThrowEndOfFile();
}

} // namespace

bool dng_camera_profile::ReadFromDCPStream(dng_stream& stream) {
    try {
        dng_camera_profile_info info;
        if (!info.ReadDCP(stream)) return false;
        SetFromProfileInfo(stream, info);
        return true;
    } catch (...) {
        return false;
    }
}

void dng_camera_profile::SetFromProfileInfo(dng_stream& stream, const dng_camera_profile_info& info) {
    ClearFingerprint();
    fUniqueCameraModelRestriction = info.fUniqueCameraModel;
    if (info.fProfileName.NotEmpty()) fName = info.fProfileName;
    fCopyright = info.fProfileCopyright;
    fEmbedPolicy = info.fEmbedPolicy;
    fCalibrationIlluminant1 = info.fCalibrationIlluminant1;
    SetColorMatrix1(info.fColorMatrix1);
    RoundIfPresent(fForwardMatrix1, info.fForwardMatrix1);
    RoundIfPresent(fReductionMatrix1, info.fReductionMatrix1);
    if (info.fColorMatrix2.NotEmpty()) {
        fCalibrationIlluminant2 = info.fCalibrationIlluminant2;
        SetColorMatrix2(info.fColorMatrix2);
        RoundIfPresent(fForwardMatrix2, info.fForwardMatrix2);
        RoundIfPresent(fReductionMatrix2, info.fReductionMatrix2);
    }
    fProfileCalibrationSignature = info.fProfileCalibrationSignature;

    TempBigEndian order(stream, info.fBigEndian);
    if (info.fHueSatDeltas1Offset && info.fHueSatDeltas1Count)
        ReadHueSatDeltas(stream, info.fHueSatDeltas1Offset, info.fHueSatDeltas1Count, info.fProfileHues,
                         info.fProfileSats, info.fProfileVals, fHueSatDeltas1);
    if (info.fHueSatDeltas2Offset && info.fHueSatDeltas2Count)
        ReadHueSatDeltas(stream, info.fHueSatDeltas2Offset, info.fHueSatDeltas2Count, info.fProfileHues,
                         info.fProfileSats, info.fProfileVals, fHueSatDeltas2);
    if (info.fLookTableOffset && info.fLookTableCount)
        ReadHueSatDeltas(stream, info.fLookTableOffset, info.fLookTableCount, info.fLookTableHues,
                         info.fLookTableSats, info.fLookTableVals, fLookTable);
    if (info.fToneCurveCount % 2 == 0) ReadToneCurve(stream, info.fToneCurveOffset, info.fToneCurveCount);

    fHueSatMapEncoding = info.fHueSatMapEncoding;
    fLookTableEncoding = info.fLookTableEncoding;
    fBaselineExposureOffset.SetDouble(info.fBaselineExposureOffset.AsDouble(), 100);
    fDefaultBlackRender = info.fDefaultBlackRender;
}

void dng_camera_profile::ReadToneCurve(dng_stream& stream, uint64_t offset, uint32_t count) {
    if (count > kMaxToneCurveValues) ThrowProgramError("Too many tone curve points");
    CheckDataInStream(stream, offset, count);
    stream.SetReadPosition(offset);
    dng_guard_allocation([&] { fToneCurve.fCoord.resize(count / 2); });
    for (dng_point_real64& point : fToneCurve.fCoord) {
        point.h = stream.Get_real32();
        point.v = stream.Get_real32();
    }
}

void dng_camera_profile::ReadHueSatDeltas(dng_stream& stream, uint64_t offset, uint32_t count, uint32_t hues,
                                          uint32_t sats, uint32_t vals, dng_hue_sat_map& map) {
    CheckDataInStream(stream, offset, count);
    stream.SetReadPosition(offset);
    map.SetDimensions(hues, sats, vals);
    const uint32_t valCount = map.ValDivisions();
    // The file may leave out the zero-saturation column; SetEntry fills it from saturation 1.
    const bool skipSat0 = uint64_t(count) == uint64_t(hues) * (sats - 1) * valCount * 3;
    map.EnsureWriteable();
    for (uint32_t v = 0; v < valCount; ++v)
        for (uint32_t h = 0; h < hues; ++h)
            for (uint32_t s = skipSat0 ? 1 : 0; s < sats; ++s) {
                dng_hue_sat_map::HSBModify entry;
                entry.fHueShift = stream.Get_real32();
                entry.fSatScale = stream.Get_real32();
                entry.fValScale = stream.Get_real32();
                map.SetEntry(h, s, v, entry);
            }
    map.SetRuntimeFingerprint();
}

void dng_camera_profile::SetName(const char* name) {
    fName.Set(name);
    ClearFingerprint();
}

void dng_camera_profile::SetCalibrationIlluminant1(uint32_t light) {
    fCalibrationIlluminant1 = light;
    ClearFingerprint();
}

void dng_camera_profile::SetCalibrationIlluminant2(uint32_t light) {
    fCalibrationIlluminant2 = light;
    ClearFingerprint();
}

void dng_camera_profile::SetColorMatrix1(const dng_matrix& m) {
    fColorMatrix1 = m;
    ScaleColorMatrix(fColorMatrix1);
    ClearFingerprint();
}

void dng_camera_profile::SetColorMatrix2(const dng_matrix& m) {
    fColorMatrix2 = m;
    ScaleColorMatrix(fColorMatrix2);
    ClearFingerprint();
}

void dng_camera_profile::ScaleColorMatrix(dng_matrix& m) {
    if (m.IsEmpty()) return;
    const double peak = (m * D50_XYZ()).MaxEntry();
    if (peak > 0.0 && (peak < 0.99 || peak > 1.01)) m.Scale(1.0 / peak);
    m.Round(kMatrixPrecision);
}

void dng_camera_profile::ScaleForwardMatrix(dng_matrix& m) {
    if (m.IsEmpty()) return;
    const dng_vector_3 white = D50_XYZ();
    for (uint32_t r = 0; r < m.Rows() && r < 3; ++r) {
        double sum = 0.0;
        for (uint32_t c = 0; c < m.Cols(); ++c)
            sum += m[r][c];
        if (sum == 0.0) continue;
        for (uint32_t c = 0; c < m.Cols(); ++c)
            m[r][c] *= white[r] / sum;
    }
}

bool dng_camera_profile::ForwardMatrixMapsToD50(const dng_matrix& m) {
    if (m.IsEmpty()) return true;
    dng_vector ones(m.Cols());
    for (uint32_t i = 0; i < m.Cols(); ++i)
        ones[i] = 1.0;
    const dng_vector xyz = m * ones;
    const dng_vector_3 white = D50_XYZ();
    for (uint32_t i = 0; i < 3; ++i)
        if (std::fabs(xyz[i] - white[i]) > 0.01) return false;
    return true;
}

bool dng_camera_profile::HasColorMatrix1() const {
    return fColorMatrix1.Cols() == 3 && fColorMatrix1.Rows() > 1;
}

bool dng_camera_profile::HasColorMatrix2() const {
    return fColorMatrix2.Cols() == 3 && fColorMatrix2.Rows() == fColorMatrix1.Rows();
}

bool dng_camera_profile::IsUsableForChannels(uint32_t channels) const {
    if (channels == 1) return true;
    if (!IsMatrixShape(fColorMatrix1, channels, 3)) return false;
    if (fColorMatrix2.NotEmpty() && !IsMatrixShape(fColorMatrix2, channels, 3)) return false;
    for (const dng_matrix* m : {&fForwardMatrix1, &fForwardMatrix2})
        if (m->NotEmpty() && (!IsMatrixShape(*m, 3, channels) || !ForwardMatrixMapsToD50(*m))) return false;
    for (const dng_matrix* m : {&fReductionMatrix1, &fReductionMatrix2})
        if (m->NotEmpty() && !IsMatrixShape(*m, 3, channels)) return false;
    if (!IsInvertible(fColorMatrix1, fReductionMatrix1)) return false;
    return fColorMatrix2.IsEmpty() || IsInvertible(fColorMatrix2, fReductionMatrix2);
}

void dng_camera_profile::SetFourColorBayer() {
    if (!IsUsableForChannels(3)) ThrowProgramError();
    fColorMatrix1 = FourColorMatrix(fColorMatrix1);
    fColorMatrix2 = FourColorMatrix(fColorMatrix2);
    fForwardMatrix1 = fForwardMatrix2 = fReductionMatrix1 = fReductionMatrix2 = dng_matrix();
    ClearFingerprint();
}

bool dng_camera_profile::operator==(const dng_camera_profile& o) const {
    return fCalibrationIlluminant1 == o.fCalibrationIlluminant1 &&
           fCalibrationIlluminant2 == o.fCalibrationIlluminant2 && fColorMatrix1 == o.fColorMatrix1 &&
           fColorMatrix2 == o.fColorMatrix2 && fForwardMatrix1 == o.fForwardMatrix1 &&
           fForwardMatrix2 == o.fForwardMatrix2 && fReductionMatrix1 == o.fReductionMatrix1 &&
           fReductionMatrix2 == o.fReductionMatrix2 && fHueSatDeltas1 == o.fHueSatDeltas1 &&
           fHueSatDeltas2 == o.fHueSatDeltas2 && fHueSatMapEncoding == o.fHueSatMapEncoding &&
           fLookTable == o.fLookTable && fLookTableEncoding == o.fLookTableEncoding &&
           fDefaultBlackRender == o.fDefaultBlackRender && fToneCurve == o.fToneCurve &&
           fBaselineExposureOffset.AsDouble() == o.fBaselineExposureOffset.AsDouble() &&
           fProfileCalibrationSignature == o.fProfileCalibrationSignature;
}

void dng_camera_profile::FingerprintMatrices(dng_stream& out) const {
    const uint32_t channels = fColorMatrix1.Rows();
    const auto putSet = [&](uint32_t light, const dng_matrix& color, const dng_matrix& forward,
                            const dng_matrix& reduction) {
        out.Put_uint16(uint16_t(light));
        PutMatrix(out, color);
        if (IsMatrixShape(forward, 3, channels)) PutMatrix(out, forward);
        if (channels > 3 && uint64_t(reduction.Rows()) * reduction.Cols() == uint64_t(channels) * 3)
            PutMatrix(out, reduction);
    };
    putSet(fCalibrationIlluminant1, fColorMatrix1, fForwardMatrix1, fReductionMatrix1);
    if (IsMatrixShape(fColorMatrix2, channels, 3))
        putSet(fCalibrationIlluminant2, fColorMatrix2, fForwardMatrix2, fReductionMatrix2);
}

void dng_camera_profile::FingerprintRest(dng_stream& out) const {
    PutText(out, fName);
    PutText(out, fProfileCalibrationSignature);
    out.Put_uint32(fEmbedPolicy);
    PutText(out, fCopyright);
    const bool map1 = fHueSatDeltas1.IsValid();
    const bool map2 = fHueSatDeltas2.IsValid() && HasColorMatrix2();
    if (map1) PutMap(out, fHueSatDeltas1);
    if (map2) PutMap(out, fHueSatDeltas2);
    if ((map1 || map2) && fHueSatMapEncoding) out.Put_uint32(fHueSatMapEncoding);
    if (fLookTable.IsValid()) {
        PutMap(out, fLookTable);
        if (fLookTableEncoding) out.Put_uint32(fLookTableEncoding);
    }
    if (fBaselineExposureOffset.d != 0 && fBaselineExposureOffset.AsDouble() != 0.0)
        out.Put_real64(fBaselineExposureOffset.AsDouble());
    if (fDefaultBlackRender) out.Put_uint32(fDefaultBlackRender);
    if (fToneCurve.IsValid())
        for (const dng_point_real64& point : fToneCurve.fCoord) {
            out.Put_real32(float(point.h));
            out.Put_real32(float(point.v));
        }
}

void dng_camera_profile::ComputeFingerprint() {
    dng_md5_printer_stream printer;
    printer.SetLittleEndian();
    if (fColorMatrix1.Cols() == 3 && fColorMatrix1.Rows() >= 2) {
        FingerprintMatrices(printer);
        FingerprintRest(printer);
    }
    fFingerprint = printer.Result();
}

const dng_fingerprint& dng_camera_profile::Fingerprint() {
    if (fFingerprint.IsNull()) ComputeFingerprint();
    return fFingerprint;
}

dng_hue_sat_map* dng_camera_profile::HueSatMapForWhite(const dng_xy_coord& white) const {
    if (!fHueSatDeltas1.IsValid()) return nullptr;
    const double t1 = IlluminantTemperature(fCalibrationIlluminant1);
    const double t2 = IlluminantTemperature(fCalibrationIlluminant2);
    if (fHueSatDeltas2.IsValid() && t1 > 0.0 && t2 > 0.0 && t1 != t2) {
        dng_temperature temperature;
        temperature.SetFromXY(white);
        const double T = temperature.Temperature();
        const double lo = std::min(t1, t2);
        const double hi = std::max(t1, t2);
        double g;
        if (T <= lo)
            g = 1.0;
        else if (T >= hi)
            g = 0.0;
        else
            g = (1.0 / T - 1.0 / hi) / (1.0 / lo - 1.0 / hi);
        return dng_hue_sat_map::Interpolate(fHueSatDeltas1, fHueSatDeltas2, t1 < t2 ? g : 1.0 - g);
    }
    return new dng_hue_sat_map(fHueSatDeltas1);
}

double dng_camera_profile::IlluminantTemperature(uint32_t light) {
    return light < std::size(kIlluminantKelvin) ? kIlluminantKelvin[light] : 0.0;
}

void dng_camera_profile::SplitProfileName(const dng_string& name, dng_string& baseName, int32_t& version) {
    std::string base = name.Get();
    version = 0;
    const std::size_t n = base.size();
    if (n == 7 && base.compare(0, 4, "ACR ") == 0 && IsDigit(base[4]) && base[5] == '.' && IsDigit(base[6])) {
        baseName.Set("ACR");
        version = 10 * (base[4] - '0') + (base[6] - '0');
        return;
    }
    if (n > 5 && EndsWithNoCase(base, " beta")) {
        base.resize(n - 5);
        version -= 10;
    } else if (n > 7 && IsDigit(base[n - 1]) && EndsWithNoCase(base.substr(0, n - 1), " beta ")) {
        version += (base[n - 1] - '0') - 10;
        base.resize(n - 7);
    }
    const std::size_t m = base.size();
    if (m > 3 && IsDigit(base[m - 1]) && EndsWithNoCase(base.substr(0, m - 1), " v")) {
        version += 100 * (base[m - 1] - '0');
        base.resize(m - 3);
    }
    baseName.Set(base.c_str());
}
