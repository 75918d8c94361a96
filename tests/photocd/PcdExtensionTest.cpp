// 64Base: the extension index file, its extension files and what goes wrong with them.
#include <gtest/gtest.h>

#include <filesystem>

#include "photocd/pcdDecode.h"
#include "tests/photocd/PcdTestFiles.h"
#include "tests/support/PhotoCdBuilder.h"

using testsupport::PcdExtensionLayer;
using testsupport::PcdResidualWriter;

namespace {

std::vector<int8_t> row(int width, int8_t value) { return std::vector<int8_t>(width, value); }

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

class PcdExtension : public testing::Test {
  public:
    void SetUp() override {
        PcdResidualWriter w16;
        w16.row(0, 2047, row(3072, 0)).row(2, 2047, row(1536, 0)).row(3, 2047, row(1536, 0));
        w16.row(0, 8191, {});
        const auto codes = testsupport::defaultPcdCodes();
        pack_ = folder_.write(
            "IMAGES/IMG0001.PCD",
            pcdtest::pack16Base(testsupport::pcdTableBlock({codes, codes, codes}), w16.finish()).data());
        extensionDir_ = folder_.path() / "IPE" / "IMG0001" / "64BASE";
        index_ = (extensionDir_ / "INFO.IC").string();

        // Luma: two rows in two stripes each; chroma 1 and 2: one stripe of row 0, chroma 2
        // in a third file and shifted right by a column offset.
        PcdResidualWriter luma;
        luma.extensionRow(0, 0, 0, row(3072, 8)).extensionRow(0, 0, 1, row(3072, -8));
        luma.extensionRow(0, 1, 0, row(3072, 1)).extensionRow(0, 1, 1, row(3072, -1));
        std::vector<uint8_t> first = luma.finish();
        const uint32_t chroma1At = static_cast<uint32_t>(first.size());
        const std::vector<uint8_t> chroma1 = PcdResidualWriter().extensionRow(1, 0, 0, row(1536, 8)).finish();
        first.insert(first.end(), chroma1.begin(), chroma1.end());
        files_ = {{"IPE0001.ICD", first},
                  {"IPE0003.ICD", PcdResidualWriter().extensionRow(2, 0, 0, row(1536, -8)).finish()}};

        PcdExtensionLayer l0{2, 6144, 0, 3072, {{0, 0}, {0, 0}, {0, 0}, {0, 0}}};
        PcdExtensionLayer l1{1, 1536, 0, 1536, {{0, chroma1At}}};
        PcdExtensionLayer l2{1, 1536, 3072, 1536, {{2, 0}}};
        layers_ = {l0, l1, l2};
        index_bytes_ = testsupport::pcdExtensionIndex(layers_, {"IPE0001.ICD", "IPE0002.ICD", "IPE0003.ICD"},
                                                      {codes, codes, codes});
    }

    void writeExtension() {
        folder_.write(std::filesystem::relative(index_, folder_.path()).string(), index_bytes_);
        for (const auto& [name, bytes] : files_)
            folder_.write((std::filesystem::relative(extensionDir_, folder_.path()) / name).string(), bytes);
    }

    pcdtest::TempFolder folder_;
    std::string pack_;
    std::filesystem::path extensionDir_;
    std::string index_;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files_;
    std::vector<PcdExtensionLayer> layers_;
    std::vector<uint8_t> index_bytes_;
};

TEST_F(PcdExtension, StripesOfEveryLayerLandInTheirPlanes) {
    writeExtension();
    pcdDecode decoder;
    decoder.setInterpolation(0);
    decoder.setColorMode(3);
    ASSERT_TRUE(decoder.parseFile(pack_, index_, 5));
    EXPECT_EQ(decoder.errorText(), "");
    ASSERT_EQ(decoder.level(), 5);
    ASSERT_EQ(decoder.width(), 6144);
    ASSERT_EQ(decoder.height(), 4096);
    ASSERT_TRUE(decoder.buildHigherLevels());

    std::vector<uint8_t> rgb(size_t(6144) * 4096 * 3);
    ASSERT_TRUE(decoder.read8BitImage(rgb.data(), rgb.data() + 1, rgb.data() + 2, nullptr, 3));
    auto at = [&](int r, int c, int ch) { return rgb[(size_t(r) * 6144 + c) * 3 + ch]; };
    auto scaled8 = [](int v) { return uint8_t(((int64_t(v) * 2994414646272LL) >> 39) * 255 / 1388); };
    struct Expect {
        int row, column, channel, value;
    } expected[] = {
        {0, 0, 0, 108},    {0, 3071, 0, 108}, {0, 3072, 0, 92},  {0, 6143, 0, 92},  {1, 0, 0, 101},
        {1, 6143, 0, 99},  {2, 0, 0, 100},    {0, 0, 1, 164},    {1, 3071, 1, 164}, {0, 3072, 1, 156},
        {0, 3071, 2, 137}, {0, 3072, 2, 129}, {1, 6143, 2, 129}, {2, 3072, 2, 137},
    };
    for (const Expect& e : expected)
        EXPECT_EQ(at(e.row, e.column, e.channel), scaled8(e.value))
            << e.row << "," << e.column << " channel " << e.channel;
}

TEST_F(PcdExtension, FailuresFallBackTo16Base) {
    struct Case {
        const char* label;
        std::function<void(PcdExtension&)> damage;
        const char* error;
    };
    const Case cases[] = {
        {"index absent", [](PcdExtension&) {}, "Could not open 64Base IPE file"},
        {"short path",
         [](PcdExtension& f) {
             f.writeExtension();
             f.index_ = "INFO.IC";
         },
         "IPE filename too short to be valid"},
        {"index cut",
         [](PcdExtension& f) {
             f.index_bytes_.resize(50);
             f.writeExtension();
         },
         "IC File too small"},
        {"two layers",
         [](PcdExtension& f) {
             f.index_bytes_[be32(f.index_bytes_, 44) + 1] = 2;
             f.writeExtension();
         },
         "Invalid number of layers"},
        {"no files",
         [](PcdExtension& f) {
             f.index_bytes_[be32(f.index_bytes_, 48) + 1] = 0;
             f.writeExtension();
         },
         "Invalid number of IPE files"},
        {"bad table",
         [](PcdExtension& f) {
             f.index_bytes_[be32(f.index_bytes_, 56) + 1] = 20;
             f.writeExtension();
         },
         "Huffman code error!!"},
        {"extension absent",
         [](PcdExtension& f) {
             f.files_.pop_back();
             f.writeExtension();
         },
         "Could not open 64Base extension image"},
        {"layer past the index",
         [](PcdExtension& f) {
             const size_t layerBlock = be32(f.index_bytes_, 44);
             f.index_bytes_[layerBlock + 2 + 18 + 14] = 0x7F; // chroma 1's run table offset
             f.writeExtension();
         },
         "IC File too small"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SetUp();
        c.damage(*this);
        pcdDecode decoder;
        ASSERT_TRUE(decoder.parseFile(pack_, index_, 5));
        EXPECT_EQ(decoder.errorText(), c.error);
        EXPECT_EQ(decoder.level(), 4);
        EXPECT_EQ(decoder.width(), 3072);
        std::filesystem::remove_all(extensionDir_);
    }
}

} // namespace
