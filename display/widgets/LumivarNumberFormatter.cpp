#include "display/widgets/LumivarNumberFormatter.h"

#include <cmath>

LumivarNumberFormatter::LumivarNumberFormatter(QObject* parent) : QValidator(parent) {}

// Like a text scanner: leading white space is skipped and the longest number at the start is
// read, so "12 mm" gives 12. "nan" and "inf" are no numbers here: they would slip past the
// limits into the settings.
std::optional<double> LumivarNumberFormatter::scanNumber(const QString& text) const {
    const QString trimmed = text.trimmed();
    for (qsizetype length = trimmed.size(); length > 0; --length) {
        bool ok = false;
        const double value = locale().toDouble(QStringView(trimmed).left(length), &ok);
        if (ok) return std::isfinite(value) ? std::optional(value) : std::nullopt;
    }
    return std::nullopt;
}

double LumivarNumberFormatter::valueFor(const QString& text) const {
    const std::optional<double> scanned = scanNumber(text);
    if (!scanned) return lastGoodNumber_.value_or(0.0);
    if (maximum_ && *scanned > *maximum_) return *maximum_;
    if (minimum_ && *scanned < *minimum_) return *minimum_;
    return *scanned;
}

double LumivarNumberFormatter::getObjectValue(const QString& text) {
    const double value = valueFor(text);
    lastGoodNumber_ = value;
    return value;
}

QValidator::State LumivarNumberFormatter::validate(QString& input, int&) const {
    bool whole = false;
    const double value = locale().toDouble(input.trimmed(), &whole);
    return whole && value == valueFor(input) ? Acceptable : Intermediate;
}

void LumivarNumberFormatter::fixup(QString& input) const { input = locale().toString(valueFor(input)); }
