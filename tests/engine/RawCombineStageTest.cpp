// The raw combine stage: the HSV blend of master and alternate, border strips, the pixel
// probe and the thumbnail.
#include <gtest/gtest.h>

#include <vector>

#include "engine/stages/RawCombineTiledEngine.h"
#include "settings/Schema.h"
#include "tests/engine/StageSource.h"

namespace {

using Rgb = std::array<uint16_t, 3>;

struct Renderings : DemosaicedRenderings {
    uint16_t width, height;
    std::vector<uint16_t> master, alternate;

    Renderings(uint16_t w, uint16_t h, const std::function<Rgb(int32_t, int32_t)>& m,
               const std::function<Rgb(int32_t, int32_t)>& a)
        : width(w), height(h) {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const Rgb p = m(x, y);
                master.insert(master.end(), p.begin(), p.end());
                if (!a) continue;
                const Rgb q = a(x, y);
                alternate.insert(alternate.end(), q.begin(), q.end());
            }
    }
    Held holdRenderings() override {
        // Views that share this object's vectors rather than copies of them.
        const std::shared_ptr<const uint16_t[]> none;
        return {width, height, {none, master.data()}, {none, alternate.empty() ? nullptr : alternate.data()}};
    }
    std::shared_ptr<BufferProfile> renderingsProfile() override { return nullptr; }
};

std::shared_ptr<RawCombineTiledEngine> combine(std::shared_ptr<Renderings> raw, double luma, double chroma,
                                               int32_t border = 0) {
    auto engine = std::make_shared<RawCombineTiledEngine>(
        platform::Size{double(raw->width), double(raw->height)}, "", false);
    engine->setIgnoreEdges(false);
    engine->setVerticalBorder(border);
    engine->setHorizontalBorder(border);
    engine->setRawImage(raw);
    engine->setParameters(std::nullopt,
                          {{settings::ArtifactSuppression.c_str(), platform::Value(luma)},
                           {settings::ChromaArtifactSuppression.c_str(), platform::Value(chroma)}});
    return engine;
}

std::shared_ptr<ImageBuffer> run(RawCombineTiledEngine& engine) {
    auto process = engine.runProcessToCompletion(TileRegion::null());
    return process ? process->buffer : nullptr;
}

void expectNear(const StageSource::Pixel& got, const Rgb& want, const char* what) {
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(got[c], want[c], 1) << what << " channel " << c;
    EXPECT_EQ(got[3], 65535) << what;
}

} // namespace

TEST(RawCombineTiledEngine, BlendsInHsv) {
    struct Case {
        const char* what;
        Rgb master, alternate;
        double luma, chroma;
        Rgb expected;
    } cases[] = {
        {"both weights 0 give the master",
         {40000, 20000, 1234},
         {100, 60000, 900},
         0,
         0,
         {40000, 20000, 1234}},
        // Value 0.8 from the alternate; hue 0 and saturation 0.5 from the master.
        {"luma only", {32768, 16384, 16384}, {52428, 52428, 52428}, 1, 0, {52428, 26214, 26214}},
        // Hue 0.2 and 5.9 meet across the wrap: 6.05 becomes 0.05.
        {"hue across the wrap", {65535, 13107, 0}, {65535, 0, 6554}, 0, 0.5, {65535, 3276, 0}},
        // Saturation halfway between grey and full.
        {"chroma only", {65535, 0, 0}, {65535, 65535, 65535}, 0, 0.5, {65535, 32767, 32767}},
        {"weights are limited to 1",
         {32768, 16384, 16384},
         {52428, 52428, 52428},
         7,
         -3,
         {52428, 26214, 26214}},
    };
    for (const Case& c : cases) {
        auto raw = std::make_shared<Renderings>(
            3, 2, [&](int32_t, int32_t) { return c.master; }, [&](int32_t, int32_t) { return c.alternate; });
        auto engine = combine(raw, c.luma, c.chroma);
        auto out = run(*engine);
        ASSERT_TRUE(out) << c.what;
        expectNear(pixelAt(*out, 2, 1), c.expected, c.what);
    }
}

// Weights of 0 or 1 on both sides hand one rendering on untouched, every sample of it.
TEST(RawCombineTiledEngine, WholeWeightsPassOneRenderingOnExactly) {
    const auto master = [](int32_t x, int32_t y) {
        return Rgb{uint16_t(x * 1021 + y * 7), uint16_t(65535 - x * 977), uint16_t(y * 1009 + 1)};
    };
    const auto alternate = [](int32_t x, int32_t y) {
        return Rgb{uint16_t(y * 1013), uint16_t(x * 991 + 3), uint16_t(65535 - x * y * 13)};
    };
    const struct {
        double luma, chroma;
        bool takesAlternate;
    } cases[] = {{0, 0, false}, {1, 1, true}};
    for (const auto& c : cases) {
        auto raw = std::make_shared<Renderings>(64, 64, master, alternate);
        auto out = run(*combine(raw, c.luma, c.chroma));
        ASSERT_TRUE(out);
        int wrong = 0;
        for (int32_t y = 0; y < 64; ++y)
            for (int32_t x = 0; x < 64; ++x) {
                const Rgb want = c.takesAlternate ? alternate(x, y) : master(x, y);
                const auto got = pixelAt(*out, x, y);
                wrong += got[0] != want[0] || got[1] != want[1] || got[2] != want[2] || got[3] != 65535;
            }
        EXPECT_EQ(wrong, 0) << c.luma << " " << c.chroma;
    }
}

TEST(RawCombineTiledEngine, WithoutAlternateTheWeightsDoNothing) {
    auto raw = std::make_shared<Renderings>(
        4, 4,
        [](int32_t x, int32_t y) {
            return Rgb{uint16_t(1000 * x), uint16_t(20000 + 1000 * y), 300};
        },
        nullptr);
    auto out = run(*combine(raw, 1, 1));
    ASSERT_TRUE(out);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x)
            expectNear(pixelAt(*out, x, y), {uint16_t(1000 * x), uint16_t(20000 + 1000 * y), 300},
                       "no alternate");
}

// Tiles take the alternate and the 8-pixel strips the master, across tile seams.
TEST(RawCombineTiledEngine, ManyTilesAndBorderStrips) {
    const auto master = [](int32_t x, int32_t y) { return Rgb{uint16_t(x * 50), uint16_t(y * 90), 30000}; };
    const auto alternate = [](int32_t x, int32_t y) {
        return Rgb{uint16_t(65535 - x * 40), uint16_t(y * 60), uint16_t(x * y % 65536)};
    };
    auto raw = std::make_shared<Renderings>(1100, 700, master, alternate);
    auto engine = combine(raw, 1, 1, 8);
    auto out = run(*engine);
    ASSERT_TRUE(out);
    int64_t wrong = 0;
    for (int32_t y = 0; y < 700; ++y)
        for (int32_t x = 0; x < 1100; ++x) {
            const bool band = x < 8 || y < 8 || x >= 1092 || y >= 692;
            const Rgb want = band ? master(x, y) : alternate(x, y);
            const auto got = pixelAt(*out, x, y);
            for (int c = 0; c < 3; ++c)
                if (std::abs(int(got[c]) - int(want[c])) > 1 && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(out->bufferOwner(), engine.get());
}

// A master developed only in its frame serves whole weights exactly; once the weights move
// off whole, the tiles inside are not made from it.
TEST(RawCombineTiledEngine, AFramedMasterIsReadOnlyInTheBorderStrips) {
    struct Framed : Renderings {
        using Renderings::Renderings;
        Held holdRenderings() override {
            Held held = Renderings::holdRenderings();
            held.masterFrame = 8;
            return held;
        }
    };
    const auto master = [](int32_t x, int32_t y) {
        const bool inFrame = x < 8 || y < 8 || x >= 592 || y >= 392;
        return inFrame ? Rgb{uint16_t(x * 50), uint16_t(y * 90), 30000} : Rgb{0, 0, 0};
    };
    const auto alternate = [](int32_t x, int32_t y) { return Rgb{uint16_t(x * 40), uint16_t(y * 60), 1000}; };
    auto raw = std::make_shared<Framed>(600, 400, master, alternate);
    auto engine = combine(raw, 1, 1, 8);
    auto out = run(*engine);
    ASSERT_TRUE(out);
    for (const auto& [x, y] : {std::pair{0, 0}, {7, 200}, {300, 399}, {300, 200}, {8, 8}}) {
        const bool inFrame = x < 8 || y < 8 || x >= 592 || y >= 392;
        const auto got = pixelAt(*out, x, y);
        const Rgb want = inFrame ? master(x, y) : alternate(x, y);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(got[c], want[c]) << x << "," << y << " channel " << c;
    }
    engine->setParameters(std::nullopt,
                          {{settings::ArtifactSuppression.c_str(), platform::Value(0.5)},
                           {settings::ChromaArtifactSuppression.c_str(), platform::Value(1.0)}});
    out = run(*engine);
    ASSERT_TRUE(out);
    // Made from the frame's zeros, it would be half the alternate.
    EXPECT_GT(std::abs(int(pixelAt(*out, 300, 200)[0]) - alternate(300, 200)[0] / 2), 2);
    expectNear(pixelAt(*out, 3, 3), master(3, 3), "border strip");
}

TEST(RawCombineTiledEngine, RenderingsOfAnotherSizeAreNotRead) {
    auto raw = std::make_shared<Renderings>(
        4, 4,
        [](int32_t, int32_t) {
            return Rgb{9, 9, 9};
        },
        nullptr);
    auto engine = std::make_shared<RawCombineTiledEngine>(platform::Size{64, 64}, "", false);
    engine->setRawImage(raw);
    auto out = run(*engine);
    ASSERT_TRUE(out);
    EXPECT_EQ(pixelAt(*out, 63, 63)[0], 0);
}

TEST(RawCombineTiledEngine, PixelProbeAveragesThePatch) {
    auto raw = std::make_shared<Renderings>(
        20, 20,
        [](int32_t x, int32_t) {
            return Rgb{uint16_t(x < 10 ? 0 : 65535), 13107, 65535};
        },
        nullptr);
    auto engine = combine(raw, 0, 0);
    std::array<double, 4> values{};
    EXPECT_FALSE(engine->getPixelValues(5, 5, 4, values)); // nothing rendered yet
    ASSERT_TRUE(run(*engine));
    ASSERT_TRUE(engine->getPixelValues(10, 10, 4, values));
    EXPECT_NEAR(values[0], 0.5, 0.01); // half of the patch on each side of the step
    EXPECT_NEAR(values[1], 0.2, 1e-3);
    EXPECT_NEAR(values[3], 1.0, 1e-9);
    EXPECT_FALSE(engine->getPixelValues(500, 500, 4, values));
}

TEST(RawCombineTiledEngine, ThumbnailHasAtMost512PixelsAcross) {
    auto raw = std::make_shared<Renderings>(
        1000, 750,
        [](int32_t, int32_t) {
            return Rgb{1, 2, 3};
        },
        nullptr);
    auto engine = combine(raw, 0, 0);
    EXPECT_EQ(engine->getThumbnail(false), nullptr);
    ASSERT_TRUE(run(*engine));
    auto thumb = engine->getThumbnail(false);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->imageWidth(), 512);
    EXPECT_EQ(thumb->imageHeight(), 384);
    // A run with nothing left to do (an export's) keeps it; a change makes it again.
    ASSERT_TRUE(run(*engine));
    EXPECT_EQ(engine->getThumbnail(false), thumb);
    engine->setParameters(std::nullopt,
                          {{settings::ArtifactSuppression.c_str(), platform::Value(0.0)},
                           {settings::ChromaArtifactSuppression.c_str(), platform::Value(0.0)}});
    ASSERT_TRUE(run(*engine));
    EXPECT_NE(engine->getThumbnail(false), thumb);
}

// Tiles never ask the image themselves (asking may decode), and pixels the image has freed
// live on only while a run reads them.
TEST(RawCombineTiledEngine, HoldsTheRenderingsForOneRun) {
    struct Counted : DemosaicedRenderings {
        int asked = 0;
        std::shared_ptr<uint16_t[]> master{new uint16_t[1100 * 700 * 3]()};
        Held holdRenderings() override {
            ++asked;
            return {1100, 700, master, nullptr};
        }
        std::shared_ptr<BufferProfile> renderingsProfile() override { return nullptr; }
    };
    auto raw = std::make_shared<Counted>();
    auto engine = std::make_shared<RawCombineTiledEngine>(platform::Size{1100, 700}, "", false);
    engine->setIgnoreEdges(false);
    engine->setVerticalBorder(8);
    engine->setHorizontalBorder(8);
    engine->setRawImage(raw);
    ASSERT_TRUE(run(*engine));
    EXPECT_EQ(raw->asked, 1);
    EXPECT_EQ(raw->master.use_count(), 1);
}

// The alternate costs a demosaicing of its own: a run whose weights give it no say asks for
// the master alone, and one weight above zero brings the alternate back.
TEST(RawCombineTiledEngine, AsksForTheAlternateOnlyWhenItWeighs) {
    struct Asked : Renderings {
        using Renderings::Renderings;
        int both = 0, masterOnly = 0, framed = 0;
        Held holdRenderings() override {
            ++both;
            return Renderings::holdRenderings();
        }
        Held holdRenderingsWithMasterFrame(uint16_t frame) override {
            ++framed;
            EXPECT_EQ(frame, 8);
            return Renderings::holdRenderings();
        }
        Held holdMaster() override {
            ++masterOnly;
            Held held = Renderings::holdRenderings();
            held.alternate.reset();
            return held;
        }
    };
    const auto grey = [](int32_t, int32_t) { return Rgb{30000, 30000, 30000}; };
    const auto red = [](int32_t, int32_t) { return Rgb{60000, 1000, 1000}; };
    // Whole weights read the master only in the border strips.
    struct Case {
        double luma, chroma;
        int both, masterOnly, framed;
    } cases[] = {{0, 0, 0, 1, 0}, {0.5, 0, 1, 0, 0}, {0, 0.25, 1, 0, 0}, {1, 0.5, 1, 0, 0}, {1, 1, 0, 0, 1}};
    for (const Case& c : cases) {
        auto raw = std::make_shared<Asked>(4, 4, grey, red);
        auto engine = combine(raw, c.luma, c.chroma, RawCombineTiledEngine::kBorder);
        auto out = run(*engine);
        ASSERT_TRUE(out);
        EXPECT_EQ(raw->both, c.both) << c.luma << " " << c.chroma;
        EXPECT_EQ(raw->masterOnly, c.masterOnly) << c.luma << " " << c.chroma;
        EXPECT_EQ(raw->framed, c.framed) << c.luma << " " << c.chroma;
        // The engine's decode goes by the same rules.
        const platform::Dictionary weights{
            {settings::ArtifactSuppression.c_str(), platform::Value(c.luma)},
            {settings::ChromaArtifactSuppression.c_str(), platform::Value(c.chroma)}};
        EXPECT_EQ(RawCombineTiledEngine::readsAlternate(weights), c.both + c.framed == 1);
        EXPECT_EQ(RawCombineTiledEngine::masterFrameFor(weights), c.framed ? 8 : 0);
        if (c.masterOnly) expectNear(pixelAt(*out, 1, 1), {30000, 30000, 30000}, "the master alone");
    }
}
