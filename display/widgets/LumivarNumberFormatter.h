#pragma once
// A number field's validator that never rejects what is typed: a leading number is read in
// the field's locale and kept within the minimum and maximum; text without one gives the
// last good number (0 at first).
#include <QValidator>
#include <optional>

class LumivarNumberFormatter : public QValidator {
    Q_OBJECT
  public:
    explicit LumivarNumberFormatter(QObject* parent = nullptr);

    std::optional<double> minimum() const { return minimum_; }
    void setMinimum(std::optional<double> value) { minimum_ = value; }
    std::optional<double> maximum() const { return maximum_; }
    void setMaximum(std::optional<double> value) { maximum_ = value; }
    std::optional<double> lastGoodNumber() const { return lastGoodNumber_; }
    void setLastGoodNumber(std::optional<double> value) { lastGoodNumber_ = value; }

    // The value the text stands for; it becomes the last good number.
    double getObjectValue(const QString& text);

    // Typing is never refused: text that is not yet the field's number is intermediate, and
    // fixup() turns it into that number when editing ends.
    State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

  private:
    double valueFor(const QString& text) const;
    std::optional<double> scanNumber(const QString& text) const;

    std::optional<double> minimum_;
    std::optional<double> maximum_;
    std::optional<double> lastGoodNumber_;
};
