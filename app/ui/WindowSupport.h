#pragma once
// Small pieces the application's windows share.
#include <QIcon>
#include <functional>

#include "platform/Bitmap.h"
#include "platform/Error.h"

class QWidget;

namespace appui {

// Shows the window, raises it and gives it the keyboard.
void bringToFront(QWidget* window);

// How a window shows an error. The default is a message box modal to that window only
// (a sheet where the desktop has them), not waited for.
using ErrorPresenter = std::function<void(QWidget* window, const platform::Error& error)>;
void presentErrorSheet(QWidget* window, const platform::Error& error);
// Whether an error out-argument was filled in.
inline bool isError(const platform::Error& error) { return error.code != 0 || !error.failureReason.empty(); }

// An 8-bit RGBA bitmap as an icon; an empty icon for none or another layout.
QIcon iconFromBitmap(const platform::Bitmap* bitmap);

} // namespace appui
