// The live request: the first URL of the connect flow and the URL rebuilt from the selection,
// switched to POST once the list grows long.
#include "vendor/vendorservice.h"

#include <QtTest>

namespace {

const QString Scheme = QStringLiteral("http");
const QString GetPath = QStringLiteral("127.0.0.1:8080/rt/live");
const QString PostPath = QStringLiteral("127.0.0.1:8080/rt/livepost");
const QString UserId = QStringLiteral("USER-42");
const QString Key = QStringLiteral("k3y");

// One symbol long enough that the probe comes to exactly probeLength characters.
QStringList symbolsForProbe(int probeLength)
{
    const int fixed = (Scheme + QStringLiteral("://") + PostPath + QStringLiteral("?send=")
                       + QStringLiteral("&hash=") + Key).size();
    return {QString(probeLength - fixed, QLatin1Char('S'))};
}

}

class TestLiveRequest : public QObject
{
    Q_OBJECT

private slots:
    void firstLiveUrl();
    void liveRequest_data();
    void liveRequest();
};

void TestLiveRequest::firstLiveUrl()
{
    QCOMPARE(Vendor::firstLiveUrl(Scheme, GetPath, UserId, Key),
             QStringLiteral("http://127.0.0.1:8080/rt/live?uid=USER-42"
                            "&send=ACC-I%7CADANIENT-I%7CADANIPORTS-I%7CADANIPOWER-I%7CAMARAJABAT-I&hash=k3y"));
}

void TestLiveRequest::liveRequest_data()
{
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QString>("expectedUrl");
    QTest::addColumn<int>("expectedMethod");

    const QString getBase = QStringLiteral("http://127.0.0.1:8080/rt/live?uid=USER-42&send=");
    const QString postBase = QStringLiteral("http://127.0.0.1:8080/rt/livepost?uid=USER-42&send=");

    QTest::newRow("empty selection") << QStringList{} << getBase + QStringLiteral("&hash=k3y") << 0;
    QTest::newRow("one symbol") << QStringList{"TCS"} << getBase + QStringLiteral("TCS&hash=k3y") << 0;
    QTest::newRow("joined with a bar")
        << QStringList{"TCS", "NIFTY26DECFUT", "GOLD"} << getBase + QStringLiteral("TCS|NIFTY26DECFUT|GOLD&hash=k3y") << 0;
    QTest::newRow("ampersand encoded")
        << QStringList{"M&M", "M&MFIN"} << getBase + QStringLiteral("M%26M|M%26MFIN&hash=k3y") << 0;

    const QStringList below = symbolsForProbe(Vendor::PostThreshold - 1);
    QTest::newRow("probe of 1699 stays GET")
        << below << getBase + below.first() + QStringLiteral("&hash=k3y") << 0;
    const QStringList at = symbolsForProbe(Vendor::PostThreshold);
    QTest::newRow("probe of 1700 goes POST")
        << at << postBase + at.first() + QStringLiteral("&hash=k3y") << 1;

    // The probe counts the encoded list: "&" grows to "%26" and can tip it over.
    QStringList tipped = symbolsForProbe(Vendor::PostThreshold - 2);
    tipped.first().replace(0, 1, QLatin1Char('&'));
    QTest::newRow("encoding tips the probe to POST")
        << tipped << postBase + QStringLiteral("%26") + tipped.first().mid(1) + QStringLiteral("&hash=k3y") << 1;

    QStringList many;
    for (int i = 0; i < 400; ++i)
        many << QStringLiteral("SYM%1").arg(i, 4, 10, QLatin1Char('0'));
    QTest::newRow("long selection goes POST") << many << postBase + many.join(QLatin1Char('|')) + QStringLiteral("&hash=k3y") << 1;
}

void TestLiveRequest::liveRequest()
{
    QFETCH(QStringList, symbols);
    QFETCH(QString, expectedUrl);
    QFETCH(int, expectedMethod);

    const Vendor::LiveRequest request = Vendor::liveRequest(Scheme, GetPath, PostPath, UserId, symbols, Key);
    QCOMPARE(request.url, expectedUrl);
    QCOMPARE(request.method, expectedMethod);
}

QTEST_GUILESS_MAIN(TestLiveRequest)
#include "tst_liverequest.moc"
