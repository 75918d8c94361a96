#pragma once
// The path bar: one button per component of the shown path, from the root down.
#include <filesystem>
#include <vector>

#include <QWidget>

class QHBoxLayout;
class QToolButton;

class PathBar : public QWidget {
    Q_OBJECT
  public:
    explicit PathBar(QWidget* parent = nullptr);

    void setURL(const std::filesystem::path& url);
    const std::filesystem::path& url() const { return url_; }
    // The folder each button stands for, in order.
    const std::vector<std::filesystem::path>& componentURLs() const { return components_; }
    QToolButton* button(int index) const;

  Q_SIGNALS:
    void componentClicked(const QString& path);
    void componentDoubleClicked(const QString& path);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QHBoxLayout* row_;
    std::filesystem::path url_;
    std::vector<std::filesystem::path> components_;
    std::vector<QToolButton*> buttons_;
};
