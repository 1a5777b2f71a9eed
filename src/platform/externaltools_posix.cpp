#include "platform/externaltools.h"

namespace Platform {

QString archiveTool()
{
    return QStringLiteral("7za");
}

Command batchFileCommand(const QString &batchFile)
{
    return {QStringLiteral("/bin/sh"), {batchFile}};
}

}
