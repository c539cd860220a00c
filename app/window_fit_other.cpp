// X11, Wayland and the rest: the window is sized by velora with the rule
// Windows uses, since a window manager opens it at the form's 1200 × 800
// even where that runs below the screen's edge. The frame is the window
// manager's and known only once it has framed the window, so the window is
// fitted again then if its frame overhangs the free area. The start folder is
// the one the user started velora in.
#include "app/window_fit.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

class RefitWhenFramed : public QObject {
public:
    RefitWhenFramed(QWidget &window, QSize wanted) : QObject(&window), window_(window), wanted_(wanted)
    {
        window.windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        QWindow *handle = window_.windowHandle();
        if (event->type() != QEvent::Expose || !handle->isExposed())
            return false;
        const QRect available = handle->screen()->availableGeometry();
        if (!available.contains(handle->frameGeometry()))
            window_.setGeometry(
                fitted_window_geometry(available, handle->frameMargins(), wanted_, window_.minimumSize()));
        deleteLater();
        handle->removeEventFilter(this);
        return false;
    }

private:
    QWidget &window_;
    QSize wanted_;
};

}  // namespace

void fit_window_to_screen(QWidget &window)
{
    window.winId();
    QWindow *handle = window.windowHandle();
    QScreen *screen = handle ? handle->screen() : nullptr;
    if (!screen)
        return;
    const QSize wanted = window.size();
    window.setGeometry(
        fitted_window_geometry(screen->availableGeometry(), handle->frameMargins(), wanted, window.minimumSize()));
    new RefitWhenFramed(window, wanted);
}

void settle_start_folder() { }
