// The archive tool as the feed and the updater run it: the real 7za in a temporary folder, waited
// for or not, judged alike; a shell script stands in for a tool that hangs.
#include "app/archivetool.h"
#include "vendorsim.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace {

const QByteArray Quotes = "20261207,100.5,101,99.8,100.9,12000\n";

QByteArray zipWithBrokenSecond()
{
    QByteArray zip = VendorSim::makeZip({{"ACC.txt", Quotes}, {"SBIN.txt", "SBIN" + Quotes}});
    // Stored, not compressed: the member's data is there to spoil, and its checksum no longer fits.
    zip[zip.indexOf("SBIN20261207")] = 'X';
    return zip;
}

struct Outcome
{
    int outcome = -1;
    int exitCode = -1;
    bool extracted = false;
    QStringList failed;
};

Outcome outcomeOf(const ArchiveUnpack::Result &result)
{
    Outcome seen{int(result.outcome), result.exitCode, result.extracted, {}};
    for (const ArchiveUnpack::FailedMember &member : result.failedMembers)
        seen.failed << member.name + QLatin1Char('|') + member.reason;
    return seen;
}

}

Q_DECLARE_METATYPE(ArchiveUnpack::Result)

class TestArchiveUnpack : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void judged_data();
    void judged();
    void cancelEndsWithoutWord();

private:
    void useHangingTool();

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_path;
};

void TestArchiveUnpack::init()
{
    qRegisterMetaType<ArchiveUnpack::Result>();
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = qgetenv("PATH");
}

void TestArchiveUnpack::cleanup()
{
    qputenv("PATH", m_path);
    m_dir.reset();
}

void TestArchiveUnpack::useHangingTool()
{
    const QString tools = m_dir->filePath(QStringLiteral("tools"));
    QVERIFY(QDir().mkpath(tools));
    QFile tool(tools + QStringLiteral("/7za"));
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\nexec /bin/sleep 30\n");
    tool.close();
    tool.setPermissions(tool.permissions() | QFileDevice::ExeOwner);
    qputenv("PATH", tools.toUtf8());
}

void TestArchiveUnpack::judged_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("tool");  // "7za", "missing", "hangs"
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("extracted");
    QTest::addColumn<QStringList>("failed");  // "<name>|<reason>"
    QTest::addColumn<QStringList>("files");   // in the folder afterwards; old.txt was there before

    const QByteArray whole = VendorSim::makeZip({{"ACC.txt", Quotes}, {"SBIN.txt", Quotes}});
    const int ended = int(ArchiveUnpack::Outcome::Ended);
    QTest::newRow("whole archive") << whole << "7za" << ended << 0 << false << QStringList{}
                                   << QStringList{"ACC.txt", "SBIN.txt", "old.txt"};
    QTest::newRow("broken member removed, the rest kept")
        << zipWithBrokenSecond() << "7za" << ended << 2 << true << QStringList{"SBIN.txt|CRC Failed"}
        << QStringList{"ACC.txt", "old.txt"};
    QTest::newRow("not an archive: the old file is no extract")
        << QByteArray("<html>Service unavailable</html>") << "7za" << ended << 2 << false << QStringList{}
        << QStringList{"old.txt"};
    QTest::newRow("tool missing") << whole << "missing" << int(ArchiveUnpack::Outcome::NotStarted) << 0 << false
                                  << QStringList{} << QStringList{"old.txt"};
    QTest::newRow("tool hangs past the limit") << whole << "hangs" << int(ArchiveUnpack::Outcome::TimedOut) << 0
                                               << false << QStringList{} << QStringList{"old.txt"};
}

// The feed starts the tool and hears of it; the updater waits for it: both get the same result.
void TestArchiveUnpack::judged()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, tool);
    QFETCH(QStringList, files);

#ifdef Q_OS_WIN
    if (tool == QLatin1String("hangs"))
        QSKIP("the hung tool is a shell script");
#endif
    if (tool == QLatin1String("missing"))
        qputenv("PATH", QByteArray("/nonexistent"));
    else if (tool == QLatin1String("hangs"))
        useHangingTool();

    for (const bool waited : {false, true}) {
        const QString folder = m_dir->filePath(waited ? QStringLiteral("waited") : QStringLiteral("started"));
        QVERIFY(QDir().mkpath(folder));
        QFile old(folder + QStringLiteral("/old.txt"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(Quotes);
        old.close();
        const QString path = m_dir->filePath(QStringLiteral("CASH-1.zip"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(archive);
        file.close();

        // Short only where the limit is what the row checks: 7za under Wine starts slowly.
        ArchiveUnpack unpack(tool == QLatin1String("hangs") ? 500 : 30000);
        QSignalSpy finished(&unpack, &ArchiveUnpack::finished);
        Outcome seen;
        if (waited) {
            seen = outcomeOf(unpack.run(path, folder));
        } else {
            unpack.start(path, folder);
            QVERIFY(finished.wait(40000));
            seen = outcomeOf(finished.first().first().value<ArchiveUnpack::Result>());
        }
        QTest::qWait(10);
        QCOMPARE(finished.count(), waited ? 0 : 1);
        QVERIFY(!unpack.isRunning());
        QTEST(seen.outcome, "outcome");
        QTEST(seen.exitCode, "exitCode");
        QTEST(seen.extracted, "extracted");
        QTEST(seen.failed, "failed");
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), files);
    }
}

void TestArchiveUnpack::cancelEndsWithoutWord()
{
#ifdef Q_OS_WIN
    QSKIP("the hung tool is a shell script");
#endif
    useHangingTool();
    ArchiveUnpack unpack(60000);
    QSignalSpy finished(&unpack, &ArchiveUnpack::finished);
    unpack.start(m_dir->filePath(QStringLiteral("none.zip")), m_dir->path());
    QVERIFY(unpack.isRunning());
    unpack.cancel();
    QVERIFY(!unpack.isRunning());
    QTest::qWait(50);
    QCOMPARE(finished.count(), 0);
}

QTEST_GUILESS_MAIN(TestArchiveUnpack)
#include "tst_archiveunpack.moc"
