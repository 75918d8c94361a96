#pragma once
// Shared pieces of the browser tests: a thumbnailer whose answers the test chooses, and
// small JPEG files made with Qt.
#include <QBuffer>
#include <QColor>
#include <QImage>
#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/browser/Thumbnailer.h"

namespace browsertest {

inline QImage solid(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

inline std::vector<uint8_t> jpegBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return {bytes.begin(), bytes.end()};
}

// Thumbnails by file name; icons are one fixed colour. Records the threads it ran on.
class FakeThumbnailer : public browser::Thumbnailer {
  public:
    QImage thumbnail(const std::filesystem::path& file, QSize size) override {
        std::lock_guard guard(lock);
        ++calls;
        threads.push_back(std::this_thread::get_id());
        const auto found = images.find(file.filename().string());
        return found == images.end() ? QImage() : found->second.scaled(size, Qt::KeepAspectRatio);
    }
    QImage fileIcon(const std::filesystem::path&, QSize size) override { return solid(size, Qt::blue); }
    QImage typeIcon(std::string_view, QSize size) override { return solid(size, Qt::green); }

    std::mutex lock;
    std::map<std::string, QImage> images;
    int calls = 0;
    std::vector<std::thread::id> threads;
};

} // namespace browsertest
