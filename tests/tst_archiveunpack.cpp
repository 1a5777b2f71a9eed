// The archive tool as the feed (started, heard of) and the updater (waited for) run it, judged
// alike: the real 7za in a temporary folder; a shell script stands in for a tool that hangs.
#include "app/archivetool.h"
#include "platform/externaltools.h"
#include "vendorsim.h"

#include <QtTest>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

namespace {

const QByteArray Quotes = "20261207,100.5,101,99.8,100.9,12000\n";

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}

class TestArchiveUnpack : public QObject
{
    Q_OBJECT

private slots:
    void judged_data();
    void judged();
    void encryptedArchiveFailsAtOnce();
    void refusedLinkNamesTheLink();
};

void TestArchiveUnpack::judged_data()
{
    QTest::addColumn<QByteArray>("archive");  // empty: the tool hangs
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("extracted");
    QTest::addColumn<QStringList>("failed");  // "<name> (<reason>)"
    QTest::addColumn<QStringList>("files");   // in the folder afterwards; old.txt was there before

    QByteArray broken = VendorSim::makeZip({{"ACC.txt", Quotes}, {"SBIN.txt", "SBIN" + Quotes}});
    // Stored, not compressed: the member's data is there to spoil, and its checksum no longer fits.
    broken[broken.indexOf("SBIN20261207")] = 'X';
    const int ended = int(ArchiveUnpack::Outcome::Ended);
    QTest::newRow("broken member removed, the rest kept") << broken << ended << 2 << true
                                                          << QStringList{"SBIN.txt (CRC Failed)"}
                                                          << QStringList{"ACC.txt", "old.txt"};
    QTest::newRow("not an archive: the old file is no extract")
        << QByteArray("<html>Service unavailable</html>") << ended << 2 << false << QStringList{}
        << QStringList{"old.txt"};
    QTest::newRow("tool hangs past the limit") << QByteArray() << int(ArchiveUnpack::Outcome::TimedOut) << 0
                                               << false << QStringList{} << QStringList{"old.txt"};
}

void TestArchiveUnpack::judged()
{
    QFETCH(QByteArray, archive);

    QTemporaryDir dir;
    const auto restorePath = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
    const bool hangs = archive.isEmpty();
    if (hangs) {
#ifdef Q_OS_WIN
        QSKIP("the hung tool is a shell script");
#endif
        writeFile(dir.filePath(QStringLiteral("7za")), "#!/bin/sh\nexec /bin/sleep 30\n");
        QFile(dir.filePath(QStringLiteral("7za"))).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        qputenv("PATH", dir.path().toUtf8());
    }
    const QString archiveFile = dir.filePath(QStringLiteral("CASH-1.zip"));
    writeFile(archiveFile, archive);

    for (const bool waited : {false, true}) {
        const QString folder = dir.filePath(waited ? QStringLiteral("waited") : QStringLiteral("started"));
        QVERIFY(QDir().mkpath(folder));
        writeFile(folder + QStringLiteral("/old.txt"), Quotes);

        // Short only where the limit is what the row checks: 7za under Wine starts slowly.
        ArchiveUnpack unpack(hangs ? 500 : 30000);
        ArchiveUnpack::Result result;
        int heard = 0;
        connect(&unpack, &ArchiveUnpack::finished, this, [&](const ArchiveUnpack::Result &told) {
            result = told;
            ++heard;
        });
        if (waited) {
            result = unpack.run(archiveFile, folder);
        } else {
            unpack.start(archiveFile, folder);
            QTRY_COMPARE_WITH_TIMEOUT(heard, 1, 40000);
        }
        QTest::qWait(10);
        QCOMPARE(heard, waited ? 0 : 1);
        QVERIFY(!unpack.isRunning());

        QStringList failed;
        for (const ArchiveUnpack::FailedMember &member : qAsConst(result.failedMembers))
            failed << QStringLiteral("%1 (%2)").arg(member.name, member.reason);
        QTEST(int(result.outcome), "outcome");
        QTEST(result.exitCode, "exitCode");
        QTEST(result.extracted, "extracted");
        QTEST(failed, "failed");
        QTEST(QDir(folder).entryList(QDir::Files, QDir::Name), "files");
    }
}

// The tool would ask for a password on its input and wait there until the time limit.
void TestArchiveUnpack::encryptedArchiveFailsAtOnce()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("ACC.txt")), Quotes);
    QProcess pack;
    pack.setWorkingDirectory(dir.path());
    pack.start(Platform::archiveTool(), {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-psecret"),
                                        QStringLiteral("locked.zip"), QStringLiteral("ACC.txt")});
    if (!pack.waitForFinished(60000) || pack.exitCode() != 0)
        QSKIP("the archive tool cannot make an encrypted archive here");
    const QString folder = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(folder));

    ArchiveUnpack unpack(30000);
    QElapsedTimer clock;
    clock.start();
    const ArchiveUnpack::Result result = unpack.run(dir.filePath(QStringLiteral("locked.zip")), folder);
    QVERIFY2(clock.elapsed() < 25000, "the tool waited for a password");
    QCOMPARE(int(result.outcome), int(ArchiveUnpack::Outcome::Ended));
    QVERIFY(result.exitCode != 0);
    QVERIFY(!result.extracted);
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
}

// 7-Zip for Windows refuses a link pointing outside: "LINK : TARGET", and the member is the link.
void TestArchiveUnpack::refusedLinkNamesTheLink()
{
    const auto members = ArchiveUnpack::failedMembers(
        "ERROR: Dangerous link path was ignored : absolute : C:/Users/t/outside\r\n"
        "ERROR: Data Error : TCS.txt\n");
    QCOMPARE(members.size(), 2);
    QCOMPARE(members.at(0).name, QStringLiteral("absolute"));
    QCOMPARE(members.at(0).reason, QStringLiteral("Dangerous link path was ignored"));
    QCOMPARE(members.at(1).name, QStringLiteral("TCS.txt"));
    QCOMPARE(members.at(1).reason, QStringLiteral("Data Error"));
}

QTEST_GUILESS_MAIN(TestArchiveUnpack)
#include "tst_archiveunpack.moc"
