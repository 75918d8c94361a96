#pragma once
// The sidebar's tree: the steppers (spin boxes) and text fields inside its rows take the
// keyboard focus when clicked, whatever their layout set; other controls keep their own say.
#include <QTreeView>

class LumivarOutlineView : public QTreeView {
    Q_OBJECT
  public:
    explicit LumivarOutlineView(QWidget* parent = nullptr);

    // Whether a click may give `responder` the keyboard focus.
    bool validateProposedFirstResponder(const QWidget* responder) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void adoptFocusRules(QWidget* rowContent);
};
