// Damaged and cut-short copies of small whole files, one per container or loader family:
// a folder of half-copied files must give a status text or an image for each, never a
// crash, a hang or a sanitizer report.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "raw/core/BandRunner.h"
#include "tests/support/DecodeBytes.h"
#include "tests/support/RawFixtures.h"

using testsupport::DecodeOutcome;
using testsupport::RawFixture;

namespace {

// One instance per fixture, so ctest runs them side by side. Inline bands: the same steps,
// quicker under the sanitizers than 15 threads per step.
class Corruption : public ::testing::TestWithParam<RawFixture> {
  protected:
    void SetUp() override { raw::set_band_threads_enabled(false); }
    void TearDown() override { raw::set_band_threads_enabled(true); }
};

DecodeOutcome decode(const std::vector<uint8_t>& bytes) {
    // The fixtures are small; a damaged header that claims more is identified, not developed.
    return testsupport::decodeBytes(bytes.data(), bytes.size(), {.maxPixels = 1 << 16});
}

void expectAnEnding(const DecodeOutcome& out, const std::string& what) {
    EXPECT_FALSE(out.status.empty()) << what;
    if (out.decoded) {
        EXPECT_EQ(out.status, "ok") << what;
        EXPECT_GT(uint64_t(out.width) * out.height, 0u) << what;
    }
}

// Every offset in the headers, where one byte steers the parse, then a spread over the data.
std::vector<size_t> damagePositions(size_t size) {
    std::set<size_t> at;
    for (size_t p = 0; p < std::min<size_t>(size, 768); p += 8)
        at.insert(p);
    for (size_t i = 0; i < 48; ++i)
        at.insert(size * i / 48);
    return {at.begin(), at.end()};
}

std::vector<size_t> cutLengths(size_t size) {
    std::set<size_t> at;
    for (size_t n = 0; n < std::min<size_t>(size, 256); n += 5)
        at.insert(n);
    for (size_t i = 1; i < 40; ++i)
        at.insert(size * i / 40);
    at.insert(size - 1);
    return {at.begin(), at.end()};
}

// Values that make lengths, offsets and counts huge, zero or merely wrong.
uint8_t damage(uint8_t original, size_t position, size_t k) {
    switch ((position / 8 + k) % 4) {
    case 0:
        return 0xFF;
    case 1:
        return 0x00;
    case 2:
        return 0x80;
    default:
        return uint8_t(original ^ 0x5A);
    }
}

} // namespace

TEST_P(Corruption, TheWholeFileDecodes) {
    DecodeOutcome out = decode(GetParam().bytes);
    EXPECT_TRUE(out.decoded) << out.summary();
    EXPECT_EQ(out.status, "ok");
}

TEST_P(Corruption, DamagedBytesEndWithAStatusOrAnImage) {
    const RawFixture& f = GetParam();
    for (size_t at : damagePositions(f.bytes.size())) {
        std::vector<uint8_t> bytes = f.bytes;
        for (size_t k = 0; k < 4 && at + k < bytes.size(); ++k)
            bytes[at + k] = damage(bytes[at + k], at, k);
        expectAnEnding(decode(bytes), "damaged at " + std::to_string(at));
    }
}

TEST_P(Corruption, CutShortFilesEndWithAStatusOrAnImage) {
    const RawFixture& f = GetParam();
    for (size_t length : cutLengths(f.bytes.size())) {
        std::vector<uint8_t> bytes(f.bytes.begin(), f.bytes.begin() + ptrdiff_t(length));
        expectAnEnding(decode(bytes), "cut at " + std::to_string(length));
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Corruption, ::testing::ValuesIn(testsupport::rawFixtures()),
                         [](const ::testing::TestParamInfo<RawFixture>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });
