#include "platform/journal.h"

#include "app/config.h"

#include <QDateTime>
#include <QFile>
#include <QString>

namespace Platform::Journal {

void append(const QString &text, const QString &detail)
{
    QFile file(Config::instance().path(QStringLiteral("automation.log")));
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
