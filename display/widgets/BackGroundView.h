#pragma once
// Plain views that only paint a background: behind the sidebar (a chosen colour, redrawn
// when the window's activation changes), black, and light grey. Qt draws top-down, so the
// light grey one, flipped on the other platform, is a plain view here.
#include <QColor>
#include <QWidget>
#include <optional>

class SolidBackgroundView : public QWidget {
  public:
    explicit SolidBackgroundView(QWidget* parent = nullptr);

  protected:
    virtual QColor fillColor() const = 0;
    void paintEvent(QPaintEvent* event) override;
};

class BackGroundView : public SolidBackgroundView {
    Q_OBJECT
  public:
    using SolidBackgroundView::SolidBackgroundView;

    // Without one the view takes the palette's control background.
    std::optional<QColor> bg() const { return bg_; }
    void setBg(std::optional<QColor> colour);

  protected:
    QColor fillColor() const override;
    void changeEvent(QEvent* event) override;

  private:
    std::optional<QColor> bg_;
};

class BlackBackGroundView : public SolidBackgroundView {
    Q_OBJECT
  public:
    using SolidBackgroundView::SolidBackgroundView;

  protected:
    QColor fillColor() const override { return Qt::black; }
};

class BackGroundViewFlipped : public SolidBackgroundView {
    Q_OBJECT
  public:
    using SolidBackgroundView::SolidBackgroundView;

  protected:
    QColor fillColor() const override { return Qt::lightGray; }
};
