// The document's settings, white balance, crop, probe, opening errors and catalog entry,
// over a made-up image wrapper and an engine spy that counts render requests.
#include <gtest/gtest.h>

#include <fstream>
#include <future>

#include "app/core/AppTables.h"
#include "app/core/CatalogStore.h"
#include "app/core/Keys.h"
#include "app/core/PresetManager.h"
#include "color/ColorHelper.h"
#include "color/ProfileManager.h"
#include "engine/core/DemosaicedRenderings.h"
#include "raw/wrapper/ImageWrapper.h"
#include "raw/wrapper/rawWrapper.h"
#include "tests/app/AppHome.h"
#include "tests/support/DocumentHarness.h"
#include "tests/support/Gate.h"
#include "tests/support/TempFolder.h"

namespace {

namespace keys = app::keys;
using platform::Dictionary;
using platform::Rect;
using platform::Value;
using testsupport::FakeWindow;

// A small grey ramp with a chosen as-shot white; optionally a failed decode.
class FakeWrapper : public ImageWrapper, public DemosaicedRenderings {
  public:
    static constexpr uint16_t kWidth = 64, kHeight = 48;

    explicit FakeWrapper(float whiteX = 0.3127f, float whiteY = 0.3290f, bool outputReferred = false)
        : ImageWrapper("/nonexistent/fake.dng", "fake", false), whiteX_(whiteX), whiteY_(whiteY) {
        imageWidth_ = kWidth;
        imageHeight_ = kHeight;
        isOutputReferred_ = outputReferred;
        auto pixels = std::shared_ptr<uint16_t[]>(new uint16_t[size_t(kWidth) * kHeight * 3]);
        for (size_t i = 0; i < size_t(kWidth) * kHeight * 3; ++i)
            pixels[i] = uint16_t(8000 + (i / 3) % kWidth * 500);
        pixels_ = std::move(pixels);
    }
    void failDecodes() { fail_ = true; }

    std::shared_ptr<const uint16_t[]> masterImageBytes() override {
        if (fail_) setError(platform::Error{"RawOpenErrorDomain", -5, "Fake decode failed"});
        return fail_ ? nullptr : pixels_;
    }
    std::shared_ptr<const uint16_t[]> alternateImageBytes() override { return pixels_; }
    std::optional<Dictionary> getParameters() override {
        return Dictionary{{"width", int64_t(kWidth)},
                          {"height", int64_t(kHeight)},
                          {"asShotWhitex", whiteX_},
                          {"asShotWhitey", whiteY_},
                          {"isOutputReferred", isOutputReferred()}};
    }
    std::shared_ptr<ColorSyncProfileWrap> bufferProfile() override {
        return ProfileManager::sharedManager().getProPhotoGamma1_D65Profile();
    }
    Held holdRenderings() override { return {kWidth, kHeight, masterImageBytes(), pixels_}; }
    std::shared_ptr<BufferProfile> renderingsProfile() override { return bufferProfile(); }

  private:
    float whiteX_, whiteY_;
    bool fail_ = false;
    std::shared_ptr<uint16_t[]> pixels_;
};

// The raw wrapper over decodes that make a grey ramp, each with its own number in the
// metadata, and that a test can hold once made, as a slow decode would be.
class HeldDecodes : public rawWrapper {
  public:
    static constexpr uint16_t kWidth = 64, kHeight = 48;

    HeldDecodes() : rawWrapper("/nonexistent/held.dng", "held", false) {}

    testsupport::Gate made; // passed by every decode once its pixels are made

  protected:
    Developed createBitMap(int) override {
        Developed d;
        const int number = made.arrivals() + 1;
        d.status = "ok";
        d.make = "Maker";
        d.model = "Model";
        d.whitex = 0.3127f;
        d.whitey = 0.3290f;
        d.cameraFromXYZ = ColorHelper::XYZFromsRGB_D65();
        d.metaData = Dictionary{{"DecodeNumber", number}};
        d.width = kWidth;
        d.height = kHeight;
        d.pixels.reset(static_cast<uint16_t*>(std::malloc(size_t(kWidth) * kHeight * 8)));
        for (size_t i = 0; i < size_t(kWidth) * kHeight * 4; ++i)
            d.pixels[i] = uint16_t(8000 + (i / 4) % kWidth * 500);
        made.pass();
        return d;
    }
    DevelopedPair createBitMaps(uint16_t) override { return {createBitMap(0), createBitMap(1)}; }
};

// Records each render request before handing it on (or not) to the real engine.
class SpyDocument : public MyDocument {
  public:
    SpyDocument() : MyDocument(CreateKey{}) {}
    struct Request {
        std::optional<std::vector<std::string>> keys;
        Rect area;
    };

    std::shared_ptr<ImageWrapper> wrapper = std::make_shared<FakeWrapper>();
    bool forward = true;
    std::vector<Request> requests;

  protected:
    std::shared_ptr<ImageWrapper> createWrapper(const std::filesystem::path&) override { return wrapper; }
    void invalidateEngine(ThreadedImageEngine& engine, const std::optional<std::vector<std::string>>& keys,
                          const Dictionary& parameters, const Rect& area) override {
        requests.push_back({keys, area});
        if (forward) MyDocument::invalidateEngine(engine, keys, parameters, area);
    }
};

class DocumentTest : public ::testing::Test {
  protected:
    void TearDown() override { platform::MainQueue::shared().drain(); }

    std::string rawPath(const std::string& name = "IMG_0001.dng") const { return (folder_ / name).string(); }
    static Dictionary catalogEntry(const std::string& uuid) {
        auto catalog = CatalogStore::sharedMultiDataStore().dataStoreForStore("Catalog");
        return catalog->getItemForUUID(uuid).value_or(Dictionary{});
    }
    static void storeEntry(Dictionary entry) {
        CatalogStore::sharedMultiDataStore().dataStoreForStore("Catalog")->addItem(&entry);
    }
    std::shared_ptr<SpyDocument> openSpy(std::shared_ptr<ImageWrapper> wrapper = nullptr) {
        auto document = std::make_shared<SpyDocument>();
        if (wrapper) document->wrapper = std::move(wrapper);
        platform::Error error;
        EXPECT_TRUE(document->read(rawPath(), &error)) << error.failureReason;
        return document;
    }

    apptest::AppHome home_;
    testsupport::TempFolder folder_;
};

const Value* find(const Dictionary& d, std::string_view key) {
    auto it = d.find(std::string(key));
    return it == d.end() ? nullptr : &it->second;
}

TEST_F(DocumentTest, FreshDocumentHoldsDefaultsAndTheAsShotFlagInSettingsOnly) {
    auto document = MyDocument::create();
    const Dictionary settings = document->getSettingsDictionary();
    const Dictionary defaults = document->getDefaultsDictionary();
    ASSERT_NE(find(settings, keys::UseAsShotWB), nullptr);
    EXPECT_TRUE(*find(settings, keys::UseAsShotWB)->boolean());
    EXPECT_EQ(find(defaults, keys::UseAsShotWB), nullptr);
    EXPECT_EQ(defaults.size() + 1, settings.size());
    EXPECT_EQ(*find(defaults, keys::InputKneeHigh)->real(), 3.5);
    EXPECT_EQ(*find(defaults, keys::JPEGQuality)->real(), 10.0);
    EXPECT_EQ(*find(defaults, keys::ExportFileType)->integer(), 0);
    EXPECT_TRUE(*find(defaults, keys::KodakProcessing)->boolean());
    for (auto key : {keys::CameraProfile, keys::IccProfile})
        EXPECT_NE(find(defaults, key)->find(keys::SerializedClass), nullptr) << key;
}

TEST_F(DocumentTest, FirstFinishedRenderSetsAsShotBalanceAndSceneReferred) {
    for (bool outputReferred : {false, true}) {
        SCOPED_TRACE(outputReferred);
        storeEntry({{std::string(keys::UUID), rawPath()}, {std::string(keys::InputEV), 0.5}});
        auto document = openSpy(std::make_shared<FakeWrapper>(0.3457f, 0.3585f, outputReferred));
        auto window = std::make_shared<FakeWindow>();
        document->addWindowController(window);
        ASSERT_TRUE(document->valueForKey(keys::UseAsShotWB));
        document->documentIsForDisplay(true);
        ASSERT_TRUE(testsupport::runUntilProcessed(*document));

        EXPECT_FALSE(document->valueForKey(keys::UseAsShotWB));
        auto temperature = document->valueForKey(keys::InputTemperature);
        ASSERT_TRUE(temperature);
        EXPECT_NEAR(temperature->doubleValue(), 5000, 60); // D50's white
        EXPECT_EQ(temperature->doubleValue(),
                  find(document->getDefaultsDictionary(), keys::InputTemperature)->doubleValue());
        ASSERT_EQ(window->tempAndTint.size(), 1u);
        EXPECT_EQ(document->valueForKey(keys::SceneReferred), Value(!outputReferred));
        EXPECT_EQ(window->sceneReferred, std::vector<bool>{!outputReferred});
        document->close();
    }
}

TEST_F(DocumentTest, StoredTemperatureReplacesTheAsShotBalanceAtOnce) {
    storeEntry({{std::string(keys::UUID), rawPath()}, {"lumivar_filter_inputtemperature", 4000.0}});
    EXPECT_FALSE(openSpy()->valueForKey(keys::UseAsShotWB));
    storeEntry({{std::string(keys::UUID), rawPath()}, {std::string(keys::InputEV), 1.0}});
    EXPECT_TRUE(openSpy()->valueForKey(keys::UseAsShotWB));
}

TEST_F(DocumentTest, FileWithoutEntryTakesThePresetDefaultAndStoresItAtClose) {
    const auto preset = PresetManager::sharedPresetManager().presetNamed("Default");
    ASSERT_TRUE(preset);
    auto document = openSpy();
    const Dictionary settings = document->getSettingsDictionary();
    for (const auto& [key, value] : *preset)
        EXPECT_EQ(*find(settings, key), value) << key;
    EXPECT_EQ(document->displayName(), "IMG_0001.dng");
    document->documentIsForDisplay(true);
    ASSERT_TRUE(testsupport::runUntilProcessed(*document));
    document->close();

    const Dictionary entry = catalogEntry(rawPath());
    for (auto key : {keys::PresetUUID, keys::DisplayName, keys::InputIntensity})
        EXPECT_EQ(*find(entry, key), *find(*preset, key)) << key;
}

TEST_F(DocumentTest, OnlyAdjustmentsAndObservedKeysRender) {
    auto document = openSpy();
    document->forward = false;
    document->addWindowController(std::make_shared<FakeWindow>());
    Dictionary otherProfile{{std::string(keys::SerializedClass), "DNGCameraProfileAbstract"},
                            {"FileName", "Other.dcp"}};
    struct Case {
        const char* name;
        std::function<void()> change;
        size_t requests;
    } cases[] = {
        {"JPEG quality", [&] { document->setValue(Value(7.0), keys::JPEGQuality); }, 0},
        {"export type", [&] { document->setValue(Value(2), keys::ExportFileType); }, 0},
        {"IR/UV sensor", [&] { document->setValue(Value(true), keys::IRUVSensor); }, 0},
        {"crop",
         [&] {
             document->cropRectChanged({10, 10, 100, 80});
         },
         0},
        {"orientation", [&] { document->orientationChanged(6); }, 0},
        {"not a setting", [&] { document->setValue(Value(1), "inputEV"); }, 0},
        {"monochrome sensor", [&] { document->setValue(Value(true), keys::MonochromeSensor); }, 1},
        {"exposure", [&] { document->setValue(Value(0.7), keys::InputEV); }, 1},
        {"preset with a profile",
         [&] {
             document->addSettingValues(Dictionary{{std::string(keys::CameraProfile), otherProfile}});
         },
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        document->requests.clear();
        c.change();
        EXPECT_EQ(document->requests.size(), c.requests);
    }
    EXPECT_EQ(document->valueForKey(keys::CameraProfile), Value(otherProfile));
    EXPECT_EQ(ThreadedImageEngine::invalidatedStageForKey(std::string(keys::CameraProfile)), 0);
}

TEST_F(DocumentTest, PlainDictionariesMergeAndDoNotRender) {
    auto document = openSpy();
    document->forward = false;
    document->addSettingValues(Dictionary{{"Lumivar_Extra", Dictionary{{"a", 1}}}});
    document->requests.clear();
    document->addSettingValues(Dictionary{{"Lumivar_Extra", Dictionary{{"b", 2}}}});
    EXPECT_TRUE(document->requests.empty());
    EXPECT_EQ(document->valueForKey("Lumivar_Extra"), Value(Dictionary{{"a", 1}, {"b", 2}}));
}

TEST_F(DocumentTest, ObserversHearTheirKey) {
    auto document = MyDocument::create();
    std::vector<std::string> heard;
    auto token = document->addObserver(keys::InputEV, [&](const std::string& key) { heard.push_back(key); });
    EXPECT_FALSE(document->addObserver("frameworkKey", [](const std::string&) {}));
    document->setValue(Value(1.0), keys::InputEV);
    document->setValue(Value(1.0), keys::InputContrast);
    document->removeObserver(token);
    document->setValue(Value(2.0), keys::InputEV);
    EXPECT_EQ(heard, std::vector<std::string>{std::string(keys::InputEV)});
}

TEST_F(DocumentTest, DirtyAreaIsTheLastValidWindowsArea) {
    struct Case {
        std::vector<Rect> windows;
        Rect expected;
    } cases[] = {
        {{{0, 0, 100, 100}, {50, 60, 200, 100}}, {50, 60, 200, 100}},
        {{{0, 0, 100, 100}, {-1, 0, 10, 10}}, {0, 0, 100, 100}},
        {{{5, 5, 10, -10}}, Rect::null()},
        {{}, Rect::null()},
    };
    for (const auto& c : cases) {
        auto document = openSpy();
        document->forward = false;
        for (const Rect& r : c.windows)
            document->addWindowController(std::make_shared<FakeWindow>(r));
        document->setValue(Value(0.3), keys::InputEV);
        ASSERT_EQ(document->requests.size(), 1u);
        EXPECT_EQ(document->requests[0].area, c.expected);
    }
}

TEST_F(DocumentTest, WhiteBalanceCropOrientationAndProbeEdges) {
    auto document = openSpy(std::make_shared<FakeWrapper>(0, 0));
    auto window = std::make_shared<FakeWindow>();
    document->addWindowController(window);

    ColorHelper colour;
    colour.setFTemperature(900);
    colour.setFTint(200);
    document->setWBFromColor(colour);
    EXPECT_EQ(colour.fTemperature(), 1000);
    EXPECT_EQ(colour.fTint(), 150);
    EXPECT_EQ(document->valueForKey(keys::InputTemperature), Value(1000.0));
    EXPECT_EQ(document->valueForKey(keys::InputTint), Value(150.0));
    EXPECT_EQ(window->tempAndTint, (std::vector<std::pair<float, float>>{{1000, 150}}));
    // An as-shot white of (0, 0) is none: the rendering's own white stands in for it.
    const auto asShot = document->wbFromMetaData();
    ASSERT_TRUE(asShot);
    EXPECT_NEAR(asShot->fTemperature(), 6504, 20);

    const Rect none{-1, -1, -1, -1};
    EXPECT_EQ(document->getCropRect(), none);
    document->cropRectChanged({10, 20, 15, 100});
    EXPECT_EQ(document->getCropRect(), none);
    document->cropRectChanged({10, 20, 100, 50});
    EXPECT_EQ(document->getCropRect(), (Rect{10, 20, 100, 50}));
    document->setValue(std::nullopt, keys::CropRectHeight);
    EXPECT_EQ(document->getCropRect(), none);

    EXPECT_EQ(document->getOrientation(), 1);
    document->orientationChanged(6);
    EXPECT_EQ(document->getOrientation(), 6);
    EXPECT_TRUE(document->valueForKey(keys::ImageOrientation)->isReal());

    EXPECT_EQ(MyDocument::pixelValueText(std::array<double, 4>{0.002, 0, 1, 1}), "R:  2.6, G:  0.0, B:100.0");
    EXPECT_EQ(MyDocument::pixelValueText(std::array<double, 4>{0.18, -1, 0.0031308, 1}),
              "R: 46.1, G:  0.0, B:  4.0");
    EXPECT_EQ(MyDocument::pixelValueText(std::nullopt), "-");
    EXPECT_EQ(MyDocument::create()->pixelValueString(3, 4), "-");
}

// A re-decode under way (held here) keeps nothing from the window: the metadata, the size,
// the probe and the eyedropper answer at once from what the last finished decode made.
TEST_F(DocumentTest, ReadsDuringADecodeAnswerAtOnceFromTheLastOne) {
    using namespace std::chrono_literals;
    auto wrapper = std::make_shared<HeldDecodes>();
    auto document = openSpy(wrapper);
    auto window = std::make_shared<FakeWindow>();
    document->addWindowController(window);
    document->documentIsForDisplay(true);
    ASSERT_TRUE(testsupport::runUntilProcessed(*document));
    const std::string metaData(keys::MetaDataPrefix);
    const auto before = document->valueForKey(metaData);
    const std::string probed = document->pixelValueString(20, 10);
    ASSERT_TRUE(before);
    ASSERT_NE(probed, "-");
    const size_t balances = window->tempAndTint.size();

    wrapper->made.close();
    document->setValue(Value(true), keys::MonochromeSensor); // decodes again
    ASSERT_TRUE(wrapper->made.waitForArrivals(3)); // the master and alternate before, now the master
    struct Seen {
        std::optional<Value> metaData;
        uint16_t width;
        std::string probe;
        size_t balances;
    };
    auto reads = std::async(std::launch::async, [&] {
        document->setWBFromPoint(20, 10);
        return Seen{document->valueForKey(metaData), wrapper->imageWidth(),
                    document->pixelValueString(20, 10), window->tempAndTint.size()};
    });
    const bool answered = reads.wait_for(20s) == std::future_status::ready;
    wrapper->made.open();
    ASSERT_TRUE(answered) << "a read waited for the decode";
    const Seen seen = reads.get();
    EXPECT_EQ(seen.metaData, before);
    EXPECT_EQ(seen.width, HeldDecodes::kWidth);
    EXPECT_EQ(seen.probe, probed);
    EXPECT_EQ(seen.balances, balances + 1) << "the eyedropper set a balance";

    // The held decode's own values once it ends (a pass begun before it may finish first).
    EXPECT_TRUE(testsupport::runMainUntil([&] { return document->valueForKey(metaData) != before; }));
    document->close();
}

TEST_F(DocumentTest, SetToDefaultCopiesTheDefaultAndRenders) {
    auto document = openSpy();
    document->forward = false;
    document->setValue(Value(2.0), keys::InputEV);
    document->requests.clear();
    document->setToDefault(keys::InputEV);
    document->setToDefault("Lumivar_NoDefault");
    EXPECT_EQ(document->valueForKey(keys::InputEV), Value(0.0));
    EXPECT_EQ(document->requests.size(), 1u);
}

TEST_F(DocumentTest, ReadErrorsCarryTheirCodesAndTexts) {
    std::ofstream(folder_ / "photo.pcd") << "pcd";
    // One byte short of the header and the smallest image, and one that holds them.
    for (const auto& [name, size] : {std::pair{"short.PCD", 45055}, std::pair{"full.pcd", 45056}}) {
        std::ofstream(folder_ / name).close();
        std::filesystem::resize_file(folder_ / name, size);
    }
    std::filesystem::create_directory(folder_ / "folder.dng");
    struct Case {
        std::string location;
        int64_t code;
        std::string_view reason;
    } cases[] = {
        {rawPath("photo.pcd"), -2,
         "Lumivar could not open the Photo CD file - it is too small to be valid (3 bytes; an image pack "
         "holds at least 45056)."},
        {rawPath("short.PCD"), -2,
         "Lumivar could not open the Photo CD file - it is too small to be valid (45055 bytes; an image "
         "pack holds at least 45056)."},
        {rawPath("full.pcd"), -2, app::errors::NoDecoderText},
        {rawPath("folder.dng"), -4, app::errors::IsDirectoryText},
        {"http://example.org/IMG_0001.dng", -5, app::errors::NotAFileLocationText},
        {"file://otherhost/tmp/IMG_0001.dng", -6, app::errors::NoPathInformationText},
        {"file:///tmp/IMG%2", -6, app::errors::NoPathInformationText},
        {"file:///tmp/IMG%00.dng", -6, app::errors::NoPathInformationText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        platform::Error error;
        EXPECT_FALSE(MyDocument::create()->read(c.location, &error));
        EXPECT_EQ(error.domain, app::errors::Domain);
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.failureReason, c.reason);
    }
}

TEST_F(DocumentTest, FileURIsAndRelativePathsOpenAsAbsolutePaths) {
    const std::string spaced = rawPath("IMG 0002.dng");
    const std::string uris[] = {"file://" + folder_.path().string() + "/IMG%200002.dng",
                                "file://localhost" + folder_.path().string() + "/IMG%200002.dng"};
    for (const auto& uri : uris) {
        auto document = std::make_shared<SpyDocument>();
        ASSERT_TRUE(document->read(uri));
        EXPECT_EQ(document->valueForKey(keys::UUID), Value(spaced));
    }
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(folder_.path());
    auto document = std::make_shared<SpyDocument>();
    EXPECT_TRUE(document->read("IMG_0001.dng"));
    std::filesystem::current_path(cwd);
    EXPECT_EQ(document->valueForKey(keys::UUID), Value(rawPath()));
}

TEST_F(DocumentTest, CloseStoresOnlyShownDocumentsAndReopeningRestores) {
    auto document = openSpy();
    document->documentIsForDisplay(true);
    ASSERT_TRUE(testsupport::runUntilProcessed(*document));
    document->setValue(Value(1.25), keys::InputEV);
    document->setValue(Value(0.5), keys::MonochromeRed);
    document->cropRectChanged({10, 20, 100, 50});
    document->orientationChanged(8);
    const Value cameraForm = *document->valueForKey(keys::CameraProfile);
    const Value iccForm = *document->valueForKey(keys::IccProfile);
    document->close();

    auto reopened = openSpy();
    EXPECT_EQ(reopened->valueForKey(keys::InputEV), Value(1.25));
    EXPECT_EQ(reopened->valueForKey(keys::MonochromeRed), Value(0.5));
    EXPECT_EQ(reopened->getCropRect(), (Rect{10, 20, 100, 50}));
    EXPECT_EQ(reopened->getOrientation(), 8);
    EXPECT_EQ(reopened->valueForKey(keys::CameraProfile), cameraForm);
    EXPECT_EQ(reopened->valueForKey(keys::IccProfile), iccForm);

    // An export that may release the images leaves the document unshown: no entry is written.
    reopened->documentIsForDisplay(true);
    ASSERT_TRUE(testsupport::runUntilProcessed(*reopened));
    const auto catalogFile =
        *CatalogStore::sharedMultiDataStore().dataStoreForStore("Catalog")->catalogFile();
    const auto before = *CatalogStore::sharedMultiDataStore().dataStoreForStore("Catalog")->imageDataFile();
    reopened->setValue(Value(-1.0), keys::InputEV);
    platform::Error error;
    EXPECT_TRUE(reopened->exportToURL(folder_ / "out.jpg", app::kTypeJPEG, {0, 0, 0, 0}, true, &error))
        << error.failureReason;
    reopened->close();
    std::ifstream in(catalogFile, std::ios::binary);
    const platform::Data after{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(after, before);
}

TEST_F(DocumentTest, FailedRenderIsPresentedOnceAndClosesTheWindows) {
    testsupport::RecordingPresenter presenter;
    auto wrapper = std::make_shared<FakeWrapper>();
    wrapper->failDecodes();
    auto document = openSpy(wrapper);
    auto windows = {std::make_shared<FakeWindow>(), std::make_shared<FakeWindow>()};
    for (const auto& w : windows)
        document->addWindowController(w);
    testsupport::NotificationCount processed(platform::notification::NewProcessedImage, document.get());
    document->documentIsForDisplay(true);
    ASSERT_TRUE(testsupport::runMainUntil([&] { return !presenter.errors.empty(); }));
    document->setValue(Value(0.4), keys::InputEV); // another pass fails the same way
    platform::MainQueue::shared().runUntil([] { return false; }, std::chrono::milliseconds(300));
    ASSERT_EQ(presenter.errors.size(), 1u);
    EXPECT_EQ(presenter.errors[0].failureReason, "Fake decode failed");
    for (const auto& w : windows)
        EXPECT_EQ(w->closeRequests, 1);
    EXPECT_EQ(processed.count, 0);
}

} // namespace
