#pragma once
// One opened raw file: its settings dictionary (what the catalog and presets store), the
// engine that renders it, and the operations the editing window drives: white balance,
// crop, orientation, the pixel probe, export and the external-editor exchange. A document
// is never saved; closing stores its settings in the catalog when it was shown.
//
// Make it with create(); it lives in a shared_ptr, since the engine and the main-queue
// tasks reach it through weak references. Key-value access, observation and window work
// belong to the main thread; the engine calls the delegate operations on its own queue.
//
//   auto document = MyDocument::create();
//   if (!document->read(path, &error)) ...
//   document->addWindowController(window);
//   document->documentIsForDisplay(true); // first render; "Tarnwell_NewProcessedImage" follows
//   ...
//   document->close();                     // stores the catalog entry
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/DocumentWindow.h"
#include "app/core/FileManagerOps.h"
#include "color/ColorHelper.h"
#include "engine/stages/ThreadedImageEngine.h"
#include "platform/Error.h"
#include "platform/Geometry.h"
#include "platform/NotificationCenter.h"
#include "platform/Value.h"
#include "settings/Schema.h"

class ImageWrapper;
class TiledEngine;

class MyDocument : public ThreadedImageEngineDelegate, public std::enable_shared_from_this<MyDocument> {
  protected:
    struct CreateKey {};

  public:
    // Called with the key after its value changed (on the changing thread, no lock held).
    using KeyObserver = std::function<void(const std::string& key)>;

    // The settings the document watches once it has a window: a change re-renders.
    static constexpr auto kObservedKeys = settings::kObservedKeys;

    // Settings filled with the defaults plus UseAsShotWB (true).
    static std::shared_ptr<MyDocument> create();
    explicit MyDocument(CreateKey);
    ~MyDocument() override;
    MyDocument(const MyDocument&) = delete;
    MyDocument& operator=(const MyDocument&) = delete;

    // Opens a raw file (a path or a file:// URI; a JPEG or TIFF name is a proxy whose raw
    // file is looked up in the search folder), restores its catalog entry or the preset
    // "Default" and makes its engine. False with a "LumivarErrorDomain" error otherwise.
    bool read(const std::string& location, platform::Error* error = nullptr);
    // The raw file's last path component, once read.
    const std::string& displayName() const { return displayName_; }
    // The raw file itself (a proxy's raw file), once read.
    const std::optional<std::filesystem::path>& rawFile() const { return rawFile_; }

    // Key-value access. A key under the metadata prefix reads the image's metadata dictionary;
    // other keys under the settings prefixes (settings/Schema.h) the settings (a stored null
    // reads as none).
    std::optional<platform::Value> valueForKey(std::string_view key) const;
    // Stores (none stores a null); an adjustment key (the filter prefix) re-renders, and so
    // does an observed key once a window has been added. Other keys are ignored.
    void setValue(std::optional<platform::Value> value, std::string_view key);
    // For settings keys only; a null token for any other key path.
    platform::ObserverToken addObserver(std::string_view keyPath, KeyObserver observer);
    void removeObserver(platform::ObserverToken token);

    // A copy of the settings dictionary, taken under the document's lock.
    platform::Dictionary getSettingsDictionary() const;
    platform::Dictionary getDefaultsDictionary() const;
    std::optional<platform::Dictionary> getCameraParameters();
    std::shared_ptr<TiledEngine> originalImage();
    std::shared_ptr<TiledEngine> adjustedImage();
    std::shared_ptr<TiledEngine> outputImage();
    std::shared_ptr<ThreadedImageEngine> displayEngine() const;

    // Hands the keys to the engine with the visible area of the last window that has one.
    void markAdjustedImageDirty(const std::vector<std::string>& keys);
    void setToDefault(std::string_view key);
    // Merges a catalog entry or a preset: plain values are set and re-render once together;
    // a profile form replaces the old one whole; other dictionaries are merged.
    void addSettingValues(const std::optional<platform::Dictionary>& values);

    // White balance.
    std::optional<ColorHelper> wbFromMetaData();
    void setWBFromColor(ColorHelper& colour);
    void setWBToAsShotFromImageParameters();
    void setWBAsShot();
    void setWBFromPoint(double x, double y);
    void setSceneReferred(bool sceneReferred);

    // Crop in pixels of the unrotated image, origin top left; (-1, -1, -1, -1) is none.
    void cropRectChanged(const platform::Rect& rect);
    platform::Rect getCropRect() const;
    void orientationChanged(int orientation);
    int getOrientation() const;

    // The probe text of the rendered pixel, "R:%5.1f, G:%5.1f, B:%5.1f" in sRGB percent.
    std::string pixelValueString(double x, double y);
    // That text for three linear values; "-" for none.
    static std::string pixelValueText(const std::optional<std::array<double, 4>>& values);

    bool openedFromExternal() const { return extEditorURL_.has_value(); }
    const std::optional<std::filesystem::path>& extEditorURL() const { return extEditorURL_; }

    // Shown: becomes the engine's delegate and asks for the first render.
    void documentIsForDisplay(bool forDisplay);

    // The document holds its windows; the first one makes it watch its observed keys.
    void addWindowController(std::shared_ptr<DocumentWindow> window);
    void removeWindowController(const std::shared_ptr<DocumentWindow>& window);
    std::vector<std::shared_ptr<DocumentWindow>> windowControllers() const;

    // Stores the catalog entry when the engine still has its delegate, then lets the
    // engine and the windows go. The windows themselves are closed by the caller. Once.
    void close();
    bool isClosed() const { return closed_; }

    // Renders the whole image (or a crop: a width or height below 1 is none) and writes it
    // as the type ("public.jpeg", "public.tiff", "com.adobe.dng", "com.ilm.openexr-image").
    // Runs off the main thread; unless images may be released, the engine is shown again.
    bool exportToURL(const std::filesystem::path& url, std::string_view type, const platform::Rect& crop,
                     bool canReleaseImages, platform::Error* error = nullptr);
    // The output stage's rectangle of a crop (origin top left) in an image of that extent;
    // a crop narrower or lower than one pixel is the whole image.
    static platform::Rect exportRect(const platform::Rect& crop, const platform::Rect& extent);
    // The lossy compression quality, 0 to 1: the JPEG quality setting / 10, 1 for DNG and TIFF.
    static double exportQuality(const platform::Dictionary& settings, std::string_view type);
    // Writes the export over the proxy this document was opened from.
    bool updateExternalEditor(platform::Error* error = nullptr);
    // The raw base name a proxy name stands for.
    static std::optional<std::string> parseToBaseName(std::string_view name) {
        return app::parseToBaseName(name);
    }

    // Engine delegate operations (the engine's queue).
    void CIImageEngineDidStart(ThreadedImageEngine& engine) override;
    void CIImageEngineNewMetaData(ThreadedImageEngine& engine) override;
    void CIImageEngineDidFinish(ThreadedImageEngine& engine) override;
    void CIImageEngineDidUpdateActiveArea(ThreadedImageEngine& engine) override;

  protected:
    // Seams for tests: the wrapper of a raw file, and the engine's render request.
    virtual std::shared_ptr<ImageWrapper> createWrapper(const std::filesystem::path& rawFile);
    virtual void invalidateEngine(ThreadedImageEngine& engine,
                                  const std::optional<std::vector<std::string>>& keys,
                                  const platform::Dictionary& parameters, const platform::Rect& area);
    void fillDefaults();

  private:
    struct Observer {
        std::string keyPath;
        KeyObserver callback;
    };

    // Stores under the settings lock, then tells the key's observers.
    void store(const std::string& key, platform::Value value);
    void removeSetting(std::string_view key);
    // Stores, then re-renders for an adjustment key, or an observed one once watched.
    void setSetting(const std::string& key, platform::Value value);
    void notifyObservers(const std::string& key);
    bool settingPresent(std::string_view key) const;
    static platform::Error noDecoderError(const std::filesystem::path& file);
    std::optional<std::filesystem::path> resolveLocation(const std::string& location, platform::Error* error);
    std::optional<std::filesystem::path> rawFileForProxy(const std::filesystem::path& proxy,
                                                         platform::Error* error);
    void didFinishOnMain();
    bool wrapperReportsError(std::optional<platform::Error>* error = nullptr) const;
    std::shared_ptr<ImageWrapper> wrapper() const;
    void restoreDisplay(ThreadedImageEngine& engine);
    platform::Error renderFailure() const;
    bool renderAndWrite(ThreadedImageEngine& engine, const std::filesystem::path& url, std::string_view type,
                        const platform::Rect& crop, platform::Error* error);

    // Guards both dictionaries, the windows and the engine pointer; held only briefly.
    mutable std::mutex settingsLock_;
    platform::Dictionary imageParameters_;
    platform::Dictionary imageDefaults_;
    std::shared_ptr<ThreadedImageEngine> displayEngine_;
    std::vector<std::shared_ptr<DocumentWindow>> windows_;
    // The pixel probe and the export's rendering take turns.
    std::mutex documentLock_;

    mutable std::mutex observersLock_;
    std::map<uint64_t, Observer> observers_;
    uint64_t nextObserver_ = 1;

    std::string displayName_;
    std::optional<std::filesystem::path> rawFile_;
    std::optional<std::filesystem::path> secureBookmark_;
    std::optional<app::ExtensionPriorities> extArray_;
    std::optional<std::filesystem::path> extEditorURL_;
    std::atomic<bool> observingSettings_{false};
    bool errorPresented_ = false;
    std::atomic<bool> closed_{false};
};
