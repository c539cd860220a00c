// Windows: the window is placed by velora, as Windows opens it wherever the
// default position puts it, partly below the taskbar on a small screen.
#include "app/window_fit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>
#include <QWindow>

void fit_window_to_screen(QWidget &window)
{
    window.winId();  // the native window exists from here on, and with it its frame
    QWindow *handle = window.windowHandle();
    QScreen *screen = handle ? handle->screen() : nullptr;
    if (!screen)
        return;
    // Device-independent pixels throughout: at 150 % the screen's 1920 × 1080 are 1280 × 720.
    window.setGeometry(fitted_window_geometry(screen->availableGeometry(), handle->frameMargins(), window.size(),
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
