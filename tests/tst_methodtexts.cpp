// ActiveQt's dynamicCall first runs a method text through QMetaObject::normalizedSignature and then
// reads the arguments out of the result, so every text the feed hands AmiBroker must come out of
// Qt 5's and Qt 6's normalisation unchanged: a path must reach AmiBroker as the feed wrote it.
#include "feed/amibroker.h"

#include <QtTest>

#include <QMetaObject>

class tst_MethodTexts : public QObject
{
    Q_OBJECT

private slots:
    void unchangedByNormalisation_data();
    void unchangedByNormalisation();
};

void tst_MethodTexts::unchangedByNormalisation_data()
{
    QTest::addColumn<QString>("text");

    const QString root = QStringLiteral("C:\\Quorvix\\");
    QTest::newRow("live import") << AmiBroker::importText(root + QStringLiteral("rtimport.txt"),
                                                          root + QStringLiteral("dataFormatRT.dll"));
    QTest::newRow("intraday import") << AmiBroker::importText(root + QStringLiteral("autobackfill.txt"),
                                                              root + QStringLiteral("dataFormat.dll"));
    // End-of-day files are named after the vendor's symbols.
    for (const char *symbol : {"NIFTY", "M&M", "BAJAJ-AUTO", "NIFTY 50", "L&TFH", "USDINR_260129"}) {
        QTest::addRow("end-of-day import of %s", symbol)
            << AmiBroker::importText(root + QStringLiteral("Backfill\\%1.txt").arg(QLatin1String(symbol)),
                                     root + QStringLiteral("dataFormatEod.dll"));
    }
    QTest::newRow("save layout") << AmiBroker::saveLayoutText(root + QStringLiteral("Amibroker\\QVF1000\\Layouts\\Default.awl"));
    QTest::newRow("load database") << AmiBroker::LoadDatabaseMethod;
    QTest::newRow("refresh all") << QStringLiteral("RefreshAll()");
    QTest::newRow("save database") << QStringLiteral("SaveDatabase()");
    QTest::newRow("install folder with a blank")
        << AmiBroker::importText(QStringLiteral("D:\\Trading Tools\\Quorvix\\rtimport.txt"),
                                 QStringLiteral("D:\\Trading Tools\\Quorvix\\dataFormatRT.dll"));
}

void tst_MethodTexts::unchangedByNormalisation()
{
    QFETCH(QString, text);
    // The automation host hands the text over as Latin-1.
    const QByteArray bytes = text.toLatin1();
    QCOMPARE(QMetaObject::normalizedSignature(bytes.constData()), bytes);
}

QTEST_GUILESS_MAIN(tst_MethodTexts)

#include "tst_methodtexts.moc"
