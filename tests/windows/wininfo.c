/* Prints where Windows has put a top-level window: its outer and client rectangles, the work
   area of its monitor and the DPI, all in physical pixels, and whether the window lies wholly
   inside the work area. Used by scripts/windows-test.sh under Wine.
   wininfo.exe TITLE -> "window x,y WxH client x,y WxH workarea x,y WxH monitor WxH dpi N inside yes|no" */
#include <windows.h>
#include <stdio.h>

typedef UINT(WINAPI *GetDpiForWindowFn)(HWND);

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2)
        return 2;
    SetProcessDPIAware();  /* physical pixels, as velora (DPI aware through Qt) sees them */
    HWND w = FindWindowW(NULL, argv[1]);
    if (!w) {
        printf("no window\n");
        return 1;
    }
    RECT outer, client;
    GetWindowRect(w, &outer);
    GetClientRect(w, &client);
    POINT origin = {0, 0};
    ClientToScreen(w, &origin);
    MONITORINFO mi;
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(w, MONITOR_DEFAULTTONEAREST), &mi);
    UINT dpi = 0;
    GetDpiForWindowFn f = (GetDpiForWindowFn)(void *)GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    if (f)
        dpi = f(w);
    const RECT *a = &mi.rcWork;
    const int inside = outer.left >= a->left && outer.top >= a->top && outer.right <= a->right && outer.bottom <= a->bottom;
    printf("window %ld,%ld %ldx%ld client %ld,%ld %ldx%ld workarea %ld,%ld %ldx%ld monitor %ldx%ld dpi %u inside %s\n",
           outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top, origin.x, origin.y,
           client.right, client.bottom, a->left, a->top, a->right - a->left, a->bottom - a->top,
           mi.rcMonitor.right - mi.rcMonitor.left, mi.rcMonitor.bottom - mi.rcMonitor.top, dpi, inside ? "yes" : "no");
    return 0;
}
