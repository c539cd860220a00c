// Windows: the window is placed by velora, as Windows opens it wherever the
// default position puts it, partly below the taskbar on a small screen.
#include "app/window_fit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>
#include <QWindow>

#include <windows.h>

#include <algorithm>
#include <cmath>

namespace {

// The frame in device-independent pixels, each side rounded up: Qt rounds the
// frame's 5 pixels at 150 % to 3, and the window then ends a pixel below the
// work area. Only a window of the windows platform has an HWND behind it.
QMargins frame_margins(QWindow &handle)
{
    if (QGuiApplication::platformName() != QLatin1String("windows"))
        return handle.frameMargins();
    const auto hwnd = reinterpret_cast<HWND>(handle.winId());
    RECT outer, client;
    POINT origin = {0, 0};
    if (!GetWindowRect(hwnd, &outer) || !GetClientRect(hwnd, &client) || !ClientToScreen(hwnd, &origin))
        return handle.frameMargins();
    const qreal ratio = handle.devicePixelRatio();
    auto up = [ratio](long pixels) { return int(std::ceil(qreal(std::max(0L, pixels)) / ratio)); };
    return QMargins(up(origin.x - outer.left), up(origin.y - outer.top), up(outer.right - origin.x - client.right),
                    up(outer.bottom - origin.y - client.bottom));
}

}  // namespace

void fit_window_to_screen(QWidget &window)
{
    window.winId();  // the native window exists from here on, and with it its frame
    QWindow *handle = window.windowHandle();
    QScreen *screen = handle ? handle->screen() : nullptr;
    if (!screen)
        return;
    // Device-independent pixels throughout: at 150 % the screen's 1920 × 1080 are 1280 × 720.
    window.setGeometry(fitted_window_geometry(screen->availableGeometry(), frame_margins(*handle), window.size(),
                                              window.minimumSize()));
}

void settle_start_folder()
{
    const QString here = QFileInfo(QDir::currentPath()).canonicalFilePath();
    const QString program = QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath();
    if (here.isEmpty() || here.compare(program, Qt::CaseInsensitive) != 0)
        return;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        QDir::setCurrent(documents);
}
