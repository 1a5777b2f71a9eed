// The dedicated AmiBroker database folder, filled in from the installed templates.
#include "support/filesizelimit.h"
#include "workspace/provisioning.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

}

class TestWorkspace : public QObject
{
    Q_OBJECT

private slots:
    void provisioning_data();
    void provisioning();
    void provisioningOnAFullDisk();
};

void TestWorkspace::provisioning_data()
{
    // Layout before provisioning: a list of "path=content" under the root (content "" = folder).
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("expectedDatabase");

    const QStringList templates = {"dbfiles/broker.master=M", "dbfiles/broker.watch=W",
                                   "dbfiles/broker.workspace=S"};
    const QStringList all = {"broker.master", "broker.watch", "broker.workspace"};
    QTest::newRow("first start") << templates << all;
    // A start on a full disk may have left the folder without its files.
    QTest::newRow("existing empty database is filled in")
        << (QStringList(templates) << "Amibroker/QVF1000/") << all;
    QTest::newRow("existing database keeps its files, the missing ones are added")
        << (QStringList(templates) << "Amibroker/QVF1000/broker.master=MINE") << all;
    QTest::newRow("template missing is skipped")
        << QStringList{"dbfiles/broker.master=M", "dbfiles/broker.workspace=S"}
        << QStringList{"broker.master", "broker.workspace"};
    QTest::newRow("AmiBroker folder without database")
        << (QStringList(templates) << "Amibroker/Other/") << all;
    QTest::newRow("no templates at all") << QStringList() << QStringList();
}

void TestWorkspace::provisioning()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, expectedDatabase);

    QTemporaryDir dir;
    // The install folder itself may be missing: it is created first.
    const QString root = dir.path() + QStringLiteral("/Quorvix");
    QMap<QString, QByteArray> contents;
    for (const QString &entry : before) {
        const QString path = root + QLatin1Char('/') + entry.section(QLatin1Char('='), 0, 0);
        if (path.endsWith(QLatin1Char('/'))) {
            QDir().mkpath(path);
        } else {
            contents.insert(path, entry.section(QLatin1Char('='), 1).toUtf8());
            writeFile(path, contents.value(path));
        }
    }

    Workspace::provision(root);

    const QString database = root + QStringLiteral("/Amibroker/QVF1000");
    QVERIFY(QFileInfo(database).isDir());
    QCOMPARE(entries(database), expectedDatabase);
    for (const QString &name : expectedDatabase) {
        const QString target = database + QLatin1Char('/') + name;
        const QByteArray expected = contents.contains(target) ? contents.value(target)
                                                              : contents.value(root + QStringLiteral("/dbfiles/") + name);
        QCOMPARE(readFile(target), expected);
    }
    // Templates are copied, not moved.
    for (auto it = contents.cbegin(); it != contents.cend(); ++it)
        QCOMPARE(readFile(it.key()), it.value());
}

// A first start on a full disk: the copy that failed is named with the system's reason and left
// out whole; the next start fills it in.
void TestWorkspace::provisioningOnAFullDisk()
{
    if (!FileSizeLimit::supported())
        QSKIP("no per-process file size limit on this system");
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root + QStringLiteral("/dbfiles/broker.master"), QByteArray(4096, 'M'));
    writeFile(root + QStringLiteral("/dbfiles/broker.watch"), "W");
    writeFile(root + QStringLiteral("/dbfiles/broker.workspace"), "S");
    const QString database = root + QStringLiteral("/Amibroker/QVF1000");

    QStringList problems;
    {
        FileSizeLimit full(1024);
        problems = Workspace::provision(root);
    }
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems.first().contains(QLatin1String("broker.master"))
                 && problems.first().contains(QLatin1String("too large"), Qt::CaseInsensitive),
             qPrintable(problems.first()));
    QCOMPARE(entries(database), (QStringList{"broker.watch", "broker.workspace"}));

    QVERIFY(Workspace::provision(root).isEmpty());
    QCOMPARE(readFile(database + QStringLiteral("/broker.master")), QByteArray(4096, 'M'));
}

QTEST_GUILESS_MAIN(TestWorkspace)
#include "tst_workspace.moc"
