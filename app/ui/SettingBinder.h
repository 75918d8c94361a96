#pragma once
// Binds controls to settings keys: a control's objectName is its key (digits trimmed, so a
// slider named by a key K and its field "K2" share one key). A
// user's change sets the document's value; a change of the value from anywhere refreshes every
// control of that key. Sliders (integers) map linearly onto the key's range in 1000 steps;
// fields parse with the number formatter; check boxes hold booleans; pop-ups hold their index,
// or the item's data when it has one (profiles as property-list forms).
#include <map>
#include <string>
#include <vector>

#include <QMetaType>
#include <QObject>

#include "platform/Value.h"

class BindableSettings;
class QWidget;

class SettingBinder : public QObject {
    Q_OBJECT
  public:
    static constexpr int kSliderSteps = 1000;

    explicit SettingBinder(BindableSettings* settings, QObject* parent = nullptr);
    ~SettingBinder() override;

    // Binds every control below `root` whose key starts with the settings prefix.
    void bindTree(QWidget* root);
    void bind(QWidget* control);
    // Stops observing (the window closes before the document goes).
    void unbindAll();

    // Puts the current value into every control of the key.
    void refresh(const std::string& key);
    const std::vector<QWidget*>& controlsForKey(const std::string& key) const;

  private:
    void userChanged(QWidget* control, const std::string& key);
    void show(QWidget* control, const std::string& key);

    BindableSettings* settings_;
    std::map<std::string, std::vector<QWidget*>> controls_;
    std::map<std::string, int> tokens_;
};

// Pop-up items carry settings values (a profile's property-list form) as their data.
Q_DECLARE_METATYPE(platform::Value)
