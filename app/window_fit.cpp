#include "app/window_fit.h"

#include <algorithm>

QRect fitted_window_geometry(const QRect &available, const QMargins &frame, const QSize &wanted, const QSize &minimum)
{
    const QSize room(available.width() - frame.left() - frame.right(),
                     available.height() - frame.top() - frame.bottom());
    const QSize size(std::max(minimum.width(), std::min(wanted.width(), room.width())),
                     std::max(minimum.height(), std::min(wanted.height(), room.height())));
    // Centred; where even the minimum is too large, its top left corner stays on the screen.
    const int x = available.left() + frame.left() + std::max(0, (room.width() - size.width()) / 2);
    const int y = available.top() + frame.top() + std::max(0, (room.height() - size.height()) / 2);
    return QRect(QPoint(x, y), size);
}
