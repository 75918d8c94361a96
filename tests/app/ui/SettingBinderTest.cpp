#include "app/ui/SettingBinder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QWidget>
#include <map>

#include "app/ui/BindableSettings.h"
#include "settings/Schema.h"
#include "tests/app/ui/WindowTestSupport.h"

namespace {

// Settings that notify their observers synchronously, as the document does on the main thread.
class FakeSettings : public BindableSettings {
  public:
    platform::Value settingValue(std::string_view key) const override {
        auto it = values.find(std::string(key));
        return it == values.end() ? platform::Value() : it->second;
    }
    void setSettingValue(std::string_view key, const platform::Value& value) override {
        ++sets;
        values[std::string(key)] = value;
        notify(key);
    }
    int observeSetting(std::string_view key, std::function<void()> changed) override {
        observers[++lastToken] = {std::string(key), std::move(changed)};
        return lastToken;
    }
    void stopObserving(int token) override { observers.erase(token); }
    void changeFromElsewhere(std::string_view key, platform::Value value) {
        values[std::string(key)] = std::move(value);
        notify(key);
    }

    std::map<std::string, platform::Value> values;
    std::map<int, std::pair<std::string, std::function<void()>>> observers;
    int lastToken = 0;
    int sets = 0;

  private:
    void notify(std::string_view key) {
        for (auto& [token, observer] : observers)
            if (observer.first == key) observer.second();
    }
};

QApplication& app() { return windowtest::app(); }

struct Pane {
    QWidget root;
    QSlider* slider = new QSlider(&root);
    QLineEdit* field = new QLineEdit(&root);
    QCheckBox* check = new QCheckBox(&root);
    QComboBox* type = new QComboBox(&root);
    QComboBox* profile = new QComboBox(&root);
    Pane() {
        slider->setObjectName(settings::InputEV.c_str());
        field->setObjectName(QString(settings::InputEV.c_str()) + "2");
        check->setObjectName(settings::SceneReferred.c_str());
        type->setObjectName(settings::ExportFileType.c_str());
        type->addItems({"JPEG", "TIFF", "DNG"});
        profile->setObjectName(settings::CameraProfile.c_str());
        platform::Dictionary a{{"name", platform::Value("A")}};
        platform::Dictionary b{{"name", platform::Value("B")}};
        profile->addItem("A", QVariant::fromValue(platform::Value(a)));
        profile->addItem("B", QVariant::fromValue(platform::Value(b)));
    }
};

} // namespace

TEST(SettingBinder, ControlsShowTheValuesAndSliderAndFieldShareAKey) {
    app();
    FakeSettings settings;
    settings.values = {{settings::InputEV.c_str(), platform::Value(1.0)},
                       {settings::SceneReferred.c_str(), platform::Value(true)},
                       {settings::ExportFileType.c_str(), platform::Value(2)},
                       {settings::CameraProfile.c_str(),
                        platform::Value(platform::Dictionary{{"name", platform::Value("B")}})}};
    Pane pane;
    SettingBinder binder(&settings);
    binder.bindTree(&pane.root);

    EXPECT_EQ(binder.controlsForKey(settings::InputEV.c_str()).size(), 2u);
    EXPECT_EQ(pane.slider->value(), 600); // EV -5..5 in 1000 steps
    EXPECT_EQ(pane.field->text(), "1");
    EXPECT_TRUE(pane.check->isChecked());
    EXPECT_EQ(pane.type->currentIndex(), 2);
    EXPECT_EQ(pane.profile->currentIndex(), 1);
    EXPECT_EQ(settings.sets, 0); // showing values sets nothing

    // A user's slider move sets the key and the field follows.
    pane.slider->setValue(700);
    EXPECT_DOUBLE_EQ(settings.values[settings::InputEV.c_str()].doubleValue(), 2.0);
    EXPECT_EQ(pane.field->text(), "2");

    // A field entry beyond the range is held to it by the formatter.
    pane.field->setText("12");
    Q_EMIT pane.field->editingFinished();
    EXPECT_DOUBLE_EQ(settings.values[settings::InputEV.c_str()].doubleValue(), 5.0);
    EXPECT_EQ(pane.slider->value(), 1000);

    pane.profile->setCurrentIndex(0);
    Q_EMIT pane.profile->activated(0);
    EXPECT_EQ(settings.values[settings::CameraProfile.c_str()],
              platform::Value(platform::Dictionary{{"name", platform::Value("A")}}));
}

TEST(SettingBinder, ChangesFromElsewhereRefreshAndUnbindStopsObserving) {
    app();
    FakeSettings settings;
    Pane pane;
    {
        SettingBinder binder(&settings);
        binder.bindTree(&pane.root);
        settings.changeFromElsewhere(settings::InputEV.c_str(), -5.0);
        EXPECT_EQ(pane.slider->value(), 0);
        settings.changeFromElsewhere(settings::SceneReferred.c_str(), false);
        EXPECT_FALSE(pane.check->isChecked());
        EXPECT_EQ(settings.sets, 0);              // refreshing a control does not write back
        EXPECT_EQ(settings.observers.size(), 4u); // one observation a key
    }
    EXPECT_TRUE(settings.observers.empty());
}
