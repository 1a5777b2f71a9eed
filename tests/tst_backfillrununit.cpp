// BackfillRun on its own: a scripted downloader and AmiBroker stand in for the network and the
// automation link, so repeats, refusals, stops, the queue and the texts a run ends with are
// checked without a window.
#include "backfill/backfillrun.h"

#include "app/config.h"
#include "app/eventlog.h"
#include "app/installfolder.h"
#include "symbols/selection.h"
#include "support/coreenvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(BackfillRun::Outcome)

namespace {

// Records what the run asks of its downloader, in order, under the name the progress bar uses.
class FakeTransfer final : public Transfer
{
public:
    void fetch(const QString &, const QString &url, int pollMs, int) override
    {
        const QString item = url.section(QLatin1Char('/'), -1).section(QLatin1Char('='), -1);
        calls << QStringLiteral("fetch %1 %2").arg(item).arg(pollMs);
    }
    void aim(const QString &url, int) override { calls << QStringLiteral("aim ") + url; }
    void stopPolling() override { calls << QStringLiteral("stop"); }
    void resumePolling(int pollMs) override { calls << QStringLiteral("resume %1").arg(pollMs); }
    const QByteArray &lastReply() const override { return reply; }
    QString lastError() const override { return error; }
    QString partialFailure() const override { return partial; }

    QStringList calls;
    QByteArray reply;
    QString error = QStringLiteral("timed out");
    QString partial;
};

QStringList urlsOf(const QStringList &symbols)
{
    QStringList urls;
    for (const QString &symbol : symbols)
        urls << QStringLiteral("http://127.0.0.1:1/bf?uid=U&hash=K&d=1&send=") + symbol;
    return urls;
}

const QString ArchiveUrl = QStringLiteral("http://127.0.0.1:1/backfillS21/1/eod/CASH-1.zip");

struct Fixture
{
    Fixture()
    {
        selection.assign({"ACC", "SBIN"}, {"NSE", "NSE"});
        run.setRetryDelays({10, 20, 40});
    }

    // The vendor's answer to the intraday request in flight, where the run reads it.
    void reply(const QByteArray &body) const
    {
        QFile file(Config::instance().path(InstallFolder::IntradayBackfillFile));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(body);
    }

    void unpack(const QStringList &names) const
    {
        const QString folder = Config::instance().path(InstallFolder::BackfillFolder);
        QDir().mkpath(folder);
        for (const QString &name : names) {
            if (name.endsWith(QLatin1Char('/')))
                QDir(folder).mkpath(name);
            else
                QFile(folder + QLatin1Char('/') + name).open(QIODevice::WriteOnly);
        }
    }

    [[nodiscard]] bool logged(const QString &text) const
    {
        EventLog::flush();
        const QStringList files = QDir(env.root() + QStringLiteral("/logs")).entryList(QDir::Files);
        QFile file(env.root() + QStringLiteral("/logs/") + files.value(0));
        return file.open(QIODevice::ReadOnly) && QString::fromUtf8(file.readAll()).contains(text);
    }

    CoreEnvironment env;
    EventLog log{env.root() + QStringLiteral("/logs")};
    FakeTransfer transfer;
    Selection selection;
    // AmiBroker's answers to the next imports; true once they run out.
    QVector<bool> answers;
    QStringList formatFiles;
    BackfillRun run{transfer,
                    [this](const QString &dataFile, const QString &formatFile) {
                        transfer.calls << QStringLiteral("import ") + QFileInfo(dataFile).fileName();
                        formatFiles << formatFile;
                        return answers.isEmpty() || answers.takeFirst();
                    },
                    selection};
    QSignalSpy finished{&run, &BackfillRun::finished};
    QSignalSpy progress{&run, &BackfillRun::progressChanged};
};

}

class TestBackfillRunUnit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<BackfillRun::State>(); }
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    void failingRequest_data();
    void failingRequest();
    void refusedImport_data();
    void refusedImport();
    void stops_data();
    void stops();
    void queue_data();
    void queue();
    void endOfDayImport_data();
    void endOfDayImport();
    void outcomeTexts_data();
    void outcomeTexts();

private:
    std::unique_ptr<Fixture> f;
};

void TestBackfillRunUnit::failingRequest_data()
{
    QTest::addColumn<bool>("endOfDay");
    QTest::addColumn<QByteArray>("refusal"); // the vendor's error line as the reply; empty: the request fails
    QTest::addColumn<int>("failures");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");
    QTest::addColumn<QString>("logLine");

    const QStringList onceFailed{"fetch ACC 50", "stop", "resume 50", "import autobackfill.txt",
                                 "fetch SBIN 50", "import autobackfill.txt", "stop"};
    QStringList skipped{"fetch ACC 50"};
    for (int i = 0; i < 3; ++i)
        skipped << "stop" << "resume 50";
    skipped << "stop" << "fetch SBIN 50" << "import autobackfill.txt" << "stop";
    QStringList archive{"stop", "fetch CASH-1.zip 10"};
    for (int i = 0; i < 3; ++i)
        archive << "stop" << "resume 10";
    archive << "stop";

    QTest::newRow("a repeat that works keeps the row")
        << false << QByteArray() << 1 << onceFailed << "Backfill Done" << ""
        << "intraday run ended: Backfill Done; 2 rows, 0 failed";
    QTest::newRow("the fourth failure skips the row")
        << false << QByteArray() << 4 << skipped << "Backfill Done (1 failed)" << "Not backfilled:\nACC: timed out"
        << "intraday run ended: Backfill Done (1 failed); 2 rows, 1 failed";
    QTest::newRow("the vendor's refusal is a failure, never imported")
        << false << QByteArray("Failed,ACC,Authentication Failed") << 4 << skipped << "Backfill Done (1 failed)"
        << "Not backfilled:\nACC: Authentication Failed (Failed,ACC,Authentication Failed)" << "1 failed";
    QTest::newRow("the archive's fourth failure ends the run")
        << true << QByteArray() << 4 << archive << "Backfill Failed" << "timed out"
        << "end-of-day run ended: Backfill Failed; 1 rows, 1 failed";
}

// Each repeat waits with polling stopped and resumes after its pause; then a row is skipped (and
// named in failedUrls) while an archive ends the run.
void TestBackfillRunUnit::failingRequest()
{
    QFETCH(bool, endOfDay);
    QFETCH(QByteArray, refusal);
    QFETCH(int, failures);
    QFETCH(QStringList, calls);

    if (endOfDay)
        f->run.toggleEndOfDay(ArchiveUrl, false);
    else
        f->run.toggleIntraday(urlsOf({"ACC", "SBIN"}));
    for (int i = 1; i <= failures; ++i) {
        if (refusal.isEmpty()) {
            f->run.downloadFailed();
        } else {
            f->reply(refusal);
            f->run.downloaded();
        }
        if (i <= 3)
            QTRY_VERIFY(f->transfer.calls.endsWith(endOfDay ? "resume 10" : "resume 50"));
    }
    const QString item = endOfDay ? QStringLiteral("CASH-1.zip") : QStringLiteral("ACC");
    const int repeats = qMin(failures, 3);
    QCOMPARE(f->progress.last().at(1).toString(), QStringLiteral("(%1) failed, retry %2 of 3 in %3 s")
                                                      .arg(item).arg(repeats).arg(10 * (1 << (repeats - 1)) / 1000.0));
    f->reply("ACC,20261207,1,2,3,4,5\n");
    if (failures <= 3)
        f->run.downloaded();
    if (!endOfDay)
        f->run.downloaded();

    QCOMPARE(f->transfer.calls, calls);
    QCOMPARE(f->finished.size(), 1);
    QTEST(f->finished.first().at(0).toString(), "text");
    QTEST(f->finished.first().at(1).toString(), "details");
    QCOMPARE(f->run.failedUrls(), failures > 3 && !endOfDay ? urlsOf({"ACC"}) : QStringList());
    QFETCH(QString, logLine);
    QVERIFY2(f->logged(logLine), qPrintable(logLine));
}

void TestBackfillRunUnit::refusedImport_data()
{
    QTest::addColumn<bool>("endOfDay");
    QTest::addColumn<int>("reachableAgain"); // 1 back, 0 away, -1 never changes (AmiBroker refuses)
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");
    QTest::addColumn<int>("imports");

    QTest::newRow("intraday, AmiBroker back") << false << 1 << "Backfill Done" << "" << 3;
    QTest::newRow("intraday, AmiBroker away")
        << false << 0 << "Backfill Failed" << "AmiBroker not reachable\nNot backfilled: ACC, SBIN" << 11;
    QTest::newRow("intraday, AmiBroker refusing")
        << false << -1 << "Backfill Failed" << "AmiBroker refused the import\nNot backfilled: ACC, SBIN" << 11;
    QTest::newRow("end of day, AmiBroker back")
        << true << 1 << "Backfill Done (1 failed)" << "Not imported: B,C.txt (a comma in the name)" << 2;
    QTest::newRow("end of day, AmiBroker away")
        << true << 0 << "Backfill Failed"
        << "AmiBroker not reachable\nNot imported: ACC.txt, B,C.txt (a comma in the name)" << 11;
}

// A refused import holds the run with polling stopped; the link coming back tries it again, and
// without AmiBroker the run ends after a bounded number of tries within its wait.
void TestBackfillRunUnit::refusedImport()
{
    QFETCH(bool, endOfDay);
    QFETCH(int, reachableAgain);
    QFETCH(int, imports);

    // The link's return, not the timer, retries when AmiBroker comes back.
    f->run.setAmiBrokerRetryInterval(reachableAgain == 1 ? 60000 : 1);
    f->run.setAmiBrokerWait(reachableAgain == 1 ? 60000 : 500);
    f->answers = reachableAgain == 1 ? QVector<bool>{false} : QVector<bool>(20, false);
    if (endOfDay) {
        f->run.toggleEndOfDay(ArchiveUrl, false);
        f->unpack({"ACC.txt", "B,C.txt"});
    } else {
        f->run.toggleIntraday(urlsOf({"ACC", "SBIN"}));
    }
    f->run.downloaded();
    QTRY_VERIFY(f->run.isWaitingForAmiBroker());
    QCOMPARE(f->transfer.calls.last(), QStringLiteral("stop"));
    QCOMPARE(f->progress.last().at(1).toString(),
             QStringLiteral("(%1) waiting for AmiBroker").arg(endOfDay ? "ACC.txt" : "ACC"));

    if (reachableAgain >= 0)
        f->run.setAmiBrokerReachable(reachableAgain == 1);
    if (reachableAgain == 1 && !endOfDay) {
        QVERIFY(!f->run.isWaitingForAmiBroker());
        QVERIFY(f->transfer.calls.endsWith("fetch SBIN 50"));
        f->run.downloaded();
    }
    QTRY_COMPARE_WITH_TIMEOUT(f->finished.size(), 1, 5000);
    QCOMPARE(f->transfer.calls.filter(QStringLiteral("import ")).size(), imports);
    QTEST(f->finished.first().at(0).toString(), "text");
    QTEST(f->finished.first().at(1).toString(), "details");
    QVERIFY(!f->run.isWaitingForAmiBroker());
    QCOMPARE(f->run.failedUrls(), reachableAgain != 1 && !endOfDay ? urlsOf({"ACC", "SBIN"}) : QStringList());
    QCOMPARE(f->run.lastOutcome().kind,
             reachableAgain == 1 ? BackfillRun::Outcome::Kind::Done : BackfillRun::Outcome::Kind::AmiBrokerGaveUp);
}

void TestBackfillRunUnit::stops_data()
{
    QTest::addColumn<bool>("endOfDay");
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("inRepeatWait");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("second press") << false << "press" << false << "";
    QTest::newRow("second press while a repeat waits") << false << "press" << true << "";
    QTest::newRow("the end-of-day dialog") << false << "dialog" << false << "";
    QTest::newRow("restart") << false << "restart" << false << "backfill run stopped by restart: 1 of 3 rows done";
    QTest::newRow("end of day, the button") << true << "press" << false << "";
    QTest::newRow("end of day, restart") << true << "restart" << false << "backfill run stopped by restart: 0 of 1 rows done";
}

// A stopped run ends without a last word, asks nothing more and takes no late reply.
void TestBackfillRunUnit::stops()
{
    QFETCH(bool, endOfDay);
    QFETCH(QString, how);
    QFETCH(bool, inRepeatWait);

    if (endOfDay) {
        f->run.toggleEndOfDay(ArchiveUrl, false);
    } else {
        f->run.toggleIntraday(urlsOf({"ACC", "SBIN", "RELI"}));
        f->run.downloaded();
    }
    if (inRepeatWait)
        f->run.downloadFailed();
    QSignalSpy states(&f->run, &BackfillRun::stateChanged);
    const int asked = f->transfer.calls.size();

    if (how == QLatin1String("press"))
        f->run.toggleIntraday(urlsOf({"ACC"}));
    else if (how == QLatin1String("dialog"))
        f->run.toggleEndOfDay(ArchiveUrl, true);
    else
        f->run.stopForRestart();

    QCOMPARE(states.size(), 1);
    QCOMPARE(states.first().at(0).value<BackfillRun::State>(), BackfillRun::State::Idle);
    QCOMPARE(f->transfer.calls.mid(asked), QStringList{"stop"});
    QCOMPARE(f->run.lastOutcome().kind, BackfillRun::Outcome::Kind::Stopped);
    QCOMPARE(f->run.lastOutcome().endOfDay, endOfDay);
    QCOMPARE(BackfillRun::outcomeText(f->run.lastOutcome()).text, QString());
    f->run.downloaded();
    f->run.downloadFailed();
    QTest::qWait(100);
    QCOMPARE(f->transfer.calls.mid(asked), QStringList{"stop"});
    QCOMPARE(f->finished.size(), 0);
    QVERIFY(f->run.queue().isEmpty());
    QFETCH(QString, logLine);
    if (!logLine.isEmpty())
        QVERIFY2(f->logged(logLine), qPrintable(logLine));
}

void TestBackfillRunUnit::queue_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("calls");

    const QStringList all{"fetch ACC 50", "import autobackfill.txt", "fetch SBIN 50", "import autobackfill.txt",
                          "fetch RELI 50", "import autobackfill.txt", "stop"};
    QTest::newRow("the button: top row first, each import before the next request") << "press" << all;
    QTest::newRow("the start-up backfill") << "startup" << all;
    QTest::newRow("a cleared queue ends after its request")
        << "clear" << QStringList{"fetch ACC 50", "import autobackfill.txt", "stop"};
}

void TestBackfillRunUnit::queue()
{
    QFETCH(QString, how);

    const QStringList urls = urlsOf({"ACC", "SBIN", "RELI"});
    if (how == QLatin1String("startup"))
        f->run.queueIntraday(urls);
    else
        f->run.toggleIntraday(urls);
    QCOMPARE(f->run.queue(), urls.mid(1));
    if (how == QLatin1String("clear"))
        f->run.clearQueue();
    for (int i = 0; i < 3 && f->run.isActive(); ++i)
        f->run.downloaded();

    QTEST(f->transfer.calls, "calls");
    QCOMPARE(f->finished.size(), 1);
    QCOMPARE(f->finished.first().at(0).toString(), QStringLiteral("Backfill Done"));
    QCOMPARE(f->formatFiles.value(0), Config::instance().nativePath(InstallFolder::IntradayFormatFile));
}

void TestBackfillRunUnit::endOfDayImport_data()
{
    QTest::addColumn<bool>("watchListOnly");
    QTest::addColumn<QStringList>("unpacked"); // a trailing '/' makes a folder
    QTest::addColumn<QString>("partial");
    QTest::addColumn<QStringList>("imported");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");
    QTest::addColumn<QString>("logLine");

    const QStringList files{"ACC.txt", "SBIN.txt", "XYZ.txt", "sub/"};
    QTest::newRow("the watch list's files") << true << files << "" << QStringList{"ACC.txt", "SBIN.txt"}
                                            << "Backfill Done" << "" << "2 of 3 files imported";
    QTest::newRow("every file") << false << files << "" << QStringList{"ACC.txt", "SBIN.txt", "XYZ.txt"}
                                << "Backfill Done" << "" << "folders skipped: sub";
    QTest::newRow("a comma in a name and what the archive left out")
        << false << QStringList{"ACC.txt", "A,B.txt"} << "1 entry not unpacked" << QStringList{"ACC.txt"}
        << "Backfill Done (2 failed)" << "1 entry not unpacked\nNot imported: A,B.txt (a comma in the name)"
        << "end-of-day run ended: Backfill Done (2 failed); 1 rows, 1 failed";
}

// The files the archive unpacked go to AmiBroker once the download is in, and the folder is
// emptied for the next archive.
void TestBackfillRunUnit::endOfDayImport()
{
    QFETCH(bool, watchListOnly);
    QFETCH(QStringList, unpacked);
    QFETCH(QStringList, imported);

    f->unpack({"LEFTOVER.txt"});
    f->run.toggleEndOfDay(ArchiveUrl, watchListOnly);
    f->unpack(unpacked);
    QFETCH(QString, partial);
    f->transfer.partial = partial;
    f->run.downloaded();
    QCOMPARE(f->transfer.calls, (QStringList{"stop", "fetch CASH-1.zip 10", "stop"}));
    QTRY_COMPARE(f->finished.size(), 1);

    QStringList calls = f->transfer.calls.mid(3);
    calls.sort();
    for (QString &file : imported)
        file.prepend(QStringLiteral("import "));
    QCOMPARE(calls, imported);
    QCOMPARE(f->formatFiles.value(0), Config::instance().nativePath(InstallFolder::EndOfDayFormatFile));
    QTEST(f->finished.first().at(0).toString(), "text");
    QTEST(f->finished.first().at(1).toString(), "details");
    const QDir folder(Config::instance().path(InstallFolder::BackfillFolder));
    QVERIFY(folder.exists());
    QVERIFY(folder.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot));
    QFETCH(QString, logLine);
    QVERIFY2(f->logged(logLine), qPrintable(logLine));
}

// Texts no run above ends with: several skipped rows, and skipped rows before AmiBroker gave up.
void TestBackfillRunUnit::outcomeTexts_data()
{
    QTest::addColumn<BackfillRun::Outcome>("outcome");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");

    BackfillRun::Outcome done;
    done.kind = BackfillRun::Outcome::Kind::Done;
    done.failures = {{"ACC", "timed out"}, {"M&M", "Symbol Not Found (Failed,M&M,x)"}};
    const QString rows = QStringLiteral("ACC: timed out\nM&M: Symbol Not Found (Failed,M&M,x)");
    QTest::newRow("intraday, rows skipped") << done << "Backfill Done (2 failed)" << "Not backfilled:\n" + rows;
    BackfillRun::Outcome refusing = done;
    refusing.kind = BackfillRun::Outcome::Kind::AmiBrokerGaveUp;
    refusing.notDone = QStringList{"SBIN", "RELI"};
    QTest::newRow("intraday, AmiBroker refusing after skipped rows")
        << refusing << "Backfill Failed" << "AmiBroker refused the import\nNot backfilled: SBIN, RELI\n" + rows;
}

void TestBackfillRunUnit::outcomeTexts()
{
    QFETCH(BackfillRun::Outcome, outcome);
    const BackfillRun::OutcomeText shown = BackfillRun::outcomeText(outcome);
    QTEST(shown.text, "text");
    QTEST(shown.details, "details");
}

QTEST_GUILESS_MAIN(TestBackfillRunUnit)
#include "tst_backfillrununit.moc"
