#pragma once
// The editing window as the lumivar program's window: it follows the document's renders (the
// engine's start, the finished image, a failure the document presented) and the tiles of the
// view, for the automation's waits and screenshots. A child of the window, gone with it.
#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

#include "app/main/LumivarProgram.h"
#include "app/main/ProgramWindow.h"
#include "app/main/TilesSettled.h"
#include "app/ui/EditingWindow.h"
#include "platform/NotificationCenter.h"

class DocumentWindow;
class MyDocument;

class EditingProgramWindow : public QObject, public ProgramWindow {
    Q_OBJECT
  public:
    EditingProgramWindow(EditingWindow* window, std::shared_ptr<MyDocument> document);
    ~EditingProgramWindow() override;

    EditingWindow& controller() { return *window_; }
    QWidget* widget() override;
    TiledImageView& imageView() override;
    HistogramView& histogramView() override;
    bool hasImage() const override { return hasImage_; }
    bool isRendering() const override { return rendering_; }
    const std::optional<platform::Error>& renderError() const override { return *renderError_; }
    bool tilesSettled() const override;
    std::optional<platform::Value> valueForKey(const std::string& key) override;
    void setValue(std::optional<platform::Value> value, const std::string& key) override;
    // A control set the key: a render follows when the key renders.
    void noteSettingChanged(const std::string& key);

    // Why the document could not show the image; kept by the program after the window closed.
    std::shared_ptr<std::optional<platform::Error>> failure() const { return renderError_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class Watcher;
    void rendered();

    QPointer<EditingWindow> window_;
    std::shared_ptr<MyDocument> document_;
    std::shared_ptr<std::optional<platform::Error>> renderError_ =
        std::make_shared<std::optional<platform::Error>>();
    std::shared_ptr<Watcher> watcher_; // after renderError_, which it shares
    bool hasImage_ = false;
    bool rendering_ = true; // the first render is asked for when the window opens
    StaleTiles staleTiles_;
    std::vector<platform::ObserverToken> tokens_;
};

// The program's view of an editing window, made on first asking.
ProgramWindow* editingProgramWindowFor(EditingWindow* window);

// Opens files through the document controller, each in an editing window (an open file's
// window comes forward).
WindowOpener editingWindows();

// The error a document presented, for the window that the document then closes (the program's
// alert presenter reports every presented error here).
void notePresentedError(const MyDocument* document, const platform::Error& error);
