#include "platform/programfolder.h"

#include <string>

#include <windows.h>

namespace Platform {

void enterProgramFolder()
{
    // Runs before any application object exists, so the path comes from the system, not from Qt.
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    for (;;) {
        length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0)
            return;
        if (length < path.size())
            break;
        path.resize(path.size() * 2);
    }
    path.resize(length);
    const std::wstring::size_type separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return;
    // The separator stays: "C:" alone would name the drive's current folder, not its root.
    path.resize(separator + 1);
    SetCurrentDirectoryW(path.c_str());
}

}
