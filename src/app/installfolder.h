#pragma once

#include <QString>

// Names of the files and folders under the install folder; Config turns them into paths.
namespace InstallFolder {

inline const QString LiveQuoteFile = QStringLiteral("rt.txt");
inline const QString ImportFile = QStringLiteral("rtimport.txt");
inline const QString LiveFormatFile = QStringLiteral("dataFormatRT.dll");
inline const QString IntradayBackfillFile = QStringLiteral("autobackfill.txt");
inline const QString IntradayFormatFile = QStringLiteral("dataFormat.dll");
inline const QString EndOfDayArchive = QStringLiteral("backfilldata.zip");
inline const QString EndOfDayFormatFile = QStringLiteral("dataFormatEod.dll");
inline const QString BackfillFolder = QStringLiteral("Backfill");
inline const QString DatabaseFolder = QStringLiteral("Amibroker/QVF1000");
inline const QString LayoutFile = QStringLiteral("Amibroker/QVF1000/Layouts/Default.awl");
inline const QString TemplateFolder = QStringLiteral("dbfiles");
inline const QString AutomationJournal = QStringLiteral("automation.log");
inline const QString LogFolder = QStringLiteral("logs");

}
