#include "platform/windowraiser.h"

#include <QString>

#include <windows.h>

namespace Platform {

void raiseWindowTitled(const QString &title)
{
    HWND window = FindWindowW(nullptr, reinterpret_cast<LPCWSTR>(title.utf16()));
    if (window) {
        SetForegroundWindow(window);
        ShowWindow(window, SW_SHOW);
    }
}

}
