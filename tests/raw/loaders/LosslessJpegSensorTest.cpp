#include <gtest/gtest.h>

#include <random>
#include <string>

#include "raw/core/DecoderError.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"
#include "tests/raw/LosslessJpegFixture.h"
#include "tests/support/LosslessJpegEncoder.h"

using namespace raw;
using ljpegtest::runLoader;
using ljpegtest::StreamState;
using testsupport::encodeLosslessJpeg;
using testsupport::LosslessJpegFrame;

namespace {

// The samples as a frame of `wide` two-component columns per line.
std::vector<uint8_t> streamOf(const std::vector<uint16_t>& samples, int wide, int restartRows = 0) {
    LosslessJpegFrame f;
    f.precision = 14;
    f.width = wide;
    f.components = 2;
    f.height = int(samples.size() / (size_t(wide) * 2));
    f.restartRows = restartRows;
    f.samples = samples;
    return encodeLosslessJpeg(f);
}

} // namespace

TEST(LjpegSensorLoader, FillsTheSensorRowByRowThroughTheToneTable) {
    const std::vector<uint16_t> image = ljpegtest::randomSamples(10 * 6, 14, 1);
    StreamState st(streamOf(image, 5));
    st.sensor(10, 6);
    for (int v = 0; v < 65536; ++v)
        st.s->tone_table[v] = uint16_t(65535 - v);
    EXPECT_EQ(runLoader(ljpeg_sensor_load_raw, st), "");
    for (size_t i = 0; i < image.size(); ++i)
        ASSERT_EQ(st.raw[i], 65535 - image[i]) << i;
    EXPECT_EQ(st.s->data_error_count, 0);
}

TEST(LjpegSensorLoader, ReassemblesCanonSlices) {
    // Two slices of 4 columns and a last one of 2 (or of 4, overhanging the sensor by 2),
    // each coded top to bottom.
    const int width = 10, height = 3;
    const std::vector<uint16_t> image = ljpegtest::randomSamples(12 * height, 14, 2);
    for (uint16_t last : {2, 4}) {
        std::vector<uint16_t> coded;
        for (int first : {0, 4, 8})
            for (int r = 0; r < height; ++r)
                for (int c = first; c < std::min(first + 4, 8 + last); ++c)
                    coded.push_back(image[r * 12 + c]);
        StreamState st(streamOf(coded, 3));
        st.sensor(width, height);
        st.s->canon_slice_widths[0] = 2;
        st.s->canon_slice_widths[1] = 4;
        st.s->canon_slice_widths[2] = last;
        EXPECT_EQ(runLoader(ljpeg_sensor_load_raw, st), "");
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                EXPECT_EQ(st.at(r, c), image[r * 12 + c]) << last << ": " << r << "," << c;
        EXPECT_EQ(st.raw[height * width], 0) << "nothing lands past the last row";
    }
}

TEST(LjpegSensorLoader, RefusesSliceWidthsThatCannotBe) {
    const uint16_t layouts[][3] = {{2, 0, 2}, {2, 4, 0}, {1, 11, 1}, {2, 4, 11}};
    for (const auto& w : layouts) {
        StreamState st(streamOf(ljpegtest::randomSamples(60, 14, 3), 3));
        st.sensor(10, 6);
        std::copy(w, w + 3, st.s->canon_slice_widths);
        EXPECT_EQ(runLoader(ljpeg_sensor_load_raw, st), kCorruptSlicesText)
            << w[0] << " " << w[1] << " " << w[2];
    }
}

TEST(LjpegSensorLoader, InterlacedFramesFillTheTopThenTheBottomHalf) {
    const std::vector<uint16_t> image = ljpegtest::randomSamples(6 * 4, 14, 4);
    StreamState st(streamOf(image, 3));
    st.sensor(6, 4);
    st.s->visible_height = 4;
    st.s->loader_flags = 1;
    EXPECT_EQ(runLoader(ljpeg_sensor_load_raw, st), "");
    const int target[] = {0, 3, 1, 2}; // JPEG lines 0..3
    for (int j = 0; j < 4; ++j)
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(st.at(target[j], c), image[j * 6 + c]) << j << "," << c;
}

TEST(LjpegSensorLoader, Width3984KeepsTwoColumnsOnTheRowAbove) {
    const size_t n = 3984 * 2;
    const std::vector<uint16_t> image = ljpegtest::randomSamples(n, 14, 5);
    StreamState st(streamOf(image, 1992));
    st.sensor(3984, 2);
    EXPECT_EQ(runLoader(ljpeg_sensor_load_raw, st), "");
    // The first two samples would land on row -1: they are dropped, not written before the buffer.
    for (size_t i = 0; i + 2 < n; ++i)
        ASSERT_EQ(st.raw[i], image[i + 2]) << i;
    EXPECT_EQ(st.raw[n - 2], 0);
    EXPECT_EQ(st.raw[n - 1], 0);
}

TEST(LjpegSensorLoader, RefusesWhatItCannotDecode) {
    const std::string text = "These are not the pixels you are looking for.";
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool rawBuffer;
        std::string status;
    };
    const Case cases[] = {
        {"text", std::vector<uint8_t>(text.begin(), text.end()), true, kNotLosslessJpegText},
        {"empty", {}, true, kNotLosslessJpegText},
        {"TIFF header", {'I', 'I', 42, 0, 8, 0, 0, 0}, true, kNotLosslessJpegText},
        {"no sensor buffer", streamOf(ljpegtest::randomSamples(16, 14, 6), 2), false,
         "Raw image corrupt in ljpeg_sensor_load_raw"},
    };
    for (const Case& c : cases) {
        StreamState st(c.bytes);
        if (c.rawBuffer) st.sensor(4, 4);
        EXPECT_EQ(runLoader(ljpeg_sensor_load_raw, st), c.status) << c.name;
    }
}

TEST(LjpegSensorLoader, TruncatedAndCorruptedStreamsEndInAStatus) {
    const std::vector<uint8_t> good = streamOf(ljpegtest::randomSamples(16 * 8, 14, 7), 8, 2);
    for (size_t cut = 0; cut < good.size(); ++cut) {
        StreamState st(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)));
        st.sensor(16, 8);
        const std::string status = runLoader(ljpeg_sensor_load_raw, st);
        if (!status.empty()) {
            EXPECT_EQ(status, kNotLosslessJpegText) << "cut at " << cut;
        } else if (cut + 2 < good.size()) {
            EXPECT_GT(st.s->data_error_count, 0) << "cut at " << cut;
        }
    }
    std::mt19937 rng(11);
    for (int variant = 0; variant < 300; ++variant) {
        std::vector<uint8_t> bad = good;
        for (int k = 0, n = 1 + int(rng() % 4); k < n; ++k)
            bad[rng() % bad.size()] = uint8_t(rng());
        StreamState st(bad);
        st.sensor(16, 8);
        runLoader(ljpeg_sensor_load_raw, st); // any status, but no fault under the sanitizers
    }
}

TEST(LjpegSensorLoader, FramesClaimingMoreThanTheirDataStopWhereTheDataEnds) {
    // 65535 lines of 65535 columns would be billions of samples from a few hundred bytes.
    std::vector<uint8_t> huge = streamOf(ljpegtest::randomSamples(16 * 8, 14, 8), 8);
    std::vector<uint8_t> noCodes = huge;
    for (size_t i = 2; i + 8 < huge.size(); ++i) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC3)
            std::fill(huge.begin() + long(i) + 5, huge.begin() + long(i) + 9, 0xFF);
        // A table without codes decodes every difference from no bits at all.
        if (noCodes[i] == 0xFF && noCodes[i + 1] == 0xC4)
            std::fill(noCodes.begin() + long(i) + 5, noCodes.begin() + long(i) + 21, 0);
    }
    for (const auto& bytes : {huge, noCodes}) {
        StreamState st(bytes);
        st.sensor(16, 8);
        EXPECT_EQ(runLoader(ljpeg_sensor_load_raw, st), "");
        EXPECT_GT(st.s->data_error_count, 0);
    }
}
