// Process entry: application, window, title, event loop.
#include "app/velora.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication a(argc, argv);
    velora w;
    show_main_window(w);
    return a.exec();
}
