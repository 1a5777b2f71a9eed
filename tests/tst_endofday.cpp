// End-of-day backfill: the dialog, one archive per run through the backfill downloader and the
// real 7za, the import of the unpacked files, and archives that try to write elsewhere. Which
// files a run imports and how it ends are tested in tst_backfillrununit.
#include "backfillharness.h"

#include "backfill/eoddata.h"
#include "ui_eoddata.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QSet>
#include <QtTest>

using namespace BackfillTest;

namespace {

using Entries = QList<QPair<QString, QByteArray>>;

const QByteArray Quotes = "20261207,100.5,101,99.8,100.9,12000\n";
const QDir::Filters Everything = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;

// Marks an entry of a makeZip archive as a Unix symbolic link; its data is the link target.
void markAsSymlink(QByteArray &zip, const QString &name)
{
    const QByteArray wanted = name.toUtf8();
    int at = 0;
    while ((at = zip.indexOf(QByteArray("PK\x01\x02", 4), at)) >= 0) {
        const auto u16 = [&zip](int offset) {
            return int(quint8(zip.at(offset))) | (int(quint8(zip.at(offset + 1))) << 8);
        };
        const int nameLength = u16(at + 28);
        if (zip.mid(at + 46, nameLength) == wanted) {
            zip[at + 4] = char(20);
            zip[at + 5] = char(3); // made by Unix
            const quint32 attributes = quint32(0120777) << 16;
            for (int i = 0; i < 4; ++i)
                zip[at + 38 + i] = char((attributes >> (8 * i)) & 0xff);
        }
        at += 46;
    }
}

// Every file and folder under top, relative to it.
QStringList tree(const QString &top)
{
    QStringList found;
    QDirIterator it(top, Everything, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next().mid(top.size() + 1);
    return found;
}

bool backfillFolderEmpty()
{
    return QDir(Config::instance().path("Backfill")).isEmpty(Everything);
}

}

class TestEndOfDay : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { h.reset(); }

    void dialogForm();
    void import_data();
    void import();
    void intradayAfterEndOfDay();
    void unsafeEntriesStayInside_data();
    void unsafeEntriesStayInside();

private:
    [[nodiscard]] QSet<QString> filesOutsideBackfill() const;

    std::unique_ptr<Harness> h;
};

void TestEndOfDay::init()
{
    h = std::make_unique<Harness>();
    h->session().enableFeeds(QStringLiteral("CASH,COMM"));
}

// Every file and folder of the test's temporary tree, apart from the Backfill folder's content and
// the files the harness itself writes.
QSet<QString> TestEndOfDay::filesOutsideBackfill() const
{
    const QStringList ignored{"root/Backfill", "root/automation.log", "root/vendor.db", "config/"};
    QSet<QString> found;
    for (const QString &relative : tree(QDir(h->env->root() + "/..").canonicalPath())) {
        if (std::none_of(ignored.cbegin(), ignored.cend(),
                         [&relative](const QString &prefix) { return relative.startsWith(prefix); }))
            found.insert(relative);
    }
    return found;
}

void TestEndOfDay::dialogForm()
{
    eoddata dialog;
    Ui::eoddata *form = dialog.form();
    QCOMPARE(dialog.objectName(), QStringLiteral("eoddata"));
    QCOMPARE(dialog.size(), QSize(500, 305));
    QCOMPARE(dialog.minimumSize(), QSize(500, 305));
    QCOMPARE(dialog.maximumSize(), QSize(1000, 1000));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Parvel RT EOD"));
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(dialog.windowType(), Qt::Dialog);
    const Qt::WindowFlags shown = Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint;
    QCOMPARE(dialog.windowFlags() & (shown | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                                     | Qt::WindowContextHelpButtonHint),
             shown);
    QVERIFY(dialog.testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(dialog.watchListOnly);

    auto *group = dialog.findChild<QGroupBox *>("eodBackfillGroup");
    QVERIFY(group);
    QCOMPARE(group->title(), QStringLiteral("EOD Backfill"));
    QCOMPARE(group->font().family(), QStringLiteral("Verdana"));
    QCOMPARE(group->font().pointSize(), 10);

    const auto items = [](const QComboBox *box) {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        return texts;
    };
    QCOMPARE(form->eodFeedBox->parent(), group);
    QCOMPARE(items(form->eodFeedBox), (QStringList{"CASH", "FUTURE", "COMM", "CURRENCY", "SPOT"}));
    QCOMPARE(items(form->eodDataSelectorBox), (QStringList{"recent", "currentYear", "pastYears"}));
    QCOMPARE(form->feedLabel->text(), QStringLiteral("Feed"));
    QCOMPARE(form->endDateLabel->text(), QStringLiteral("Select EOD"));
    QCOMPARE(form->selectedSymbolsBackfill->text(), QStringLiteral("WatchList Symbol EOD Backfill Only"));
    QVERIFY(form->selectedSymbolsBackfill->isChecked());
    QCOMPARE(form->backfillButton->text(), QStringLiteral("Backfill"));
    QCOMPARE(form->backfillButton->styleSheet(), QStringLiteral("background-color: rgb(0, 170, 255);"));
}

void TestEndOfDay::import_data()
{
    QTest::addColumn<bool>("watchListOnly");
    QTest::addColumn<QStringList>("imported");

    QTest::newRow("watch list only") << true << QStringList{"NIFTY.txt"};
    QTest::newRow("every entry") << false << QStringList{"BANKNIFTY.txt", "NIFTY.txt", "notes.csv"};
}

// The archive asked for once per run (the poll timer runs at 10 ms), unpacked by 7za, imported
// and cleared away; a second run imports it once again.
void TestEndOfDay::import()
{
    QFETCH(bool, watchListOnly);
    QFETCH(QStringList, imported);

    h->select({{"NIFTY", "CASH"}, {"RELIANCE", "CASH"}});
    h->server.setFile(Harness::archivePath("COMM-3.zip"),
                      VendorSim::makeZip({{"NIFTY.txt", Quotes}, {"BANKNIFTY.txt", Quotes}, {"notes.csv", "x\n"}}));
    QStringList expected;
    for (const QString &entry : qAsConst(imported))
        expected << Harness::endOfDayImport(entry);

    for (int run = 1; run <= 2; ++run) {
        h->env->clearJournal();
        h->session().endOfDay(QStringLiteral("COMM-3.zip"), watchListOnly);
        QVERIFY(h->run().isActive());
        QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
        QTest::qWait(300);
        QCOMPARE(h->finished->size(), run);
        const QList<VendorSim::Request> sent = h->server.requests("eod");
        QCOMPARE(sent.size(), run);
        QCOMPARE(sent.last().path, Harness::archivePath("COMM-3.zip"));
        QStringList seen = h->importTexts();
        seen.sort();
        QCOMPARE(seen, expected);
        QVERIFY(QFileInfo(Config::instance().path("Backfill")).isDir());
        QVERIFY(backfillFolderEmpty());
        QVERIFY(!QFile::exists(Config::instance().path("backfilldata.zip")));
    }
    QVERIFY(h->server.requests("backfill").isEmpty());
}

// Seen before: the end-of-day import stayed attached after its run, and the next intraday reply
// handed a file left in the Backfill folder to AmiBroker.
void TestEndOfDay::intradayAfterEndOfDay()
{
    h->select({{"NIFTY", "CASH"}, {"SBIN", "CASH"}});
    h->server.setFile(Harness::archivePath("CASH-1.zip"), VendorSim::makeZip({{"NIFTY.txt", Quotes}}));
    h->session().endOfDay(QStringLiteral("CASH-1.zip"), false);
    QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    QCOMPARE(h->importTexts(), QStringList{Harness::endOfDayImport("NIFTY.txt")});

    QFile leftover(Config::instance().path("Backfill/SBIN.txt"));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.write(Quotes);
    leftover.close();
    h->env->clearJournal();
    h->finished->clear();
    h->session().backfillSelection(QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(h->runFinished(), LongWait);
    QCOMPARE(h->backfillQueries(), Harness::queries({"1|NIFTY", "1|SBIN"}));
    QCOMPARE(h->importTexts(), (QStringList{Harness::intradayImport(), Harness::intradayImport()}));
    QCOMPARE(h->server.requests("eod").size(), 1);
    QVERIFY(leftover.exists());
}

void TestEndOfDay::unsafeEntriesStayInside_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<QStringList>("links");

    QTest::newRow("parent and absolute names")
        << Entries{{"../escape.txt", Quotes},
                   {"../../escape2.txt", Quotes},
                   {"sub/../../mid.txt", Quotes},
                   {"OUTSIDE/abs.txt", Quotes},
                   {"NIFTY.txt", Quotes}}
        << QStringList{};
    QTest::newRow("links out of the folder")
        << Entries{{"absolute", "OUTSIDE"},
                   {"absolute/through-link.txt", Quotes},
                   {"relative", "../../outside"},
                   {"relative/through-link.txt", Quotes},
                   {"NIFTY.txt", Quotes}}
        << QStringList{"absolute", "relative"};
}

// 7za strips ".." and leading "/" from entry names and refuses or re-roots links that point
// elsewhere; whatever an archive holds, nothing may be written outside the Backfill folder.
void TestEndOfDay::unsafeEntriesStayInside()
{
    QFETCH(Entries, entries);
    QFETCH(QStringList, links);

    // "OUTSIDE" stands for an absolute folder beside the install folder.
    const QString outside = QDir(h->env->root() + "/..").canonicalPath() + "/outside";
    QVERIFY(QDir().mkpath(outside));
    for (auto &entry : entries) {
        entry.first.replace("OUTSIDE", outside);
        if (entry.second == "OUTSIDE")
            entry.second = outside.toUtf8();
    }
    QByteArray zip = VendorSim::makeZip(entries);
    for (const QString &link : qAsConst(links))
        markAsSymlink(zip, link);

    h->select({{"NIFTY", "CASH"}});
    h->server.setFile(Harness::archivePath("CASH-1.zip"), zip);
    const QSet<QString> before = filesOutsideBackfill();

    QStringList unpacked;
    connect(&inside(h->session()).backfillDownloader(), &MyDownloader::downloadfinished, this,
            [&unpacked] { unpacked = tree(Config::instance().path("Backfill")); });
    h->session().endOfDay(QStringLiteral("CASH-1.zip"), false);
    // Links the tool refused are named; the rest is imported.
    QVERIFY(h->finished->wait(LongWait));
    const QString shown = h->finishedText(0);
    QVERIFY2(shown == (links.isEmpty() ? QStringLiteral("Backfill Done") : QStringLiteral("Backfill Done (1 failed)")),
             qPrintable(shown));
    // p7zip refuses the file written through the link, 7-Zip for Windows the link itself.
    const QString tooltip = h->finishedText(1);
    for (const QString &link : qAsConst(links))
        QVERIFY2(tooltip.contains(link + QStringLiteral("/through-link.txt"))
                     || tooltip.contains(link + QStringLiteral(" (Dangerous link path")),
                 qPrintable(tooltip));

    QVERIFY2(!unpacked.isEmpty(), "the archive was not unpacked");
    // A link may stay, but only one that points back into the folder.
    const QString folder = Config::instance().path("Backfill/");
    for (const QString &path : qAsConst(unpacked)) {
        const QFileInfo info(folder + path);
        if (info.isSymLink())
            QVERIFY2(info.symLinkTarget().startsWith(folder), qPrintable(path + " -> " + info.symLinkTarget()));
    }
    const QSet<QString> after = filesOutsideBackfill();
    QStringList appeared = QSet<QString>(after).subtract(before).values();
    appeared.sort();
    QVERIFY2(appeared.isEmpty(), qPrintable(appeared.join(", ")));
    QCOMPARE(after.size(), before.size());
    QVERIFY(QDir(outside).isEmpty(Everything));

    const QString prefix = QStringLiteral("Import(0,") + Config::instance().nativePath("Backfill/");
    const QStringList imports = h->importTexts();
    QVERIFY(imports.contains(Harness::endOfDayImport("NIFTY.txt")));
    for (const QString &text : imports) {
        QVERIFY2(text.startsWith(prefix), qPrintable(text));
        QVERIFY2(!text.contains(".."), qPrintable(text));
    }
    QVERIFY(backfillFolderEmpty());
}

QTEST_MAIN(TestEndOfDay)
#include "tst_endofday.moc"
