#include "platform/runningfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <windows.h>

#include <tlhelp32.h>

namespace Platform {

namespace {

// The files of this process's loaded modules (the executable first), as the loader names them.
QStringList loadedModules()
{
    QStringList modules;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return modules;
    MODULEENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry))
        modules << QString::fromWCharArray(entry.szExePath);
    CloseHandle(snapshot);
    return modules;
}

QString systemError(DWORD code)
{
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    const QString message = length ? QString::fromWCharArray(text, int(length)).trimmed()
                                   : QStringLiteral("error %1").arg(code);
    LocalFree(text);
    return message;
}

std::wstring wide(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

}

QStringList releaseRunningFiles(const QString &folder, const QString &asideFolder, QStringList *failures)
{
    QStringList freed;
    const QDir base(folder);
    const QString inside = QDir::cleanPath(base.absolutePath()) + QLatin1Char('/');
    for (const QString &module : loadedModules()) {
        const QString path = QDir::cleanPath(QDir::fromNativeSeparators(module));
        if (!path.startsWith(inside, Qt::CaseInsensitive))
            continue;
        const QString relative = path.mid(inside.size());
        const QString aside = QDir(asideFolder).filePath(relative);
        QDir().mkpath(QFileInfo(aside).path());
        // Windows refuses to overwrite a mapped image but lets it be renamed; the copy under the old
        // name is held by nobody.
        if (!MoveFileExW(wide(path).c_str(), wide(aside).c_str(), 0)) {
            *failures << QStringLiteral("%1: cannot move it aside: %2").arg(relative, systemError(GetLastError()));
            continue;
        }
        if (!CopyFileW(wide(aside).c_str(), wide(path).c_str(), TRUE)) {
            const DWORD error = GetLastError();
            const bool back = MoveFileExW(wide(aside).c_str(), wide(path).c_str(), 0);
            const QString left =
                back ? QString() : QStringLiteral("; it is left in %1").arg(QDir::toNativeSeparators(aside));
            *failures << QStringLiteral("%1: cannot copy it back: %2%3").arg(relative, systemError(error), left);
            continue;
        }
        freed << relative;
    }
    return freed;
}

}
