#pragma once
// The application's own image ("LumivarIcon"): drawn here, so no binary file is needed.
#include <QIcon>
#include <QImage>

namespace appui {

QImage lumivarIconImage(int size = 256);
QIcon lumivarIcon();

} // namespace appui
