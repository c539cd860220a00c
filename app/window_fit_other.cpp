// Other systems: the window manager places the window, and the start folder
// is the one the user started velora in.
#include "app/window_fit.h"

void fit_window_to_screen(QWidget &) { }

void settle_start_folder() { }
