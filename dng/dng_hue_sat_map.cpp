#include "dng/dng_hue_sat_map.h"

#include "dng/dng_1d_table.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_function_GammaEncode_sRGB.h"

#include <atomic>
#include <cstring>

static_assert(sizeof(dng_hue_sat_map::HSBModify) == 12);

namespace {

constexpr uint32_t kEncodingTableSize = 4096;
constexpr uint32_t kEncoding_sRGB = 1;

std::atomic<uint64_t> gRuntimeFingerprintCounter{0};

} // namespace

dng_hue_sat_map::dng_hue_sat_map(const dng_hue_sat_map& other) { *this = other; }

dng_hue_sat_map& dng_hue_sat_map::operator=(const dng_hue_sat_map& other) {
    if (this == &other) return *this;
    if (other.IsValid()) {
        fHueDivisions = other.fHueDivisions;
        fSatDivisions = other.fSatDivisions;
        fValDivisions = other.fValDivisions;
        fHueStep = other.fHueStep;
        fValStep = other.fValStep;
        fFingerprint = other.fFingerprint;
        fDeltas = other.fDeltas;
    } else {
        fHueDivisions = fSatDivisions = fValDivisions = fHueStep = fValStep = 0;
        fFingerprint = dng_fingerprint();
        fDeltas.Clear();
    }
    return *this;
}

bool dng_hue_sat_map::IsValid() const {
    return fHueDivisions > 0 && fSatDivisions > 1 && fValDivisions > 0 && fDeltas.Buffer() != nullptr;
}

void dng_hue_sat_map::SetDimensions(uint32_t hues, uint32_t sats, uint32_t vals) {
    if (vals == 0) vals = 1;
    if (hues == fHueDivisions && sats == fSatDivisions && vals == fValDivisions) return;
    const uint64_t bytes = uint64_t(hues) * sats * vals * sizeof(HSBModify);
    if (bytes > 0xFFFFFFFFu) ThrowOverflow();
    fDeltas.Allocate(uint32_t(bytes));
    if (bytes) std::memset(fDeltas.Buffer(), 0, bytes);
    fHueDivisions = hues;
    fSatDivisions = sats;
    fValDivisions = vals;
    fHueStep = sats;
    fValStep = hues * sats;
    fFingerprint = dng_fingerprint();
}

uint32_t dng_hue_sat_map::Index(uint32_t hue, uint32_t sat, uint32_t val) const {
    if (hue >= fHueDivisions || sat >= fSatDivisions || val >= fValDivisions || !fDeltas.Buffer())
        ThrowProgramError();
    return val * fValStep + hue * fHueStep + sat;
}

dng_hue_sat_map::HSBModify dng_hue_sat_map::GetEntry(uint32_t hue, uint32_t sat, uint32_t val) const {
    return GetConstDeltas()[Index(hue, sat, val)];
}

void dng_hue_sat_map::SetEntry(uint32_t hue, uint32_t sat, uint32_t val, const HSBModify& entry) {
    const uint32_t index = Index(hue, sat, val);
    // Writing through a shared block would change every copy.
    EnsureWriteable();
    HSBModify* deltas = Deltas();
    deltas[index] = entry;
    if (sat == 0) {
        if (deltas[index].fValScale != 1.0f) deltas[index].fValScale = 1.0f;
    } else if (sat == 1) {
        HSBModify& zero = deltas[index - 1];
        if (zero.fValScale != 1.0f) zero = HSBModify{entry.fHueShift, entry.fSatScale, 1.0f};
    }
}

void dng_hue_sat_map::SetRuntimeFingerprint() {
    const uint64_t serial = ++gRuntimeFingerprintCounter;
    dng_md5_printer printer;
    printer.Process(&serial, sizeof(serial));
    fFingerprint = printer.Result();
}

bool dng_hue_sat_map::operator==(const dng_hue_sat_map& rhs) const {
    if (fHueDivisions != rhs.fHueDivisions || fSatDivisions != rhs.fSatDivisions ||
        fValDivisions != rhs.fValDivisions)
        return false;
    if (!IsValid() && !rhs.IsValid()) return true;
    if (!fDeltas.Buffer() || !rhs.fDeltas.Buffer()) return !fDeltas.Buffer() && !rhs.fDeltas.Buffer();
    return std::memcmp(fDeltas.Buffer(), rhs.fDeltas.Buffer(), DeltasCount() * sizeof(HSBModify)) == 0;
}

dng_hue_sat_map* dng_hue_sat_map::Interpolate(const dng_hue_sat_map& map1, const dng_hue_sat_map& map2,
                                              double weight1) {
    if (weight1 >= 1.0) {
        if (!map1.IsValid()) ThrowProgramError();
        return new dng_hue_sat_map(map1);
    }
    if (weight1 <= 0.0) {
        if (!map2.IsValid()) ThrowProgramError();
        return new dng_hue_sat_map(map2);
    }
    if (!map1.IsValid() || !map2.IsValid() || map1.fHueDivisions != map2.fHueDivisions ||
        map1.fSatDivisions != map2.fSatDivisions || map1.fValDivisions != map2.fValDivisions)
        ThrowProgramError();

    auto result = std::make_unique<dng_hue_sat_map>();
    result->SetDimensions(map1.fHueDivisions, map1.fSatDivisions, map1.fValDivisions);
    const float w1 = float(weight1);
    const float w2 = float(1.0 - weight1);
    const float* a = reinterpret_cast<const float*>(map1.GetConstDeltas());
    const float* b = reinterpret_cast<const float*>(map2.GetConstDeltas());
    float* out = reinterpret_cast<float*>(result->Deltas());
    const uint32_t floats = map1.DeltasCount() * 3;
    for (uint32_t i = 0; i < floats; ++i)
        out[i] = a[i] * w1 + b[i] * w2;

    dng_md5_printer printer;
    printer.Process("Interpolate", 11);
    printer.Process(&weight1, sizeof(weight1));
    printer.Process(map1.fFingerprint.data, 16);
    printer.Process(map2.fFingerprint.data, 16);
    result->fFingerprint = printer.Result();
    return result.release();
}

void dng_hue_sat_map::BuildMapEncodingTables(dng_memory_allocator& allocator, uint32_t encoding,
                                             std::unique_ptr<dng_1d_table>& encodeTable,
                                             std::unique_ptr<dng_1d_table>& decodeTable, bool subSample) {
    encodeTable.reset();
    decodeTable.reset();
    if (encoding != kEncoding_sRGB) return;
    const dng_1d_function& encode = dng_function_GammaEncode_sRGB::Get();
    const dng_1d_inverse decode(encode);
    encodeTable = std::make_unique<dng_1d_table>(kEncodingTableSize);
    encodeTable->Initialize(allocator, encode, subSample);
    decodeTable = std::make_unique<dng_1d_table>(kEncodingTableSize);
    decodeTable->Initialize(allocator, decode, subSample);
}
