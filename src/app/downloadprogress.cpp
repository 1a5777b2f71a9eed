#include "app/downloadprogress.h"

#include <algorithm>

namespace DownloadProgress {

QString percentText(qint64 bytesReceived, qint64 bytesTotal)
{
    const float scaled = float(bytesReceived * 100);
    return QString::number(scaled / bytesTotal, 'g', 6);
}

QString speedText(qint64 bytesReceived, qint64 elapsedMs)
{
    // A progress report within the first millisecond would otherwise divide by zero.
    const qint64 elapsed = std::max<qint64>(elapsedMs, 1);
    double speed = bytesReceived * 1000.0 / elapsed;
    QString unit;
    if (speed < 1024) {
        unit = QStringLiteral("bytes/sec");
    } else if (speed < 1024 * 1024) {
        speed /= 1024;
        unit = QStringLiteral("kB/s");
    } else {
        speed /= 1024 * 1024;
        unit = QStringLiteral("MB/s");
    }
    return QStringLiteral("%1 %2").arg(QStringLiteral("%1").arg(speed, 3, 'f', 1), unit);
}

}
