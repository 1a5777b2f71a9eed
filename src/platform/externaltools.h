#pragma once

#include <QString>
#include <QStringList>

namespace Platform {

// The archive tool started by its bare name from the working directory or the search path.
[[nodiscard]] QString archiveTool();

struct Command
{
    QString program;
    QStringList arguments;
};

// How the update batch file is started.
[[nodiscard]] Command batchFileCommand(const QString &batchFile);

}
