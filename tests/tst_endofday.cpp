// End-of-day backfill: the dialog, one archive per run through the backfill downloader and the
// real 7za, the import of the unpacked files, and archives that try to write elsewhere.
#include "backfillharness.h"
#include "support/mainform.h"

#include "app/eventlog.h"
#include "backfill/eoddata.h"
#include "ui_eoddata.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QtTest>

using namespace BackfillTest;

namespace {

using Entries = QList<QPair<QString, QByteArray>>;

const QByteArray Quotes = "20261207,100.5,101,99.8,100.9,12000\n";

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

}

class TestEndOfDay : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dialogForm();
    void archiveName_data();
    void archiveName();
    void closedDialogRequestsNothing();
    void import_data();
    void import();
    void secondRunImportsOnce();
    void dialogBackfillStopsActiveRun();
    void intradayAfterEndOfDay();
    void endOfDayAfterStoppedIntraday();
    void onlyPlainFilesGoToAmiBroker();
    void unsafeEntriesStayInside_data();
    void unsafeEntriesStayInside();

private:
    // Opens the dialog from the main window and presses its Backfill.
    void requestArchive(const QString &feed, const QString &period, bool watchListOnly);
    [[nodiscard]] bool runFinished() const;
    [[nodiscard]] QStringList backfillFolder() const;
    [[nodiscard]] QSet<QString> filesOutsideBackfill() const;

    std::unique_ptr<Harness> h;
};

void TestEndOfDay::init()
{
    h = std::make_unique<Harness>();
    h->enableExchanges({"CASH", "MCX"});
}

void TestEndOfDay::cleanup()
{
    h.reset();
}

void TestEndOfDay::requestArchive(const QString &feed, const QString &period, bool watchListOnly)
{
    h->ui()->progressBarRT->setFormat(QString());
    h->ui()->pushButton->click();
    QPointer<eoddata> dialog = h->window->findChild<eoddata *>();
    QVERIFY(dialog);
    QVERIFY(dialog->isModal());
    QVERIFY(dialog->isVisible());
    Ui::eoddata *form = dialog->form();
    form->eodFeedBox->setCurrentText(feed);
    QCOMPARE(form->eodFeedBox->currentText(), feed);
    form->eodDataSelectorBox->setCurrentText(period);
    QCOMPARE(form->eodDataSelectorBox->currentText(), period);
    form->selectedSymbolsBackfill->setChecked(watchListOnly);
    form->backfillButton->click();
}

bool TestEndOfDay::runFinished() const
{
    return h->runFinished() && !inside(sessionOf(*h->window)).backfillRun().isActive();
}

QStringList TestEndOfDay::backfillFolder() const
{
    QStringList entries = QDir(Config::instance().path("Backfill"))
                              .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    entries.sort();
    return entries;
}

// Every file and folder of the test's temporary tree, apart from the Backfill folder's content and
// the files the harness itself writes.
QSet<QString> TestEndOfDay::filesOutsideBackfill() const
{
    const QString top = QDir(h->env->root() + "/..").canonicalPath();
    const QStringList ignored{"root/Backfill", "root/automation.log", "root/vendor.db", "config/"};
    QSet<QString> found;
    QDirIterator it(top, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = it.next().mid(top.size() + 1);
        const bool skip = std::any_of(ignored.cbegin(), ignored.cend(),
                                      [&relative](const QString &prefix) { return relative.startsWith(prefix); });
        if (!skip)
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
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
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

void TestEndOfDay::archiveName_data()
{
    QTest::addColumn<QString>("feed");
    QTest::addColumn<QString>("period");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("archive");

    QTest::newRow("cash recent") << "CASH" << "recent" << true << "CASH-1.zip";
    QTest::newRow("future current year") << "FUTURE" << "currentYear" << false << "FUTURE-2.zip";
    QTest::newRow("comm past years") << "COMM" << "pastYears" << true << "COMM-3.zip";
    QTest::newRow("currency past years") << "CURRENCY" << "pastYears" << false << "CURRENCY-3.zip";
    QTest::newRow("spot recent") << "SPOT" << "recent" << false << "SPOT-1.zip";
}

void TestEndOfDay::archiveName()
{
    QFETCH(QString, feed);
    QFETCH(QString, period);
    QFETCH(bool, checked);
    QFETCH(QString, archive);

    QPointer<eoddata> dialog = new eoddata;
    QSignalSpy requested(dialog.data(), &eoddata::doBackfill);
    bool flagWhenEmitted = !checked;
    connect(dialog.data(), &eoddata::doBackfill, this, [&] { flagWhenEmitted = dialog->watchListOnly; });
    dialog->form()->eodFeedBox->setCurrentText(feed);
    dialog->form()->eodDataSelectorBox->setCurrentText(period);
    dialog->form()->selectedSymbolsBackfill->setChecked(checked);
    dialog->show();
    dialog->form()->backfillButton->click();

    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.first().first().toString(), archive);
    QCOMPARE(flagWhenEmitted, checked);
    QTRY_VERIFY(dialog.isNull());
}

void TestEndOfDay::closedDialogRequestsNothing()
{
    h->ui()->pushButton->click();
    QPointer<eoddata> dialog = h->window->findChild<eoddata *>();
    QVERIFY(dialog);
    dialog->close();
    QTRY_VERIFY(dialog.isNull());
    QTest::qWait(200);
    QVERIFY(h->requests("eod").isEmpty());
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Backfill"));
}

void TestEndOfDay::import_data()
{
    QTest::addColumn<bool>("watchListOnly");
    QTest::addColumn<QStringList>("imported");

    QTest::newRow("watch list only") << true << QStringList{"NIFTY.txt"};
    QTest::newRow("every entry") << false << QStringList{"BANKNIFTY.txt", "NIFTY.txt", "notes.csv"};
}

void TestEndOfDay::import()
{
    QFETCH(bool, watchListOnly);
    QFETCH(QStringList, imported);

    h->select({{"NIFTY", "CASH"}, {"RELIANCE", "CASH"}});
    h->server.setFile(Harness::archivePath("COMM-3.zip"),
                      VendorSim::makeZip({{"NIFTY.txt", Quotes}, {"BANKNIFTY.txt", Quotes}, {"notes.csv", "x\n"}}));

    requestArchive("COMM", "pastYears", watchListOnly);
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Stop"));
    QTRY_VERIFY_WITH_TIMEOUT(runFinished(), LongWait);

    const QList<VendorSim::Request> sent = h->requests("eod");
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().path, Harness::archivePath("COMM-3.zip"));
    QVERIFY(h->requests("backfill").isEmpty());

    QStringList expected;
    for (const QString &entry : qAsConst(imported))
        expected << Harness::endOfDayImport(entry);
    QStringList seen = h->importTexts();
    seen.sort();
    QCOMPARE(seen, expected);
    QVERIFY(QFileInfo(Config::instance().path("Backfill")).isDir());
    QVERIFY(backfillFolder().isEmpty());
    QVERIFY(!QFile::exists(Config::instance().path("backfilldata.zip")));
    QCOMPARE(h->ui()->progressBarRT->format(), QStringLiteral("Backfill Done"));
}

void TestEndOfDay::secondRunImportsOnce()
{
    h->select({{"NIFTY", "CASH"}, {"SBIN", "CASH"}});
    h->server.setFile(Harness::archivePath("CASH-1.zip"),
                      VendorSim::makeZip({{"NIFTY.txt", Quotes}, {"SBIN.txt", Quotes}}));

    QSignalSpy imported(&inside(sessionOf(*h->window)).backfillRun(), &BackfillRun::finished);
    for (int run = 1; run <= 2; ++run) {
        h->env->clearJournal();
        requestArchive("CASH", "recent", true);
        QTRY_VERIFY_WITH_TIMEOUT(runFinished(), LongWait);
        // The poll timer runs at 10 ms: give it room to send a second request if it would.
        QTest::qWait(300);
        QCOMPARE(h->requests("eod").size(), run);
        QCOMPARE(imported.count(), run);
        QStringList seen = h->importTexts();
        seen.sort();
        QCOMPARE(seen, (QStringList{Harness::endOfDayImport("NIFTY.txt"), Harness::endOfDayImport("SBIN.txt")}));
        QVERIFY(backfillFolder().isEmpty());
    }
}

void TestEndOfDay::dialogBackfillStopsActiveRun()
{
    h->select({{"NIFTY", "CASH"}});
    h->server.misbehave("eod", VendorSim::Mode::HttpError);
    requestArchive("CASH", "recent", true);
    // Failing downloads are repeated after a pause while the run stays active.
    QTRY_VERIFY_WITH_TIMEOUT(h->requests("eod").size() >= 3, LongWait);
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Stop"));

    requestArchive("FUTURE", "pastYears", true);
    QCOMPARE(h->backfillButton()->text(), QStringLiteral("Backfill"));
    QVERIFY(h->backfillButton()->isEnabled());
    QTest::qWait(300);
    const int settled = h->requests("eod").size();
    QTest::qWait(300);
    QCOMPARE(h->requests("eod").size(), settled);
    const QList<VendorSim::Request> sent = h->requests("eod");
    for (const VendorSim::Request &request : sent)
        QCOMPARE(request.path, Harness::archivePath("CASH-1.zip"));
    QVERIFY(h->importTexts().isEmpty());
}

void TestEndOfDay::intradayAfterEndOfDay()
{
    h->select({{"NIFTY", "CASH"}, {"SBIN", "CASH"}});
    h->server.setFile(Harness::archivePath("CASH-1.zip"), VendorSim::makeZip({{"NIFTY.txt", Quotes}}));
    requestArchive("CASH", "recent", false);
    QTRY_VERIFY_WITH_TIMEOUT(runFinished(), LongWait);
    QCOMPARE(h->importTexts(), QStringList{Harness::endOfDayImport("NIFTY.txt")});

    // A file the end-of-day import would take if it were still attached.
    QFile leftover(Config::instance().path("Backfill/SBIN.txt"));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.write(Quotes);
    leftover.close();
    h->env->clearJournal();
    h->ui()->progressBarRT->setFormat(QString());

    h->backfillButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(runFinished(), LongWait);
    QCOMPARE(h->backfillQueries(), (QStringList{h->query("1", "NIFTY"), h->query("1", "SBIN")}));
    QCOMPARE(h->importTexts(), (QStringList{Harness::intradayImport(), Harness::intradayImport()}));
    QCOMPARE(h->requests("eod").size(), 1);
    QVERIFY(leftover.exists());
}

void TestEndOfDay::endOfDayAfterStoppedIntraday()
{
    h->server.misbehave("backfill", VendorSim::Mode::Hang, 1);
    h->enableExchanges({"CASH"});
    h->select({{"NIFTY", "CASH"}});
    h->backfillButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(h->requests("backfill").size(), 1, LongWait);
    h->backfillButton()->click();

    // Left by an earlier run whose import was detached: not part of the archive asked for now.
    QDir().mkpath(Config::instance().path("Backfill"));
    QFile leftover(Config::instance().path("Backfill/SBIN.txt"));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.write(Quotes);
    leftover.close();

    h->server.setFile(Harness::archivePath("CASH-1.zip"), VendorSim::makeZip({{"NIFTY.txt", Quotes}}));
    requestArchive("CASH", "recent", false);
    QTRY_VERIFY_WITH_TIMEOUT(runFinished(), LongWait);
    QCOMPARE(h->requests("eod").size(), 1);
    QCOMPARE(h->importTexts(), QStringList{Harness::endOfDayImport("NIFTY.txt")});
}

// Seen before: a folder from the archive was handed to Import, and a name with a comma made Import's
// text four arguments long, which AmiBroker refuses with DISP_E_BADPARAMCOUNT.
void TestEndOfDay::onlyPlainFilesGoToAmiBroker()
{
    const QString logFolder = h->env->root() + QStringLiteral("/logs");
    EventLog log(logFolder);
    h->select({{"NIFTY", "CASH"}});
    h->server.setFile(Harness::archivePath("CASH-1.zip"),
                      VendorSim::makeZip({{"NIFTY.txt", Quotes}, {"sub/INNER.txt", Quotes}, {"A,B.txt", Quotes}}));
    requestArchive("CASH", "recent", false);
    QTRY_VERIFY_WITH_TIMEOUT(!inside(sessionOf(*h->window)).backfillRun().isActive(), LongWait);

    QCOMPARE(h->importTexts(), QStringList{Harness::endOfDayImport("NIFTY.txt")});
    QCOMPARE(h->ui()->progressBarRT->format(), QStringLiteral("Backfill Done (1 failed)"));
    QCOMPARE(h->ui()->progressBarRT->toolTip(), QStringLiteral("Not imported: A,B.txt (a comma in the name)"));
    QVERIFY(EventLog::flush());
    const QStringList files = QDir(logFolder).entryList(QDir::Files);
    QFile file(logFolder + QLatin1Char('/') + files.value(0));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    // The log ends its lines the system's way.
    QVERIFY2(QString::fromUtf8(content).contains(QRegularExpression(QStringLiteral("folders skipped: sub\r?\n"))),
             content.constData());
    QVERIFY(content.contains(": 1 of 2 files imported"));
    QVERIFY(backfillFolder().isEmpty());
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
    connect((&inside(sessionOf(*h->window)).backfillDownloader()), &MyDownloader::downloadfinished, this, [&unpacked] {
        QDirIterator it(Config::instance().path("Backfill"), QDir::AllEntries | QDir::Hidden | QDir::System
                            | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            unpacked << it.next();
    });
    requestArchive("CASH", "recent", false);
    // Links the tool refused are named; the rest is imported.
    QTRY_VERIFY_WITH_TIMEOUT(!inside(sessionOf(*h->window)).backfillRun().isActive(), LongWait);
    const QString shown = h->ui()->progressBarRT->format();
    QVERIFY2(shown == (links.isEmpty() ? QStringLiteral("Backfill Done") : QStringLiteral("Backfill Done (1 failed)")),
             qPrintable(shown));
    // p7zip refuses the file written through the link, 7-Zip for Windows the link itself.
    const QString tooltip = h->ui()->progressBarRT->toolTip();
    for (const QString &link : qAsConst(links))
        QVERIFY2(tooltip.contains(link + QStringLiteral("/through-link.txt"))
                     || tooltip.contains(link + QStringLiteral(" (Dangerous link path")),
                 qPrintable(tooltip));

    QVERIFY2(!unpacked.isEmpty(), "the archive was not unpacked");
    // A link may stay, but only one that points back into the folder.
    const QString folder = Config::instance().path("Backfill/");
    for (const QString &path : qAsConst(unpacked)) {
        const QFileInfo info(path);
        if (info.isSymLink())
            QVERIFY2(info.symLinkTarget().startsWith(folder), qPrintable(path + " -> " + info.symLinkTarget()));
    }
    const QSet<QString> after = filesOutsideBackfill();
    QStringList appeared = QSet<QString>(after).subtract(before).values();
    appeared.sort();
    QVERIFY2(appeared.isEmpty(), qPrintable(appeared.join(", ")));
    QCOMPARE(after.size(), before.size());
    QVERIFY(QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty());

    const QString prefix = QStringLiteral("Import(0,") + Config::instance().nativePath("Backfill/");
    const QStringList imports = h->importTexts();
    QVERIFY(imports.contains(Harness::endOfDayImport("NIFTY.txt")));
    for (const QString &text : imports) {
        QVERIFY2(text.startsWith(prefix), qPrintable(text));
        QVERIFY2(!text.contains(".."), qPrintable(text));
    }
    QVERIFY(backfillFolder().isEmpty());
}

QTEST_MAIN(TestEndOfDay)
#include "tst_endofday.moc"
