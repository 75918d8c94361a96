#include "dng/dng_1d_table.h"
#include "dng/dng_hue_sat_map.h"
#include "dng/dng_memory.h"

#include "DngErrorMatchers.h"

#include <memory>

namespace {

using Entry = dng_hue_sat_map::HSBModify;

// A hues x sats x vals map whose entries depend on their position and on `offset`.
dng_hue_sat_map MakeMap(uint32_t hues, uint32_t sats, uint32_t vals, float offset) {
    dng_hue_sat_map map;
    map.SetDimensions(hues, sats, vals);
    for (uint32_t v = 0; v < vals; ++v)
        for (uint32_t h = 0; h < hues; ++h)
            for (uint32_t s = 0; s < sats; ++s)
                map.SetEntry(h, s, v, Entry{offset + h * 10.0f, 1.0f + s + offset, s ? 2.0f + v : 1.0f});
    map.SetRuntimeFingerprint();
    return map;
}

TEST(HueSatMap, SetEntryKeepsSaturationZeroNeutralInValue) {
    dng_hue_sat_map map;
    map.SetDimensions(2, 3);
    map.SetEntry(0, 0, 0, Entry{5.0f, 0.5f, 2.0f});
    EXPECT_EQ(map.GetEntry(0, 0, 0).fValScale, 1.0f);
    EXPECT_EQ(map.GetEntry(0, 0, 0).fHueShift, 5.0f);

    // Saturation 0 was never set for hue 1: the first write at saturation 1 fills it.
    map.SetEntry(1, 1, 0, Entry{7.0f, 1.5f, 3.0f});
    const Entry filled = map.GetEntry(1, 0, 0);
    EXPECT_EQ(filled.fHueShift, 7.0f);
    EXPECT_EQ(filled.fSatScale, 1.5f);
    EXPECT_EQ(filled.fValScale, 1.0f);
    // Hue 0's saturation 0 was set, so it stays.
    map.SetEntry(0, 1, 0, Entry{9.0f, 9.0f, 9.0f});
    EXPECT_EQ(map.GetEntry(0, 0, 0).fHueShift, 5.0f);
}

TEST(HueSatMap, IndexChecksAndValidity) {
    dng_hue_sat_map map;
    EXPECT_FALSE(map.IsValid());
    EXPECT_DNG_ERROR(map.GetEntry(0, 0, 0), dng_error_unknown);
    map.SetDimensions(3, 2, 0);
    EXPECT_TRUE(map.IsValid());
    EXPECT_EQ(map.ValDivisions(), 1u);
    EXPECT_DNG_ERROR(map.GetEntry(3, 0, 0), dng_error_unknown);
    EXPECT_DNG_ERROR(map.GetEntry(0, 2, 0), dng_error_unknown);
    EXPECT_DNG_ERROR(map.SetEntry(0, 0, 1, Entry{}), dng_error_unknown);
    EXPECT_DNG_ERROR(map.SetDimensions(0x10000, 0x10000, 2), dng_error_overflow);

    dng_hue_sat_map oneSat;
    oneSat.SetDimensions(4, 1);
    EXPECT_FALSE(oneSat.IsValid());
    dng_hue_sat_map copy = MakeMap(2, 2, 1, 0.0f);
    copy = oneSat;
    EXPECT_FALSE(copy.IsValid());
    EXPECT_EQ(copy.HueDivisions(), 0u);
    EXPECT_TRUE(copy.RuntimeFingerprint().IsNull());
}

TEST(HueSatMap, CopiesShareUntilWritten) {
    dng_hue_sat_map a = MakeMap(2, 2, 2, 0.0f);
    dng_hue_sat_map b(a);
    EXPECT_EQ(b.GetConstDeltas(), a.GetConstDeltas());
    EXPECT_EQ(b.RuntimeFingerprint(), a.RuntimeFingerprint());
    b.SetEntry(1, 1, 1, Entry{99.0f, 1.0f, 1.0f});
    EXPECT_NE(a.GetEntry(1, 1, 1).fHueShift, 99.0f);
    EXPECT_NE(a, b);
}

TEST(HueSatMap, EqualContentDistinctFingerprints) {
    const dng_hue_sat_map a = MakeMap(3, 2, 2, 1.0f);
    const dng_hue_sat_map b = MakeMap(3, 2, 2, 1.0f);
    EXPECT_EQ(a, b);
    EXPECT_NE(a.RuntimeFingerprint(), b.RuntimeFingerprint());
    EXPECT_FALSE(a.RuntimeFingerprint().IsNull());
    EXPECT_NE(a, MakeMap(3, 2, 1, 1.0f));
    EXPECT_EQ(dng_hue_sat_map(), dng_hue_sat_map());
}

TEST(HueSatMap, InterpolateBlendsEveryFloat) {
    const dng_hue_sat_map a = MakeMap(2, 2, 1, 10.0f);
    const dng_hue_sat_map b = MakeMap(2, 2, 1, 0.0f);
    std::unique_ptr<dng_hue_sat_map> mid(dng_hue_sat_map::Interpolate(a, b, 0.25));
    // Hue 1, saturation 1: a = (20, 12, 2), b = (10, 2, 2).
    const Entry e = mid->GetEntry(1, 1, 0);
    EXPECT_FLOAT_EQ(e.fHueShift, 0.25f * 20 + 0.75f * 10);
    EXPECT_FLOAT_EQ(e.fSatScale, 0.25f * 12 + 0.75f * 2);
    EXPECT_FLOAT_EQ(e.fValScale, 2.0f);

    std::unique_ptr<dng_hue_sat_map> again(dng_hue_sat_map::Interpolate(a, b, 0.25));
    EXPECT_EQ(again->RuntimeFingerprint(), mid->RuntimeFingerprint());
    std::unique_ptr<dng_hue_sat_map> other(dng_hue_sat_map::Interpolate(a, b, 0.5));
    EXPECT_NE(other->RuntimeFingerprint(), mid->RuntimeFingerprint());
    EXPECT_NE(mid->RuntimeFingerprint(), a.RuntimeFingerprint());
}

TEST(HueSatMap, InterpolateEndsAndMismatches) {
    const dng_hue_sat_map a = MakeMap(2, 2, 1, 1.0f);
    const dng_hue_sat_map small = MakeMap(1, 2, 1, 1.0f);
    const dng_hue_sat_map empty;
    std::unique_ptr<dng_hue_sat_map> one(dng_hue_sat_map::Interpolate(a, empty, 1.0));
    EXPECT_EQ(*one, a);
    EXPECT_EQ(one->RuntimeFingerprint(), a.RuntimeFingerprint());
    std::unique_ptr<dng_hue_sat_map> zero(dng_hue_sat_map::Interpolate(empty, small, -0.5));
    EXPECT_EQ(*zero, small);
    EXPECT_DNG_ERROR(delete dng_hue_sat_map::Interpolate(a, small, 0.5), dng_error_unknown);
    EXPECT_DNG_ERROR(delete dng_hue_sat_map::Interpolate(empty, a, 1.0), dng_error_unknown);
    EXPECT_DNG_ERROR(delete dng_hue_sat_map::Interpolate(a, empty, 0.0), dng_error_unknown);
}

TEST(HueSatMap, EncodingTablesOnlyForSRGB) {
    std::unique_ptr<dng_1d_table> encode, decode;
    dng_hue_sat_map::BuildMapEncodingTables(gDefaultDNGMemoryAllocator, 1, encode, decode, false);
    ASSERT_TRUE(encode && decode);
    EXPECT_EQ(encode->Count(), 4096u);
    // The sRGB curve's linear toe ends at 0.0031308 -> 0.04045.
    EXPECT_NEAR(encode->Interpolate(0.0031308f), 0.04045f, 1e-4);
    EXPECT_NEAR(encode->Interpolate(0.5f), 0.735357f, 1e-4);
    EXPECT_NEAR(decode->Interpolate(0.735357f), 0.5f, 1e-4);
    EXPECT_NEAR(encode->Interpolate(1.0f), 1.0f, 1e-6);
    dng_hue_sat_map::BuildMapEncodingTables(gDefaultDNGMemoryAllocator, 0, encode, decode, false);
    EXPECT_FALSE(encode);
    EXPECT_FALSE(decode);
}

} // namespace
