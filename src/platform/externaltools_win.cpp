#include "platform/externaltools.h"

namespace Platform {

QString archiveTool()
{
    return QStringLiteral("7za.exe");
}

Command batchFileCommand(const QString &batchFile)
{
    // A batch file runs through the command interpreter.
    return {QStringLiteral("cmd.exe"), {QStringLiteral("/c"), batchFile}};
}

}
