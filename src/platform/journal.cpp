#include "platform/journal.h"

#include <QDateTime>
#include <QFile>
#include <QString>

namespace Platform::Journal {

namespace {

QString &journalFolder()
{
    static QString folder;
    return folder;
}

}

void setFolder(const QString &folder)
{
    journalFolder() = folder;
}

QString folder()
{
    return journalFolder();
}

void append(const QString &text, const QString &detail)
{
    // Nothing has named the install folder yet: no journal rather than one in the file system's root.
    if (journalFolder().isEmpty())
        return;
    QFile file(journalFolder() + QStringLiteral("/automation.log"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    QString line = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QLatin1Char('\t') + text;
    if (!detail.isEmpty())
        line += QLatin1Char('\t') + detail;
    line += QLatin1Char('\n');
    file.write(line.toUtf8());
    file.flush();
}

}
