#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "raw/colour/CameraColour.h"
#include "raw/core/BandRunner.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/output/ColourOutput.h"

namespace {

class OutputBitmapTest : public ::testing::Test {
  protected:
    std::unique_ptr<raw::DecoderState> s = std::make_unique<raw::DecoderState>();

    // Pixel (r, c) gets value(r, c, channel) in channels 0..3.
    template <class F> void image(raw::DecoderState& st, int height, int width, F value) {
        raw::file_backed_free(st, st.pixel_image);
        st.use_file_backed_memory = false;
        st.colour_count = 3;
        st.visible_height = st.image_height = uint16_t(height);
        st.visible_width = st.image_width = uint16_t(width);
        st.pixel_image =
            static_cast<uint16_t(*)[4]>(raw::file_backed_calloc(st, uint64_t(height) * width, 8));
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                for (int ch = 0; ch < 4; ++ch)
                    st.pixel_image[r * width + c][ch] = uint16_t(value(r, c, ch));
    }
    uint16_t at(const raw::DecoderState& st, int r, int c, int ch = 0) const {
        return st.pixel_image[r * st.visible_width + c][ch];
    }
    // Runs file mode and returns the bytes written.
    std::vector<uint8_t> to_file(raw::DecoderState& st, int sharpening) {
        st.output_file = std::tmpfile();
        raw::createCGImage(st, sharpening);
        std::vector<uint8_t> bytes(size_t(std::ftell(st.output_file)));
        std::rewind(st.output_file);
        EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), st.output_file), bytes.size());
        std::fclose(st.output_file);
        st.output_file = nullptr;
        return bytes;
    }
    void TearDown() override {
        raw::file_backed_free(*s, s->pixel_image);
        raw::set_band_threads_enabled(true);
    }
};

} // namespace

TEST_F(OutputBitmapTest, OrientationTable) {
    // Source rows: (a b) (c d) (e f).
    const char* source = "abcdef";
    struct Case {
        int code;
        int height, width;
        const char* out; // row by row
    };
    const Case cases[] = {
        {0, 3, 2, "abcdef"}, {1, 3, 2, "badcfe"}, {2, 3, 2, "efcdab"}, {3, 3, 2, "fedcba"},
        {4, 2, 3, "acebdf"}, {5, 2, 3, "bdface"}, {6, 2, 3, "ecafdb"}, {7, 2, 3, "fdbeca"},
    };
    for (const auto& c : cases) {
        image(*s, 3, 2, [&](int r, int col, int) { return source[r * 2 + col]; });
        auto* before = s->pixel_image;
        s->orientation_code = c.code;
        raw::createCGImage(*s, 0);
        ASSERT_EQ(s->visible_height, c.height) << c.code;
        ASSERT_EQ(s->visible_width, c.width) << c.code;
        std::string got;
        for (int r = 0; r < c.height; ++r)
            for (int col = 0; col < c.width; ++col) {
                got += char(at(*s, r, col));
                EXPECT_EQ(at(*s, r, col, 2), at(*s, r, col)) << "channels travel together";
                if (c.code) {
                    EXPECT_EQ(at(*s, r, col, 3), 65535) << "opaque";
                }
            }
        EXPECT_EQ(got, c.out) << "orientation " << c.code;
        EXPECT_EQ(s->pixel_image == before, c.code == 0) << "only a re-oriented image is copied";
    }
}

TEST_F(OutputBitmapTest, BandsCoverEveryRowOfALargeImage) {
    const int height = 45, width = 70;
    auto value = [](int r, int c, int ch) { return r * 1000 + c * 10 + ch; };
    struct Case {
        int code;
        int (*source_row)(int i, int j);
        int (*source_col)(int i, int j);
    };
    const Case cases[] = {
        {3, [](int i, int) { return 44 - i; }, [](int, int j) { return 69 - j; }},
        {6, [](int, int j) { return 44 - j; }, [](int i, int) { return i; }},
    };
    for (const auto& c : cases) {
        image(*s, height, width, value);
        s->orientation_code = c.code;
        raw::createCGImage(*s, 0);
        for (int i = 0; i < s->visible_height; ++i)
            for (int j = 0; j < s->visible_width; ++j)
                ASSERT_EQ(at(*s, i, j, 1), value(c.source_row(i, j), c.source_col(i, j), 1))
                    << "orientation " << c.code << " at " << i << "," << j;
    }
}

TEST_F(OutputBitmapTest, FileRowsAreTheOrientedBufferThroughTheToneCurve) {
    // Over 256 rows, so the rows go out in two passes through both alternating buffers.
    const int height = 300, width = 7;
    std::mt19937 random(5);
    std::vector<uint16_t> values(size_t(height) * width * 3);
    for (auto& v : values)
        v = uint16_t(random());
    auto value = [&](int r, int c, int ch) { return ch < 3 ? values[(r * width + c) * 3 + ch] : 0; };
    for (int code = 0; code < 8; ++code) {
        SCOPED_TRACE(code);
        auto buffer_state = std::make_unique<raw::DecoderState>();
        for (raw::DecoderState* st : {s.get(), buffer_state.get()}) {
            image(*st, height, width, value);
            st->orientation_code = code;
            st->histogram[0][8000] = height * width; // white at 64000
        }
        const std::vector<uint8_t> bytes = to_file(*s, 0);
        raw::createCGImage(*buffer_state, 0);
        ASSERT_EQ(bytes.size(), size_t(height) * width * 4) << "no header, four bytes a pixel";
        EXPECT_EQ(s->tone_table[64000], 65535);
        EXPECT_LT(s->tone_table[63990], 65535);
        size_t at_byte = 0;
        for (int i = 0; i < buffer_state->visible_height; ++i)
            for (int j = 0; j < buffer_state->visible_width; ++j) {
                ASSERT_EQ(bytes[at_byte++], 255);
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(bytes[at_byte++], s->tone_table[at(*buffer_state, i, j, ch)] >> 8)
                        << i << "," << j;
            }
        raw::file_backed_free(*buffer_state, buffer_state->pixel_image);
    }
}

TEST_F(OutputBitmapTest, SharpeningRaisesPixelsThatStandOutFromTheirNeighbours) {
    struct Case {
        int step;
        float factor; // for a centre of luminance 2000 among eight of 1000
    };
    const Case cases[] = {{0, 1}, {5, 5}, {-3, 5}, {16, 1.5f}};
    for (const auto& c : cases) {
        image(*s, 3, 3, [](int r, int col, int ch) {
            const int luminance = r == 1 && col == 1 ? 2000 : 1000;
            return ch == 3 ? luminance : luminance / (ch + 1);
        });
        s->histogram[1][8191] = 9;
        const std::vector<uint8_t> bytes = to_file(*s, c.step);
        ASSERT_EQ(bytes.size(), 9u * 4);
        const uint8_t* centre = &bytes[4 * 4];
        for (int ch = 0; ch < 3; ++ch) {
            const int raised = std::min(int(float(2000 / (ch + 1)) * c.factor), 65535);
            EXPECT_EQ(centre[1 + ch], s->tone_table[raised] >> 8) << "step " << c.step << " channel " << ch;
            EXPECT_EQ(bytes[1 + ch], s->tone_table[1000 / (ch + 1)] >> 8) << "border pixels stay as they are";
        }
    }
}

TEST_F(OutputBitmapTest, TheWhiteOfTheToneCurveComesFromTheHistogram) {
    struct Case {
        const char* name;
        void (*fill)(raw::DecoderState&);
        int white; // bin; the curve saturates from bin x 8 on
    };
    const Case cases[] = {
        {"empty histogram", [](raw::DecoderState&) {}, 32},
        {"1% reached within one channel",
         [](raw::DecoderState& st) {
             st.histogram[0][7000] = 50;
             st.histogram[0][6000] = 60;
             st.histogram[1][5000] = 150;
         },
         6000},
        {"half the share for a 45-degree sensor",
         [](raw::DecoderState& st) {
             st.rotated_width = 5;
             st.histogram[2][7000] = 60;
         },
         7000},
    };
    for (const auto& c : cases) {
        auto st = std::make_unique<raw::DecoderState>();
        image(*st, 100, 100, [](int, int, int) { return 0; });
        c.fill(*st);
        raw::createCGImage(*st, 0);
        EXPECT_EQ(st->tone_table[c.white * 8], 65535) << c.name;
        EXPECT_LT(st->tone_table[c.white * 8 - 8], 65535) << c.name;
        raw::file_backed_free(*st, st->pixel_image);
    }
}
