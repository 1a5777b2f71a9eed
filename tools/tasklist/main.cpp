// Lists the running processes as Windows' tasklist does when run without arguments: a blank
// line, the header, the rule, then one line per process with its image name in a 25-column field.
// A copy under another name stands for another program that runs a while (an upgrade's
// Tickvane-<version>-setup.exe, say): it sleeps for the seconds it is given.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

bool runsAsTasklist()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const wchar_t *name = std::wcsrchr(path, L'\\');
    return _wcsicmp(name ? name + 1 : path, L"tasklist.exe") == 0;
}

}

int wmain(int argc, wchar_t **argv)
{
    if (!runsAsTasklist()) {
        Sleep(DWORD(argc > 1 ? std::wcstoul(argv[1], nullptr, 10) : 60) * 1000);
        return 0;
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        std::fwprintf(stderr, L"ERROR: the process list could not be read (%lu).\n", GetLastError());
        return 1;
    }
    std::wprintf(L"\r\nImage Name                     PID Session Name        Session#    Mem Usage\r\n"
                 L"========================= ======== ================ =========== ============\r\n");
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        DWORD session = 0;
        ProcessIdToSessionId(entry.th32ProcessID, &session);
        // The real tool cuts a long image name to its field.
        std::wprintf(L"%-25.25ls %8lu %-16ls %11lu %10ls K\r\n", entry.szExeFile, entry.th32ProcessID,
                     session == 0 ? L"Services" : L"Console", session, L"0");
    }
    CloseHandle(snapshot);
    return 0;
}
