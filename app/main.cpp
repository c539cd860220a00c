// Process entry: application, window, title, event loop.
#include "app/qt_translation.h"
#include "app/velora.h"
#include "app/window_fit.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // At 150 % the whole form scales, not its fonts alone; 1.5 stays 1.5 rather than rounding to 2.
    // Qt 6 always scales.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
#endif
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication a(argc, argv);
    // The per-user data folder, where the mark library lives, is named for it.
    QCoreApplication::setApplicationName(QStringLiteral("velora"));
    // Qt's own dialogs and menus in Chinese too, whatever the system's language.
    install_qt_translation();
    settle_start_folder();
    velora w;
    show_main_window(w);
    return a.exec();
}
