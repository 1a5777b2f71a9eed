#include "platform/externaltools.h"

namespace Platform {

QString archiveTool()
{
    return QStringLiteral("7za.exe");
}

Command batchFileCommand(const QString &batchFile)
{
    return {batchFile, {}};
}

}
