#include "app/core/MyDocument.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "app/core/AlertPresenter.h"
#include "app/core/AppFiles.h"
#include "app/core/CatalogStore.h"
#include "app/core/Keys.h"
#include "app/core/PresetManager.h"
#include "app/core/SettingTypes.h"
#include "color/ColorSyncProfileWrap.h"
#include "color/WhiteBalance.h"
#include "dng/DNGCameraProfileAbstract.h"
#include "engine/stages/RawCombineTiledEngine.h"
#include "export/ExifBlock.h"
#include "photocd/PcdLevels.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/Notifications.h"
#include "platform/UserDefaults.h"
#include "raw/wrapper/rawWrapper.h"

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Error;
using platform::Value;

namespace {

constexpr const char* kCatalogStore = "Catalog";

bool isSettingsKey(std::string_view key) {
    return key.starts_with(app::keys::SettingsPrefix) || key.starts_with(app::keys::LegacySettingsPrefix);
}

bool isObservedKey(std::string_view key) {
    return std::find(MyDocument::kObservedKeys.begin(), MyDocument::kObservedKeys.end(), key) !=
           MyDocument::kObservedKeys.end();
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return app::lowercase(a) == app::lowercase(b);
}

// A camera or ICC profile in its stored form: one value, never merged key by key.
bool isProfileForm(const Value& value) {
    return value.isDictionary() && value.find(app::keys::SerializedClass) != nullptr;
}

std::optional<double> numberFor(const Dictionary& d, std::string_view key) {
    auto it = d.find(std::string(key));
    if (it == d.end() || !it->second.isNumber()) return std::nullopt;
    return it->second.doubleValue();
}

// The path of a file:// URI; none when it names another host or does not decode to a path.
std::optional<std::string> pathOfFileURI(std::string_view uri) {
    std::string_view rest = uri.substr(5); // after "file:"
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string host = app::lowercase(rest.substr(0, slash));
        if (!host.empty() && host != "localhost") return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (!rest.starts_with('/')) return std::nullopt;
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '?' || c == '#') break;
        if (c == '%') {
            const auto hex = [](char h) -> int {
                if (h >= '0' && h <= '9') return h - '0';
                if (h >= 'a' && h <= 'f') return h - 'a' + 10;
                if (h >= 'A' && h <= 'F') return h - 'A' + 10;
                return -1;
            };
            if (rest.size() - i < 3) return std::nullopt;
            const int hi = hex(rest[i + 1]), lo = hex(rest[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            c = char(hi * 16 + lo);
            if (c == '\0') return std::nullopt;
            i += 2;
        }
        path.push_back(c);
    }
    return path;
}

// "scheme:" as URIs begin (RFC 3986), at least two letters so "C:" style names stay paths.
bool hasURIScheme(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;
    if (!std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    return std::all_of(text.begin(), text.begin() + colon, [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

bool isProxyExtension(const fs::path& file) {
    const std::string ext = app::lowercaseExtension(file);
    return ext == "jpg" || ext == "jpeg" || ext == "tif" || ext == "tiff";
}

float srgbPercent(double linear) {
    const float v = float(linear);
    float encoded;
    if (v <= 0.0f)
        encoded = 0.0f;
    else if (v <= 0.0031308f)
        encoded = 12.92f * v;
    else
        encoded = 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
    return encoded * 100.0f;
}

} // namespace

std::shared_ptr<MyDocument> MyDocument::create() { return std::make_shared<MyDocument>(CreateKey{}); }

MyDocument::MyDocument(CreateKey) { fillDefaults(); }

MyDocument::~MyDocument() {
    // The engine keeps rendering a pass it started; it holds the document only weakly.
    if (displayEngine_) displayEngine_->setDelegate(nullptr);
}

void MyDocument::fillDefaults() {
    Dictionary d;
    for (const settings::Setting* setting : settings::kAll) {
        const settings::Default& initial = setting->documentDefault;
        Value value;
        switch (initial.kind) {
        case settings::Default::Kind::None:
            continue;
        case settings::Default::Kind::Real:
            value = initial.value;
            break;
        case settings::Default::Kind::Integer:
            value = int64_t(initial.value);
            break;
        case settings::Default::Kind::Boolean:
            value = initial.value != 0;
            break;
        case settings::Default::Kind::AutomaticProfile:
            value = *setting == settings::CameraProfile
                        ? DNGCameraProfileAbstract::createAsAutoProfile()->objectSerializeForPList()
                        : ColorSyncProfileWrap::createAsAutoProfile()->objectSerializeForPList();
            break;
        }
        d[std::string(setting->key)] = std::move(value);
    }

    std::lock_guard guard(settingsLock_);
    imageDefaults_ = d;
    imageParameters_ = std::move(d);
    imageParameters_[std::string(app::keys::UseAsShotWB)] = true;
}

// --- Opening -------------------------------------------------------------------------------

std::shared_ptr<ImageWrapper> MyDocument::createWrapper(const fs::path& rawFile) {
    return std::make_shared<rawWrapper>(rawFile, rawFile.string(), false);
}

// Photo CD files get no decoder; one too short to hold an image says so rather than blame memory.
Error MyDocument::noDecoderError(const fs::path& file) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(file, ec);
    if (ec || app::lowercaseExtension(file) != "pcd" || size >= photocd::kMinimumPackSize)
        return app::errors::Table.error(app::errors::NoDecoder);
    return app::errors::Table.withReason(
        app::errors::NoDecoder,
        platform::formatReason(app::errors::PhotoCdTooSmallText,
                               {std::to_string(size), std::to_string(photocd::kMinimumPackSize)}));
}

std::optional<fs::path> MyDocument::resolveLocation(const std::string& location, Error* error) {
    std::error_code ec;
    if (location.starts_with("file:")) {
        auto path = pathOfFileURI(location);
        if (!path) {
            platform::fail(error, app::errors::Table.error(app::errors::NoPathInformation));
            return std::nullopt;
        }
        return fs::path(*path);
    }
    if (location.empty() || (hasURIScheme(location) && !fs::exists(location, ec))) {
        platform::fail(error, app::errors::Table.error(app::errors::NotAFileLocation));
        return std::nullopt;
    }
    fs::path path = fs::absolute(location, ec);
    if (ec) {
        platform::fail(error, app::errors::Table.error(app::errors::NoPathInformation));
        return std::nullopt;
    }
    return path;
}

bool MyDocument::read(const std::string& location, Error* error) {
    LV_LOG("%s - %s file open: %s", lumivarSoftwareName().c_str(), __PRETTY_FUNCTION__, location.c_str());
    std::optional<fs::path> path = resolveLocation(location, error);
    if (!path) return false;
    if (isProxyExtension(*path)) {
        path = rawFileForProxy(*path, error);
        if (!path) return false;
    } else {
        extEditorURL_.reset();
    }
    std::error_code ec;
    if (fs::is_directory(*path, ec))
        return platform::fail(error, app::errors::Table.error(app::errors::IsDirectory));

    rawFile_ = *path;
    setSetting(std::string(app::keys::UUID), path->string());
    std::shared_ptr<ImageWrapper> wrapper;
    if (app::lowercaseExtension(*path) != "pcd") wrapper = createWrapper(*path);

    std::shared_ptr<ThreadedImageEngine> earlier;
    {
        std::lock_guard guard(settingsLock_);
        earlier = std::move(displayEngine_);
    }
    if (earlier) earlier->setDelegate(nullptr);

    CatalogStore& stores = CatalogStore::sharedMultiDataStore();
    std::optional<Dictionary> stored;
    if (auto catalog = stores.dataStoreForStore(kCatalogStore))
        if (auto entry = catalog->getItemForUUID(path->string()))
            stored = stores.deserializeFromPList(*entry);
    if (!stored || stored->empty()) {
        stored = PresetManager::sharedPresetManager().presetNamed("Default");
        // A "Default" holding a value of the wrong kind is not applied; the file opens with the
        // program's own settings.
        if (auto wrong = stored ? app::wrongSettingType(*stored) : std::nullopt) {
            LV_LOG("%s", wrong->failureReason.c_str());
            stored.reset();
        }
    }
    addSettingValues(stored);
    displayName_ = path->filename().string();

    if (!wrapper) return platform::fail(error, noDecoderError(*path));
    auto engine = ThreadedImageEngine::create(std::move(wrapper), false);
    std::lock_guard guard(settingsLock_);
    displayEngine_ = std::move(engine);
    return true;
}

std::optional<fs::path> MyDocument::rawFileForProxy(const fs::path& proxy, Error* error) {
    const std::string proxyName = proxy.stem().string();
    // The folder is a plain absolute path; anything else is no folder at all.
    const Value folder =
        platform::UserDefaults::standard().objectForKey(app::defaults::RawSearchDirectoryBookmark);
    secureBookmark_.reset();
    if (const std::string* text = folder.string(); text && fs::path(*text).is_absolute())
        secureBookmark_ = fs::path(*text);
    if (!secureBookmark_) {
        LV_LOG("%s Error: %s", __PRETTY_FUNCTION__,
               std::string(app::errors::NoRawSearchLocationText).c_str());
        platform::fail(error, app::errors::Table.error(app::errors::NoRawSearchLocation));
        return std::nullopt;
    }
    // A second read starts from a fresh table rather than failing.
    extArray_ = app::extensionPriorities();
    std::optional<fs::path> found = app::rawFileForProxy(*secureBookmark_, proxy, *extArray_);
    if (!found) {
        const std::string base = parseToBaseName(proxyName).value_or(proxyName);
        Error notFound =
            app::errors::Table.error(app::errors::RawFileNotFound, {base, secureBookmark_->string()});
        LV_LOG("%s Error: %s", __PRETTY_FUNCTION__, notFound.failureReason.c_str());
        platform::fail(error, std::move(notFound));
        return std::nullopt;
    }
    extEditorURL_ = proxy;
    LV_LOG("%s raw file found: %s", __PRETTY_FUNCTION__, found->c_str());
    return found;
}

// --- Key-value access ----------------------------------------------------------------------

std::optional<Value> MyDocument::valueForKey(std::string_view key) const {
    if (key.starts_with(app::keys::MetaDataPrefix)) {
        auto engine = displayEngine();
        auto wrapper = engine ? engine->rawFileWrapper() : nullptr;
        auto metaData = wrapper ? wrapper->metaData() : std::nullopt;
        if (!metaData) return std::nullopt;
        return Value(std::move(*metaData));
    }
    if (!isSettingsKey(key)) return std::nullopt;
    std::lock_guard guard(settingsLock_);
    auto it = imageParameters_.find(std::string(key));
    if (it == imageParameters_.end() || it->second.isNull()) return std::nullopt;
    return it->second;
}

void MyDocument::setValue(std::optional<Value> value, std::string_view key) {
    if (!value || value->isNull())
        LV_LOG("ERROR : NULL value in %s : %.*s\n", __PRETTY_FUNCTION__, int(key.size()), key.data());
    if (!isSettingsKey(key) || key.starts_with(app::keys::MetaDataPrefix)) return;
    setSetting(std::string(key), value ? std::move(*value) : Value());
}

void MyDocument::setSetting(const std::string& key, Value value) {
    store(key, std::move(value));
    const bool observed = observingSettings_.load() && isObservedKey(key);
    if (key.starts_with(app::keys::FilterPrefix) || observed) markAdjustedImageDirty({key});
}

void MyDocument::store(const std::string& key, Value value) {
    {
        std::lock_guard guard(settingsLock_);
        imageParameters_[key] = std::move(value);
    }
    notifyObservers(key);
}

void MyDocument::removeSetting(std::string_view key) {
    {
        std::lock_guard guard(settingsLock_);
        if (imageParameters_.erase(std::string(key)) == 0) return;
    }
    notifyObservers(std::string(key));
}

platform::ObserverToken MyDocument::addObserver(std::string_view keyPath, KeyObserver observer) {
    if (!isSettingsKey(keyPath) || !observer) return {};
    std::lock_guard guard(observersLock_);
    const uint64_t id = nextObserver_++;
    observers_.emplace(id, Observer{std::string(keyPath), std::move(observer)});
    return platform::ObserverToken{id};
}

void MyDocument::removeObserver(platform::ObserverToken token) {
    std::lock_guard guard(observersLock_);
    observers_.erase(token.id);
}

void MyDocument::notifyObservers(const std::string& key) {
    std::vector<KeyObserver> callbacks;
    {
        std::lock_guard guard(observersLock_);
        for (const auto& [id, o] : observers_)
            if (o.keyPath == key) callbacks.push_back(o.callback);
    }
    for (const auto& callback : callbacks)
        callback(key);
}

bool MyDocument::settingPresent(std::string_view key) const {
    std::lock_guard guard(settingsLock_);
    auto it = imageParameters_.find(std::string(key));
    return it != imageParameters_.end() && !it->second.isNull();
}

Dictionary MyDocument::getSettingsDictionary() const {
    std::lock_guard guard(settingsLock_);
    return imageParameters_;
}

Dictionary MyDocument::getDefaultsDictionary() const {
    std::lock_guard guard(settingsLock_);
    return imageDefaults_;
}

std::shared_ptr<ThreadedImageEngine> MyDocument::displayEngine() const {
    std::lock_guard guard(settingsLock_);
    return displayEngine_;
}

std::shared_ptr<ImageWrapper> MyDocument::wrapper() const {
    auto engine = displayEngine();
    return engine ? engine->rawFileWrapper() : nullptr;
}

std::optional<Dictionary> MyDocument::getCameraParameters() {
    auto engine = displayEngine();
    return engine ? engine->cameraParameters() : std::nullopt;
}

std::shared_ptr<TiledEngine> MyDocument::originalImage() {
    auto engine = displayEngine();
    return engine ? engine->demosaicedImage() : nullptr;
}

std::shared_ptr<TiledEngine> MyDocument::adjustedImage() { return outputImage(); }

std::shared_ptr<TiledEngine> MyDocument::outputImage() {
    auto engine = displayEngine();
    return engine ? engine->outputImage() : nullptr;
}

// --- Re-rendering --------------------------------------------------------------------------

void MyDocument::invalidateEngine(ThreadedImageEngine& engine,
                                  const std::optional<std::vector<std::string>>& keys,
                                  const Dictionary& parameters, const platform::Rect& area) {
    engine.invalidateImageStage(keys, parameters, area);
}

void MyDocument::markAdjustedImageDirty(const std::vector<std::string>& keys) {
    platform::Rect area = platform::Rect::null();
    for (const auto& window : windowControllers()) {
        const platform::Rect r = window->activeTiledRect();
        if (r.isNull() || r.x < 0 || r.y < 0 || r.width < 0 || r.height < 0) continue;
        area = r; // the last window with a valid area wins; areas are not joined
    }
    auto engine = displayEngine();
    if (!engine) return;
    invalidateEngine(*engine, keys, getSettingsDictionary(), area);
}

void MyDocument::setToDefault(std::string_view key) {
    std::optional<Value> value;
    {
        std::lock_guard guard(settingsLock_);
        auto it = imageDefaults_.find(std::string(key));
        if (it != imageDefaults_.end()) value = it->second;
    }
    if (!value) return;
    store(std::string(key), std::move(*value));
    markAdjustedImageDirty({std::string(key)});
}

void MyDocument::addSettingValues(const std::optional<Dictionary>& values) {
    if (!values) return;
    std::vector<std::string> changed;
    for (const auto& [key, value] : *values) {
        if (key.starts_with(app::keys::MetaDataPrefix)) continue;
        if (value.isDictionary() && !isProfileForm(value)) {
            {
                std::lock_guard guard(settingsLock_);
                Value& existing = imageParameters_[key];
                if (Dictionary* into = existing.dictionary())
                    for (const auto& [k, v] : *value.dictionary())
                        (*into)[k] = v;
                else
                    existing = value;
            }
            notifyObservers(key);
            continue;
        }
        store(key, value);
        changed.push_back(key);
        if (equalsIgnoringCase(key, app::keys::InputTemperature)) removeSetting(app::keys::UseAsShotWB);
    }
    if (!changed.empty()) markAdjustedImageDirty(changed);
}

// --- White balance -------------------------------------------------------------------------

std::optional<ColorHelper> MyDocument::wbFromMetaData() {
    auto source = wrapper();
    auto parameters = source ? source->getParameters() : std::nullopt;
    // A file that recorded no white (a decoder's (0, 0)) is balanced for the rendering's own.
    const auto white = parameters ? WhiteBalance::asShotWhite(*parameters) : std::nullopt;
    if (!white) return std::nullopt;
    ColorHelper colour;
    colour.setFromxyCoord((*white)[0], (*white)[1]);
    return colour;
}

void MyDocument::setWBFromColor(ColorHelper& colour) {
    colour.setFTemperature(std::clamp(colour.fTemperature(), 1000.0f, 14000.0f));
    colour.setFTint(std::clamp(colour.fTint(), -150.0f, 150.0f));
    for (const auto& window : windowControllers())
        window->setTempAndTint(colour.fTemperature(), colour.fTint());
    store(std::string(app::keys::InputTemperature), colour.fTemperature());
    store(std::string(app::keys::InputTint), colour.fTint());
}

void MyDocument::setWBToAsShotFromImageParameters() {
    if (auto colour = wbFromMetaData()) setWBFromColor(*colour);
}

void MyDocument::setWBAsShot() {
    auto colour = wbFromMetaData();
    if (!colour) return;
    setWBFromColor(*colour);
    markAdjustedImageDirty({std::string(app::keys::InputTemperature)});
}

void MyDocument::setWBFromPoint(double x, double y) {
    auto engine = displayEngine();
    auto source = engine ? engine->rawFileWrapper() : nullptr;
    auto parameters = source ? source->getParameters() : std::nullopt;
    const auto asShot = parameters ? WhiteBalance::asShotWhite(*parameters) : std::nullopt;
    if (!asShot) return;
    auto demosaiced = engine->demosaicedImage();
    std::array<double, 4> values{};
    if (!demosaiced || !demosaiced->getPixelValues(double(int64_t(x)), double(int64_t(y)), 5, values)) {
        LV_LOG("%s Warning: getPixelValues failed for %f %f", __PRETTY_FUNCTION__, x, y);
        return;
    }
    const Matrix3x3 toAsShot = ColorHelper::MapWhiteMatrix(ColorHelper::D50_xy_coord(), *asShot);
    const XYZCoord xyz = ColorHelper::ProPhotoRGBtoXYZ(float(values[0]), float(values[1]), float(values[2]));
    ColorHelper colour;
    colour.setFromXYZCoord(apply3x3(toAsShot, xyz));
    setWBFromColor(colour);
    markAdjustedImageDirty({std::string(app::keys::InputTemperature)});
}

void MyDocument::setSceneReferred(bool sceneReferred) {
    for (const auto& window : windowControllers())
        window->setSceneReferred(sceneReferred);
    setSetting(std::string(app::keys::SceneReferred), sceneReferred);
}

// --- Crop, orientation, probe --------------------------------------------------------------

void MyDocument::cropRectChanged(const platform::Rect& rect) {
    using namespace app::keys;
    store(std::string(CropRectX), float(rect.x));
    store(std::string(CropRectY), float(rect.y));
    store(std::string(CropRectWidth), float(rect.width));
    store(std::string(CropRectHeight), float(rect.height));
}

platform::Rect MyDocument::getCropRect() const {
    using namespace app::keys;
    const platform::Rect none{-1, -1, -1, -1};
    const Dictionary settings = getSettingsDictionary();
    const auto height = numberFor(settings, CropRectHeight);
    if (!height) return none;
    platform::Rect r = none;
    r.x = numberFor(settings, CropRectX).value_or(-1);
    r.y = numberFor(settings, CropRectY).value_or(-1);
    r.width = numberFor(settings, CropRectWidth).value_or(-1);
    r.height = *height;
    if (r.width < 16 || r.height < 16) return none;
    return r;
}

void MyDocument::orientationChanged(int orientation) {
    store(std::string(app::keys::ImageOrientation), float(orientation));
}

int MyDocument::getOrientation() const {
    const auto code = numberFor(getSettingsDictionary(), app::keys::ImageOrientation);
    return code ? int(*code) : 1;
}

std::string MyDocument::pixelValueText(const std::optional<std::array<double, 4>>& values) {
    if (!values) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "R:%5.1f, G:%5.1f, B:%5.1f", srgbPercent((*values)[0]),
                  srgbPercent((*values)[1]), srgbPercent((*values)[2]));
    return text;
}

std::string MyDocument::pixelValueString(double x, double y) {
    auto engine = displayEngine();
    if (!engine) return pixelValueText(std::nullopt);
    std::array<double, 4> values{};
    std::lock_guard guard(documentLock_);
    if (!engine->getPixelValues(int32_t(x), int32_t(y), values)) return pixelValueText(std::nullopt);
    return pixelValueText(values);
}

// --- Display, windows, closing -------------------------------------------------------------

void MyDocument::documentIsForDisplay(bool forDisplay) {
    auto engine = displayEngine();
    if (!forDisplay || !engine) return;
    engine->setDelegate(std::weak_ptr<ThreadedImageEngineDelegate>(weak_from_this()));
    engine->configureRenderingSpaceForType(std::nullopt, false);
    invalidateEngine(*engine, std::nullopt, getSettingsDictionary(), platform::Rect::null());
}

void MyDocument::addWindowController(std::shared_ptr<DocumentWindow> window) {
    if (!window) return;
    observingSettings_ = true;
    std::lock_guard guard(settingsLock_);
    windows_.push_back(std::move(window));
}

void MyDocument::removeWindowController(const std::shared_ptr<DocumentWindow>& window) {
    std::lock_guard guard(settingsLock_);
    std::erase(windows_, window);
}

std::vector<std::shared_ptr<DocumentWindow>> MyDocument::windowControllers() const {
    std::lock_guard guard(settingsLock_);
    return windows_;
}

void MyDocument::close() {
    if (closed_.exchange(true)) return;
    auto engine = displayEngine();
    // Only a document that was shown and kept its images stores its settings.
    if (engine && engine->hasDelegate() && settingPresent(app::keys::UUID)) {
        CatalogStore& stores = CatalogStore::sharedMultiDataStore();
        const Dictionary entry = stores.serializeToPList(getSettingsDictionary());
        Error error;
        auto catalog = stores.dataStoreForStore(kCatalogStore);
        if (!catalog || !catalog->addItem(&entry, &error))
            LV_LOG("%s Error: could not store the catalog entry: %s", __PRETTY_FUNCTION__,
                   error.failureReason.c_str());
    }
    observingSettings_ = false;
    if (engine) engine->setDelegate(nullptr);
    std::lock_guard guard(settingsLock_);
    displayEngine_.reset();
    windows_.clear();
}

// --- Engine callbacks ----------------------------------------------------------------------

bool MyDocument::wrapperReportsError(std::optional<Error>* error) const {
    auto source = wrapper();
    auto reported = source ? source->error() : std::nullopt;
    if (error) *error = reported;
    return reported.has_value();
}

void MyDocument::CIImageEngineDidStart(ThreadedImageEngine&) {
    platform::MainQueue::shared().async([weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self || self->closed_) return;
        platform::NotificationCenter::defaultCenter().post(platform::notification::EngineDidStart,
                                                           self.get());
    });
}

void MyDocument::CIImageEngineNewMetaData(ThreadedImageEngine&) {
    // The defaults belong to the main thread, where resetting a key reads them.
    platform::MainQueue::shared().async([weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self) return;
        auto colour = self->wbFromMetaData();
        if (!colour) return;
        std::lock_guard guard(self->settingsLock_);
        self->imageDefaults_[std::string(app::keys::InputTemperature)] = colour->fTemperature();
        self->imageDefaults_[std::string(app::keys::InputTint)] = colour->fTint();
    });
}

void MyDocument::CIImageEngineDidFinish(ThreadedImageEngine&) {
    platform::MainQueue::shared().async([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->didFinishOnMain();
    });
}

void MyDocument::didFinishOnMain() {
    if (closed_) return;
    std::optional<Error> error;
    if (wrapperReportsError(&error)) {
        LV_LOG("%s Error: %s", __PRETTY_FUNCTION__, error->failureReason.c_str());
        if (errorPresented_) return;
        errorPresented_ = true;
        AlertPresenter::shared().presentError(*error, this);
        for (const auto& window : windowControllers())
            window->closeWindow();
        return;
    }
    if (!settingPresent(app::keys::InputTemperature)) setWBAsShot();
    if (!settingPresent(app::keys::SceneReferred)) {
        auto source = wrapper();
        setSceneReferred(!(source && source->isOutputReferred()));
    }
    removeSetting(app::keys::UseAsShotWB);
    platform::NotificationCenter::defaultCenter().post(platform::notification::NewProcessedImage, this);
}

void MyDocument::CIImageEngineDidUpdateActiveArea(ThreadedImageEngine&) {
    platform::MainQueue::shared().async([weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self || self->closed_ || self->wrapperReportsError()) return;
        platform::NotificationCenter::defaultCenter().post(platform::notification::UpdatedImage, self.get());
    });
}
