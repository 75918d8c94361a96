#include "app/ui/SettingBinder.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <QSlider>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "app/ui/BindableSettings.h"
#include "app/ui/ControlRanges.h"
#include "app/ui/WindowCommands.h"
#include "display/widgets/LumivarNumberFormatter.h"
#include "settings/Schema.h"

namespace {

ControlRange rangeFor(const std::string& key) {
    if (auto range = controlRangeForKey(key)) return *range;
    return {key, 0.0, 1.0};
}

int sliderPosition(const std::string& key, double value) {
    const ControlRange range = rangeFor(key);
    const double span = range.maximum - range.minimum;
    if (!(span > 0) || !std::isfinite(value)) return 0;
    const double t = std::clamp((value - range.minimum) / span, 0.0, 1.0);
    return int(std::lround(t * SettingBinder::kSliderSteps));
}

double sliderValue(const std::string& key, int position) {
    const ControlRange range = rangeFor(key);
    return range.minimum + (range.maximum - range.minimum) * position / SettingBinder::kSliderSteps;
}

QString fieldText(double value) { return QString::number(value, 'g', 6); }

} // namespace

SettingBinder::SettingBinder(BindableSettings* settings, QObject* parent)
    : QObject(parent), settings_(settings) {}

SettingBinder::~SettingBinder() { unbindAll(); }

void SettingBinder::bindTree(QWidget* root) {
    if (!root) return;
    bind(root);
    for (QWidget* child : root->findChildren<QWidget*>())
        bind(child);
}

void SettingBinder::bind(QWidget* control) {
    const std::string key = window_commands::parameterID(control->objectName().toStdString());
    if (!key.starts_with(settings::Prefix)) return;
    auto& list = controls_[key];
    if (std::find(list.begin(), list.end(), control) != list.end()) return;
    list.push_back(control);

    if (auto* slider = qobject_cast<QSlider*>(control)) {
        slider->setRange(0, kSliderSteps);
        connect(slider, &QSlider::valueChanged, this, [this, control, key] { userChanged(control, key); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setCheckable(true);
        connect(button, &QAbstractButton::toggled, this, [this, control, key] { userChanged(control, key); });
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        connect(combo, &QComboBox::activated, this, [this, control, key] { userChanged(control, key); });
    } else if (auto* field = qobject_cast<QLineEdit*>(control)) {
        auto* formatter = new LumivarNumberFormatter(field);
        const ControlRange range = rangeFor(key);
        formatter->setMinimum(range.minimum);
        formatter->setMaximum(range.maximum);
        field->setValidator(formatter);
        connect(field, &QLineEdit::editingFinished, this,
                [this, control, key] { userChanged(control, key); });
    }
    if (!tokens_.count(key)) {
        QPointer<SettingBinder> self(this);
        tokens_[key] = settings_->observeSetting(key, [self, key] {
            if (self) self->refresh(key);
        });
    }
    show(control, key);
}

void SettingBinder::unbindAll() {
    for (const auto& [key, token] : tokens_)
        settings_->stopObserving(token);
    tokens_.clear();
    controls_.clear();
}

const std::vector<QWidget*>& SettingBinder::controlsForKey(const std::string& key) const {
    static const std::vector<QWidget*> none;
    auto it = controls_.find(key);
    return it == controls_.end() ? none : it->second;
}

void SettingBinder::refresh(const std::string& key) {
    auto it = controls_.find(key);
    if (it == controls_.end()) return;
    for (QWidget* control : it->second)
        show(control, key);
}

void SettingBinder::show(QWidget* control, const std::string& key) {
    const platform::Value value = settings_->settingValue(key);
    const QSignalBlocker block(control);
    if (auto* slider = qobject_cast<QSlider*>(control)) {
        slider->setValue(sliderPosition(key, value.doubleValue()));
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setChecked(value.isNumber() && value.doubleValue() != 0);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        int index = -1;
        for (int i = 0; i < combo->count() && index < 0; ++i) {
            const QVariant data = combo->itemData(i);
            if (data.isValid() && data.canConvert<platform::Value>() &&
                data.value<platform::Value>() == value)
                index = i;
        }
        if (index < 0 && value.isNumber() && !combo->itemData(0).isValid()) index = int(value.int64Value());
        combo->setCurrentIndex(index < combo->count() ? index : -1);
    } else if (auto* field = qobject_cast<QLineEdit*>(control)) {
        field->setText(value.isNull() ? QString() : fieldText(value.doubleValue()));
        if (auto* formatter = qobject_cast<const LumivarNumberFormatter*>(field->validator()))
            const_cast<LumivarNumberFormatter*>(formatter)->setLastGoodNumber(value.doubleValue());
    }
}

void SettingBinder::userChanged(QWidget* control, const std::string& key) {
    platform::Value value;
    if (auto* slider = qobject_cast<QSlider*>(control)) {
        value = sliderValue(key, slider->value());
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        value = button->isChecked();
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        const QVariant data = combo->currentData();
        if (data.isValid() && data.canConvert<platform::Value>())
            value = data.value<platform::Value>();
        else
            value = int64_t(combo->currentIndex());
    } else if (auto* field = qobject_cast<QLineEdit*>(control)) {
        auto* formatter = qobject_cast<const LumivarNumberFormatter*>(field->validator());
        value = formatter ? const_cast<LumivarNumberFormatter*>(formatter)->getObjectValue(field->text())
                          : field->text().toDouble();
    } else {
        return;
    }
    settings_->setSettingValue(key, value);
    // The document notifies its observers; refresh the others of this key in case it did not.
    refresh(key);
}
