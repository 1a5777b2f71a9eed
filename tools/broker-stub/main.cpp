// Broker.exe: plays AmiBroker's automation server ("Broker.Application") for the Windows build run
// under Wine. It answers the late-bound calls the feed makes and journals each one exactly as the
// POSIX stand-in does (<install folder>\automation.log), so one set of checks reads both.
//
// Faults, by files in the install folder:
//   automation.down       AmiBroker is closed: a start writes "create ...\tfailed" and ends before
//                         offering the class; a call journals "failed" and the process dies mid-call,
//                         so the caller meets the RPC error a vanished server gives.
//   automation.exception  a call fails with DISP_E_EXCEPTION, as AmiBroker refusing a command.
//   automation.importfails  Import returns -1, as AmiBroker does for a file it cannot take.
// Killing the process (taskkill /F /IM Broker.exe) is the third fault and needs no switch.

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// {E33BE9E9-35FF-4AAE-9053-0DB118C29D1E}: the class /RegServer names first.
const CLSID ClsidFirst = {0xe33be9e9, 0x35ff, 0x4aae, {0x90, 0x53, 0x0d, 0xb1, 0x18, 0xc2, 0x9d, 0x1e}};
const wchar_t ProgId[] = L"Broker.Application";

std::wstring installFolder()
{
    wchar_t buffer[32768];
    const DWORD length = GetEnvironmentVariableW(L"QUORVIX_ROOT", buffer, DWORD(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer))
        return L"C:\\Quorvix";
    return std::wstring(buffer, length);
}

bool switchSet(const wchar_t *name)
{
    const std::wstring path = installFolder() + L"\\" + name;
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string utf8(const std::wstring &text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

// "<UTC ISO time with ms>\t<text>[\t<detail>]\n", appended and on disk before the call returns.
void journal(const std::wstring &text, const std::wstring &detail = {})
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    std::string line = std::string(stamp) + '\t' + utf8(text);
    if (!detail.empty())
        line += '\t' + utf8(detail);
    line += '\n';
    const std::wstring path = installFolder() + L"\\automation.log";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
    CloseHandle(file);
}

// Lines the file held at the moment of the call; -1 when it cannot be read.
std::wstring lineCount(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return L"-1";
    long long lines = 0;
    char last = '\n';
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        for (DWORD i = 0; i < read; ++i)
            lines += buffer[i] == '\n';
        last = buffer[read - 1];
    }
    CloseHandle(file);
    if (last != '\n')
        ++lines;
    return std::to_wstring(lines);
}

std::wstring text(const VARIANT &value)
{
    VARIANT converted;
    VariantInit(&converted);
    std::wstring result;
    if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT *>(&value), 0, VT_BSTR)))
        result.assign(converted.bstrVal, SysStringLen(converted.bstrVal));
    VariantClear(&converted);
    return result;
}

// The members the feed calls, with their argument counts.
struct Member
{
    const wchar_t *name;
    UINT arguments;
};
const Member Members[] = {
    {L"LoadDatabase", 1}, {L"Import", 3}, {L"RefreshAll", 0}, {L"SaveDatabase", 0}, {L"SaveLayout", 1},
};
constexpr DISPID FirstId = 1;

LONG g_serverLocks = 0;
bool g_served = false;

void serverLock()
{
    ++g_serverLocks;
    g_served = true;
}

// COM started us for its clients: once the last one has let go, AmiBroker's stand-in goes too.
void serverUnlock()
{
    if (--g_serverLocks == 0 && g_served)
        PostQuitMessage(0);
}

class Application final : public IDispatch
{
public:
    Application() { serverLock(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0) {
            delete this;
            serverUnlock();
        }
        return ULONG(refs);
    }

    // Late bound only, as the feed uses it.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **info) override
    {
        if (info)
            *info = nullptr;
        return DISP_E_BADINDEX;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override
    {
        HRESULT result = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (i == 0) {
                for (size_t m = 0; m < std::size(Members); ++m) {
                    if (_wcsicmp(names[0], Members[m].name) == 0)
                        ids[0] = FirstId + DISPID(m);
                }
            }
            if (ids[i] == DISPID_UNKNOWN)
                result = DISP_E_UNKNOWNNAME;
        }
        return result;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                                     EXCEPINFO *exception, UINT *argumentError) override
    {
        if (id < FirstId || id >= FirstId + DISPID(std::size(Members)))
            return DISP_E_MEMBERNOTFOUND;
        if (!(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        const Member &member = Members[id - FirstId];
        if (!params || params->cArgs != member.arguments)
            return DISP_E_BADPARAMCOUNT;
        if (params->cNamedArgs != 0)
            return DISP_E_NONAMEDARGS;
        std::vector<std::wstring> arguments;
        for (UINT i = params->cArgs; i-- > 0;)
            arguments.push_back(text(params->rgvarg[i]));
        if (argumentError)
            *argumentError = 0;
        if (result)
            VariantInit(result);

        // The same method texts the feed writes into its POSIX journal.
        std::wstring methodText = member.name;
        std::wstring detail;
        if (id - FirstId == 0) {
            methodText += L"(QString&)";
            detail = arguments[0];
        } else {
            methodText += L'(';
            for (size_t i = 0; i < arguments.size(); ++i)
                methodText += (i ? L"," : L"") + arguments[i];
            methodText += L')';
            if (arguments.size() == 3)
                detail = lineCount(arguments[1]);
        }

        if (switchSet(L"automation.down")) {
            journal(methodText, L"failed");
            // AmiBroker closing under the call: the caller gets the broken connection, no answer.
            TerminateProcess(GetCurrentProcess(), 1);
        }
        if (switchSet(L"automation.exception")) {
            journal(methodText, L"failed");
            if (exception) {
                ZeroMemory(exception, sizeof *exception);
                exception->bstrSource = SysAllocString(ProgId);
                exception->bstrDescription = SysAllocString(L"The command failed");
                exception->scode = E_FAIL;
            }
            return DISP_E_EXCEPTION;
        }
        // Import answers with a number, 0 when the file was taken.
        const bool import = id - FirstId == 1;
        const bool importFails = import && switchSet(L"automation.importfails");
        journal(methodText, importFails ? std::wstring(L"returned -1") : detail);
        if (import && result) {
            result->vt = VT_I4;
            result->lVal = importFails ? -1 : 0;
        }
        return S_OK;
    }

private:
    LONG m_refs = 1;
};

class Factory final : public IClassFactory
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory *>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives as long as the process.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        journal(std::wstring(L"create ") + ProgId);
        auto *application = new Application;
        const HRESULT result = application->QueryInterface(iid, object);
        application->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            serverLock();
        else
            serverUnlock();
        return S_OK;
    }
};

bool setKey(const std::wstring &key, const wchar_t *value)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status = RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                                       DWORD((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

std::wstring guidText(const GUID &guid)
{
    wchar_t buffer[40];
    StringFromGUID2(guid, buffer, int(std::size(buffer)));
    return buffer;
}

// Points the ProgID at this class, served by this program.
bool registerClass(const CLSID &clsid)
{
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring text = guidText(clsid);
    const std::wstring classKey = L"CLSID\\" + text;
    return setKey(ProgId, L"AmiBroker automation stand-in")
        && setKey(classKey, ProgId)
        && setKey(classKey + L"\\ProgID", ProgId)
        && setKey(classKey + L"\\LocalServer32", program)
        && setKey(std::wstring(ProgId) + L"\\CLSID", text.c_str());
}

// The class the ProgID names now: the one COM started this process for.
bool currentClass(CLSID *clsid)
{
    wchar_t text[40];
    LONG size = sizeof text;
    return RegQueryValueW(HKEY_CLASSES_ROOT, (std::wstring(ProgId) + L"\\CLSID").c_str(), text, &size) == ERROR_SUCCESS
        && SUCCEEDED(CLSIDFromString(text, clsid));
}

void removeClass(const CLSID &clsid)
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guidText(clsid)).c_str());
}

int unregisterServer()
{
    CLSID clsid;
    if (currentClass(&clsid))
        removeClass(clsid);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, ProgId);
    return 0;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

// The feed raises AmiBroker's main window by its title.
void showMainWindow(HINSTANCE instance)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"BrokerStubMainWindow";
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&windowClass);
    // No display (Wine without X): no window, the automation still answers.
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"AmiBroker", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 400, 300, nullptr, nullptr, instance, nullptr);
    if (window)
        ShowWindow(window, SW_SHOWNOACTIVATE);
}

bool hasArgument(const wchar_t *name)
{
    for (int i = 1; i < __argc; ++i) {
        const wchar_t *argument = __wargv[i];
        if ((*argument == L'-' || *argument == L'/') && _wcsicmp(argument + 1, name) == 0)
            return true;
    }
    return false;
}

}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    if (hasArgument(L"RegServer"))
        return registerClass(ClsidFirst) ? 0 : 1;
    if (hasArgument(L"UnregServer"))
        return unregisterServer();

    if (switchSet(L"automation.down")) {
        // Never offers the class: COM reports the failed start to the creator.
        journal(std::wstring(L"create ") + ProgId, L"failed");
        return 1;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    showMainWindow(instance);
    static Factory factory;
    DWORD cookie = 0;
    CLSID served;
    if (!currentClass(&served)
        || FAILED(CoRegisterClassObject(served, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie))) {
        CoUninitialize();
        return 1;
    }
    // Wine's rpcss keeps the class of a killed server and answers every later activation of it
    // with RPC_S_SERVER_UNAVAILABLE, where Windows would start the server again. The next
    // activation therefore goes to a class of its own; the program sees the same ProgID.
    CLSID next;
    if (SUCCEEDED(CoCreateGuid(&next)) && registerClass(next))
        removeClass(served);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    CoRevokeClassObject(cookie);
    CoUninitialize();
    return 0;
}
