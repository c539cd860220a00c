// Where the main window opens. The form asks for 1200 × 800; a school PC's
// 1366 × 768 screen, or a laptop at 150 %, has less room above the taskbar.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

// The client area of a window that wants `wanted` (its frame `frame` around
// it) on a screen whose free area is `available`: exactly `wanted` where that
// fits with the frame, else as large as fits, never below `minimum`; centred,
// frame and all, inside `available` wherever the size allows.
QRect fitted_window_geometry(const QRect &available, const QMargins &frame, const QSize &wanted, const QSize &minimum);

// Before the first show: places the window with fitted_window_geometry() on
// its screen. Where the window manager draws the frame (X11, Wayland), it is
// fitted again once framed if the frame then overhangs the free area.
void fit_window_to_screen(QWidget &window);

// On Windows, a program started in its own folder (the Start-menu shortcut of
// an all-users install, a double click in the unpacked zip) works in the
// user's Documents folder instead, so a bare file name lands there and not
// in Program Files. Elsewhere nothing happens.
void settle_start_folder();
