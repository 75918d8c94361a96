#pragma once
// A table of hue shifts and saturation and value scales over hue, saturation and value.
#include "dng/dng_fingerprint.h"
#include "dng/dng_ref_counted_block.h"

#include <cstdint>
#include <memory>

class dng_1d_table;
class dng_memory_allocator;

class dng_hue_sat_map {
  public:
    struct HSBModify {
        float fHueShift; // degrees
        float fSatScale;
        float fValScale;
    };

    dng_hue_sat_map() = default;
    // Copies share the entries until one of them writes.
    dng_hue_sat_map(const dng_hue_sat_map& other);
    dng_hue_sat_map& operator=(const dng_hue_sat_map& other);
    virtual ~dng_hue_sat_map() = default;

    bool IsValid() const;
    bool IsNull() const { return !IsValid(); }

    // vals 0 counts as 1. New dimensions zero every entry and clear the fingerprint.
    void SetDimensions(uint32_t hues, uint32_t sats, uint32_t vals = 1);
    uint32_t HueDivisions() const { return fHueDivisions; }
    uint32_t SatDivisions() const { return fSatDivisions; }
    uint32_t ValDivisions() const { return fValDivisions; }
    uint32_t DeltasCount() const { return fValDivisions * fHueDivisions * fSatDivisions; }

    HSBModify GetEntry(uint32_t hue, uint32_t sat, uint32_t val) const;
    // At saturation 0 the value scale is always 1; the first write at saturation 1 also
    // fills an unset saturation-0 entry.
    void SetEntry(uint32_t hue, uint32_t sat, uint32_t val, const HSBModify& entry);

    // Gives this map a private copy of its entries.
    void EnsureWriteable() { fDeltas.EnsureWriteable(); }
    const HSBModify* GetConstDeltas() const { return static_cast<const HSBModify*>(fDeltas.Buffer()); }

    const dng_fingerprint& RuntimeFingerprint() const { return fFingerprint; }
    // A fingerprint no other call in this process hands out.
    void SetRuntimeFingerprint();

    bool operator==(const dng_hue_sat_map& rhs) const;
    bool operator!=(const dng_hue_sat_map& rhs) const { return !(*this == rhs); }

    // map1 x weight1 + map2 x (1 - weight1); the caller owns the result.
    static dng_hue_sat_map* Interpolate(const dng_hue_sat_map& map1, const dng_hue_sat_map& map2,
                                        double weight1);

    // For encoding 1 (sRGB gamma) the tables that encode and decode a map's value axis;
    // otherwise both slots end up empty.
    static void BuildMapEncodingTables(dng_memory_allocator& allocator, uint32_t encoding,
                                       std::unique_ptr<dng_1d_table>& encodeTable,
                                       std::unique_ptr<dng_1d_table>& decodeTable, bool subSample);

  private:
    uint32_t Index(uint32_t hue, uint32_t sat, uint32_t val) const;
    HSBModify* Deltas() { return static_cast<HSBModify*>(fDeltas.Buffer()); }

    uint32_t fHueDivisions = 0;
    uint32_t fSatDivisions = 0;
    uint32_t fValDivisions = 0;
    uint32_t fHueStep = 0;
    uint32_t fValStep = 0;
    dng_fingerprint fFingerprint;
    dng_ref_counted_block fDeltas;
};
