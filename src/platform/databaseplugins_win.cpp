#include "platform/databaseplugins.h"

#include <windows.h>
#include <psapi.h>

#include <vector>

namespace Platform {

namespace {

// What every MySQL and MariaDB client plugin exports.
constexpr char PluginDeclaration[] = "_mysql_client_plugin_declaration_";

}

void keepDatabasePluginsLoaded()
{
    const HANDLE process = GetCurrentProcess();
    std::vector<HMODULE> modules(256);
    DWORD needed = 0;
    for (;;) {
        const DWORD bytes = DWORD(modules.size() * sizeof(HMODULE));
        if (!EnumProcessModules(process, modules.data(), bytes, &needed))
            return;
        if (needed <= bytes)
            break;
        modules.resize(needed / sizeof(HMODULE));
    }
    modules.resize(needed / sizeof(HMODULE));
    for (HMODULE module : modules) {
        if (!GetProcAddress(module, PluginDeclaration))
            continue;
        HMODULE pinned = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(module), &pinned);
    }
}

}
