// The connection probe behind the status label, and the two ways of rebuilding the application.
#include "app/config.h"
#include "app/settingsstore.h"
#include "feed/amibrokerlivedata2.h"
#include "feed/livedataupdator.h"
#include "support/localvendor.h"
#include "support/testenvironment.h"
#include "ui_amibrokerlivedata2.h"
#include "vendor/authdialog.h"
#include "support/controller.h"
#include "symbols/selection.h"
#include "vendor/connectionprobe.h"

#include <QtTest>

#include <QLabel>
#include <QSettings>
#include <QTcpServer>

#include <memory>

namespace {

const QString UserId = QStringLiteral("MONITOR-USER");

QStringList storedSymbols()
{
    return QSettings(Store::Organisation, Store::Application).value(Store::SelectedSymbols).toStringList();
}

// Runs the application's event loop, as the process entry does, until something ends it;
// 99 when nothing does within the time limit.
int runLoopAfter(const std::function<void()> &action)
{
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    limit.start(15000);
    QTimer::singleShot(0, qApp, action);
    return QCoreApplication::exec();
}

}

class TestConnectionMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void statusTexts_data();
    void statusTexts();
    void probe_data();
    void probe();
    void dailyRestartSavesNothing();
    void restartButtonSavesTheSelection();

private:
    void startController();

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<LocalVendor> m_vendor;
    std::unique_ptr<authDialog> m_controller;
};

void TestConnectionMonitor::initTestCase()
{
    Q_INIT_RESOURCE(resources);
    QCoreApplication::setApplicationVersion(QStringLiteral("4.02"));
    m_env = std::make_unique<TestEnvironment>(UserId);
    m_env->layInstallFiles();
}

void TestConnectionMonitor::init()
{
    QSettings store(Store::Organisation, Store::Application);
    store.clear();
    store.setValue(Store::SelectedSymbols, QStringList{"NIFTY-I", "ICICIBANK"});
    store.setValue(Store::SelectedExchanges, QStringList{"FUTURE", "CASH"});
    store.setValue(Store::DisableAutoBackfill5, true);
    store.sync();
    m_env->clearJournal();
    m_vendor = std::make_unique<LocalVendor>();
    VendorSim::SeedOptions options;
    options.userId = UserId;
    QVERIFY2(m_vendor->start(m_env->root(), options), qPrintable(m_vendor->error));
}

void TestConnectionMonitor::cleanup()
{
    m_controller.reset();
    m_vendor.reset();
    qputenv("QUORVIX_PROBE", "127.0.0.1:1");
    Config::reload();
}

void TestConnectionMonitor::startController()
{
    m_controller = newController();
    m_controller->start();
    QVERIFY(mainWindowOf(*m_controller)->isVisible());
}

void TestConnectionMonitor::statusTexts_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");
    QTest::newRow("connected") << true << "<span style=\"color:#005605;\"><b>Connected</b></span>" << 52;
    QTest::newRow("disconnected") << false << "<span style=\"color:#ff0000;\"><b>Disconnected</b></span>" << 55;
}

void TestConnectionMonitor::statusTexts()
{
    QFETCH(bool, connected);
    QFETCH(QString, text);
    QFETCH(int, length);
    QCOMPARE(ConnectionProbe::statusText(connected), text);
    QCOMPARE(text.size(), length);
}

void TestConnectionMonitor::probe_data()
{
    QTest::addColumn<bool>("listening");
    QTest::newRow("target answers") << true;
    QTest::newRow("target refuses") << false;
}

void TestConnectionMonitor::probe()
{
    QFETCH(bool, listening);

    QTcpServer target;
    QVERIFY(target.listen(QHostAddress::LocalHost));
    const quint16 port = target.serverPort();
    if (!listening)
        target.close();
    qputenv("QUORVIX_PROBE", QByteArray("127.0.0.1:") + QByteArray::number(port));
    Config::reload();

    startController();
    QLabel *status = mainWindowOf(*m_controller)->form()->statusLabel;
    QCOMPARE(status->text(), QStringLiteral("Connected / Disconnected"));

    m_controller->checkConnection();
    QCOMPARE(status->text(), ConnectionProbe::statusText(listening));

    // The probe re-attached itself to the timer, once: one tick, one probe.
    m_controller->checkConnection();
    QTest::qWait(100);
    int probes = 0;
    while (target.hasPendingConnections()) {
        delete target.nextPendingConnection();
        ++probes;
    }
    QCOMPARE(probes, listening ? 2 : 0);
    status->setText(QString());
    m_controller->connectionTimer()->setSingleShot(true);
    m_controller->connectionTimer()->start(0);
    QTRY_COMPARE(status->text(), ConnectionProbe::statusText(listening));
    QTest::qWait(100);
    probes = 0;
    while (target.hasPendingConnections()) {
        delete target.nextPendingConnection();
        ++probes;
    }
    QCOMPARE(probes, listening ? 1 : 0);
}

void TestConnectionMonitor::dailyRestartSavesNothing()
{
    startController();
    amibrokerlivedata2 *window = mainWindowOf(*m_controller);
    window->selection().assign(QStringList{"GOLDM-I"}, QStringList{"MCX"});

    // The restart timer itself fires, as it would after a day.
    QCOMPARE(runLoopAfter([this] { m_controller->restartTimer()->start(0); }), 4444);

    QVERIFY(window->isVisible());
    QCOMPARE(storedSymbols(), (QStringList{"NIFTY-I", "ICICIBANK"}));
    QVERIFY(!m_env->journal().contains(QStringLiteral("SaveDatabase()")));
}

void TestConnectionMonitor::restartButtonSavesTheSelection()
{
    startController();
    amibrokerlivedata2 *window = mainWindowOf(*m_controller);
    window->selection().assign(QStringList{"GOLDM-I"}, QStringList{"MCX"});

    QCOMPARE(runLoopAfter([window] { window->form()->restartButton->click(); }), 4444);

    QVERIFY(!window->isVisible());
    QCOMPARE(storedSymbols(), QStringList{"GOLDM-I"});
    QVERIFY(m_env->journal().contains(QStringLiteral("SaveDatabase()")));
}

QTEST_MAIN(TestConnectionMonitor)
#include "tst_connectionmonitor.moc"
