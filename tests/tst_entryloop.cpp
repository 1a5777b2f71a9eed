#include "app/entryloop.h"
#include "app/eventlog.h"
#include "app/qtcompat.h"
#include "app/version.h"
#include "support/coreenvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <vector>

namespace {

// What one cycle saw of its application and its start-up controller.
struct Cycle
{
    bool freshApplication = false;
    bool highDpi = false;
    QString organisation;
    QString application;
    QString displayName;
    QString version;
    bool startedBeforeEventLoop = false;
    bool applicationAliveAtControllerEnd = false;
};

// Plays the start-up controller: ends the event loop with the next scripted code.
class FakeController : public QObject
{
public:
    explicit FakeController(Cycle *cycle)
        : m_cycle(cycle)
    {
    }
    ~FakeController() override
    {
        m_cycle->applicationAliveAtControllerEnd = QCoreApplication::instance() != nullptr;
    }

    void start(int exitCode)
    {
        m_cycle->startedBeforeEventLoop = QThread::currentThread()->loopLevel() == 0;
        QTimer::singleShot(0, this, [exitCode] { QCoreApplication::exit(exitCode); });
    }

private:
    Cycle *m_cycle;
};

}

class tst_EntryLoop : public QObject
{
    Q_OBJECT

private slots:
    void cycles_data();
    void cycles();
    void startAndRestartLines();
};

void tst_EntryLoop::cycles_data()
{
    QTest::addColumn<QList<int>>("exitCodes");

    QTest::newRow("quit") << QList<int>{0};
    QTest::newRow("exit code 1") << QList<int>{1};
    QTest::newRow("exit code -1") << QList<int>{-1};
    QTest::newRow("restart twice") << QList<int>{4444, 4444, 0};
    QTest::newRow("restart then 1") << QList<int>{4444, 1};
    QTest::newRow("near the restart code") << QList<int>{4443};
}

void tst_EntryLoop::cycles()
{
    QFETCH(QList<int>, exitCodes);
    QVERIFY(!QCoreApplication::instance());

    static int argc = 1;
    static char name[] = "tst_entryloop";
    static char *argv[] = {name, nullptr};

    QtCompat::resetHighDpiScaling();
    std::vector<Cycle> cycles;
    cycles.reserve(size_t(exitCodes.size()) + 1);
    QPointer<QCoreApplication> previous;
    int controllers = 0;

    const int status = runEntryLoop(argc, argv, [&]() -> std::unique_ptr<QObject> {
        cycles.emplace_back();
        Cycle &cycle = cycles.back();
        QCoreApplication *application = QCoreApplication::instance();
        cycle.freshApplication = qobject_cast<QApplication *>(application) && previous.isNull();
        previous = application;
        cycle.highDpi = QtCompat::highDpiScalingEnabled();
        cycle.organisation = QCoreApplication::organizationName();
        cycle.application = QCoreApplication::applicationName();
        cycle.displayName = QGuiApplication::applicationDisplayName();
        cycle.version = QCoreApplication::applicationVersion();

        auto controller = std::make_unique<FakeController>(&cycle);
        const int code = controllers < exitCodes.size() ? exitCodes.at(controllers) : 0;
        ++controllers;
        controller->start(code);
        return controller;
    });

    QCOMPARE(status, 0);
    QCOMPARE(int(cycles.size()), exitCodes.size());
    for (const Cycle &cycle : cycles) {
        QVERIFY(cycle.freshApplication);
        QVERIFY(cycle.highDpi);
        QCOMPARE(cycle.organisation, QStringLiteral("Quorvix Company"));
        QCOMPARE(cycle.application, QStringLiteral("Quorvix"));
        QCOMPARE(cycle.displayName, QString());
        QCOMPARE(cycle.version, QStringLiteral("4.02"));
        QVERIFY(cycle.startedBeforeEventLoop);
        QVERIFY(cycle.applicationAliveAtControllerEnd);
    }
    QVERIFY(previous.isNull());
    QVERIFY(!QCoreApplication::instance());
}

// Each cycle writes its line to the program's own log.
void tst_EntryLoop::startAndRestartLines()
{
    CoreEnvironment env;
    const QString folder = env.root() + QStringLiteral("/logs");
    const QDateTime now(QDate(2026, 12, 7), QTime(10, 0));
    EventLog::setClock([now] { return now; });
    const auto resetClock = qScopeGuard([] { EventLog::setClock({}); });
    EventLog log(folder);

    static int argc = 1;
    static char name[] = "tst_entryloop";
    static char *argv[] = {name, nullptr};
    QList<int> exitCodes{RestartExitCode, RestartExitCode, 0};
    runEntryLoop(argc, argv, [&exitCodes]() -> std::unique_ptr<QObject> {
        const int code = exitCodes.takeFirst();
        QTimer::singleShot(0, [code] { QCoreApplication::exit(code); });
        return std::make_unique<QObject>();
    });
    QVERIFY(EventLog::flush());

    // The log is a text file: "\r\n" line ends on Windows.
    QFile file(folder + QLatin1Char('/') + EventLog::fileName(now.date()));
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList events;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (!line.isEmpty())
            events << line.section(QLatin1Char(' '), 2);
    }
    const QString identity = QStringLiteral("Tickvane " TICKVANE_VERSION ", install folder ") + QDir::toNativeSeparators(env.root());
    QCOMPARE(events, QStringList({QStringLiteral("INFO app start: ") + identity,
                                  QStringLiteral("INFO app restart: ") + identity,
                                  QStringLiteral("INFO app restart: ") + identity,
                                  QStringLiteral("INFO app end")}));
}

QTEST_APPLESS_MAIN(tst_EntryLoop)
#include "tst_entryloop.moc"
