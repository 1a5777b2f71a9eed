// The feed boxes and the symbol catalogue, the selection buttons and the start-up restore,
// on a main window over a seeded SQLite vendor database.
#include "app/seams.h"
#include "symbols/displaytablemodel.h"
#include "symbols/feeds.h"
#include "support/mainform.h"
#include "symbolswindow.h"

#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTableView>

namespace {

const QString AllFeeds = QStringLiteral("CASH,FUTURE,OPTION,COMM,CURR,SPOT,AgriComm");
const QString EmptySelectionBox =
    QStringLiteral("Select Symbols|No Symbol Selected.\nPlease Add Symbols for Live Data!");

QStringList seeded(const QString &exchange)
{
    return VendorSim::catalogue(exchange);
}

}

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void movingBetweenBoxes();
    void boxListsItsExchange_data();
    void boxListsItsExchange();
    void selectedSymbolsShowChecked();
    void disabledBoxIgnoresToggle();
    void emptyResultIsQueriedAgain();
    void loadedEntryIsNotQueriedAgain();
    void failedQueryShowsEmptyBox();
    void closedConnectionIsOpened();

    void addSymbolAppendsCheckedUnderCurrentExchange();
    void addSymbolKeepsFirstExchange();
    void uncheckingRemovesSymbolAndExchange();
    void selectAllAndNoneChangeNothingUntilAdd();
    void deleteAllEmptiesSelectionAndTable();

    void enableInterfaceFillsWidgets();
    void feedWordsEnableBoxes_data();
    void feedWordsEnableBoxes();
    void restorePrunesDisabledExchanges_data();
    void restorePrunesDisabledExchanges();
    void restoreClicksSavedBoxes();
    void emptyRestoreAsksForSymbols();
    void closedWhileRestoringKeepsTheStore();

private:
    std::unique_ptr<SymbolsWorld> m_world;
};

void TestCatalogue::initTestCase()
{
    m_world = std::make_unique<SymbolsWorld>();
}

void TestCatalogue::init()
{
    m_world->openWindow();
}

void TestCatalogue::cleanup()
{
    m_world->closeWindow();
}

void TestCatalogue::movingBetweenBoxes()
{
    amibrokerlivedata2 &window = *m_world->window;
    QStringList exchangesSeen;
    connect(m_world->ui->cashBox, &QRadioButton::toggled, this,
            [&](bool) { exchangesSeen << sessionOf(window).currentExchange(); });
    connect(m_world->ui->futureBox, &QRadioButton::toggled, this,
            [&](bool) { exchangesSeen << sessionOf(window).currentExchange(); });

    m_world->ui->cashBox->click();
    QCOMPARE(sessionOf(window).currentExchange(), QStringLiteral("CASH"));
    QCOMPARE(m_world->listed(), seeded(QStringLiteral("CASH")));
    m_world->ui->futureBox->click();

    // The box losing its check runs first, so the gaining box's exchange is the one left current.
    QCOMPARE(exchangesSeen, QStringList({"CASH", "CASH", "FUTURE"}));
    QCOMPARE(sessionOf(window).currentExchange(), QStringLiteral("FUTURE"));
    QCOMPARE(m_world->listed(), seeded(QStringLiteral("FUTURE")));
    QVERIFY(sessionOf(window).feedFlags()[1]);
    QVERIFY(!sessionOf(window).feedFlags()[0]);
    QCOMPARE(std::count(sessionOf(window).feedFlags().cbegin(), sessionOf(window).feedFlags().cend(), true), 1);
}

void TestCatalogue::boxListsItsExchange_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("exchange");
    for (const Feeds::Feed &box : Feeds::All)
        QTest::newRow(box.boxName) << QString::fromLatin1(box.boxName) << QString::fromLatin1(box.exchange);
}

void TestCatalogue::boxListsItsExchange()
{
    QFETCH(QString, box);
    QFETCH(QString, exchange);
    auto *radio = m_world->window->findChild<QRadioButton *>(box);
    QVERIFY(radio);
    radio->click();
    QCOMPARE(sessionOf(*m_world->window).currentExchange(), exchange);
    const QStringList expected = seeded(exchange);
    QCOMPARE(m_world->listed(), expected);
    if (exchange == QLatin1String("MCX"))
        QVERIFY(expected.contains(QStringLiteral("GOLDM-I")));
    for (int i = 0; i < m_world->ui->symbolsListWidget->count(); ++i)
        QVERIFY(m_world->ui->symbolsListWidget->item(i)->flags() & Qt::ItemIsUserCheckable);
}

void TestCatalogue::selectedSymbolsShowChecked()
{
    // Picked under FUTURE, still checked in the cash list: the test is by text only.
    m_world->setSelection(QStringList({"ACC", "NIFTY-I", "acc"}), QStringList({"FUTURE", "FUTURE", "CASH"}));
    m_world->ui->cashBox->click();
    QCOMPARE(m_world->checked(), QStringList({"ACC"}));
    QCOMPARE(m_world->ui->symbolsListWidget->item(0)->text(), QStringLiteral("ABB"));
    QCOMPARE(m_world->ui->symbolsListWidget->item(0)->checkState(), Qt::Unchecked);
}

void TestCatalogue::disabledBoxIgnoresToggle()
{
    m_world->ui->cashBox->click();
    sessionOf(*m_world->window).enableFeeds(QStringLiteral("CASH"));
    QVERIFY(!m_world->ui->futureBox->isEnabled());
    const QStringList before = m_world->listed();

    m_world->ui->futureBox->setChecked(true); // toggles both boxes; the account has no future feed
    QCOMPARE(sessionOf(*m_world->window).currentExchange(), QStringLiteral("CASH"));
    QVERIFY(!sessionOf(*m_world->window).feedFlags()[1]);
    QCOMPARE(m_world->listed(), before);

    QVERIFY(QMetaObject::invokeMethod(m_world->window.get(), "on_futureBox_toggled", Q_ARG(bool, false)));
    QCOMPARE(sessionOf(*m_world->window).currentExchange(), QStringLiteral("CASH"));
}

void TestCatalogue::emptyResultIsQueriedAgain()
{
    m_world->sql(QStringLiteral("DELETE FROM Contract WHERE Exch = 'OPTION'"));
    m_world->ui->optionBox->click();
    QCOMPARE(m_world->ui->symbolsListWidget->count(), 0);
    QVERIFY(sessionOf(*m_world->window).cachedCatalogue(QStringLiteral("OPTION")).isEmpty());

    m_world->addContract(QStringLiteral("NIFTY-CE-20000"), QStringLiteral("OPTION"));
    m_world->ui->cashBox->click();
    m_world->ui->optionBox->click();
    QCOMPARE(m_world->listed(), QStringList({"NIFTY-CE-20000"}));
    QVERIFY(m_world->environment->boxes.isEmpty());
}

void TestCatalogue::loadedEntryIsNotQueriedAgain()
{
    m_world->ui->spotBox->click();
    const QStringList first = m_world->listed();
    QVERIFY(!first.isEmpty());
    m_world->addContract(QStringLiteral("AAAINDEX"), QStringLiteral("SPOTINDEX"));
    m_world->ui->cashBox->click();
    m_world->ui->spotBox->click();
    QCOMPARE(m_world->listed(), first);
}

void TestCatalogue::failedQueryShowsEmptyBox()
{
    m_world->ui->cashBox->click();
    m_world->sql(QStringLiteral("DROP TABLE Contract"));
    m_world->ui->futureBox->click();
    QCOMPARE(m_world->environment->boxes, QStringList({"|"}));
    QCOMPARE(m_world->ui->symbolsListWidget->count(), 0);
    QVERIFY(sessionOf(*m_world->window).cachedCatalogue(QStringLiteral("FUTURE")).isEmpty());

    // Leaving the futures box asks again (and fails again); the loaded cash list needs no database.
    m_world->ui->cashBox->click();
    QCOMPARE(m_world->listed(), seeded(QStringLiteral("CASH")));
    QCOMPARE(m_world->environment->boxes, QStringList({"|", "|"}));
}

void TestCatalogue::closedConnectionIsOpened()
{
    m_world->window->vendorConnection()->database().close();
    m_world->ui->currBox->click();
    QVERIFY(m_world->window->vendorConnection()->database().isOpen());
    QCOMPARE(m_world->listed(), seeded(QStringLiteral("CURRENCY")));
}

void TestCatalogue::addSymbolAppendsCheckedUnderCurrentExchange()
{
    m_world->ui->commBox->click();
    QListWidget *list = m_world->ui->symbolsListWidget;
    QVERIFY(list->count() >= 5);
    for (int i : {0, 2, 4})
        list->item(i)->setCheckState(Qt::Checked);
    MainForm(*m_world->window).addSelected->click();

    const QStringList expected = {list->item(0)->text(), list->item(2)->text(), list->item(4)->text()};
    QCOMPARE(m_world->symbols(), expected);
    QCOMPARE(m_world->exchanges(), QStringList({"MCX", "MCX", "MCX"}));
    QCOMPARE(list->item(0)->background().color(), QColor(QStringLiteral("#00ff00")));
    QCOMPARE(list->item(1)->background().color(), QColor(QStringLiteral("#ffffff")));
    QCOMPARE(list->item(1)->background().style(), Qt::SolidPattern);
    // The selection change re-aims the live request and rebuilds the table.
    QCOMPARE(m_world->ui->displayTableWidget->model()->rowCount(), 3);
}

void TestCatalogue::addSymbolKeepsFirstExchange()
{
    m_world->addContract(QStringLiteral("TWIN"), QStringLiteral("CASH"));
    m_world->addContract(QStringLiteral("TWIN"), QStringLiteral("MCX"));
    m_world->ui->cashBox->click();
    m_world->ui->symbolsListWidget->findItems(QStringLiteral("TWIN"), Qt::MatchExactly).first()->setCheckState(Qt::Checked);
    m_world->ui->addSelected->click();
    m_world->ui->commBox->click();
    QListWidgetItem *twin = m_world->ui->symbolsListWidget->findItems(QStringLiteral("TWIN"), Qt::MatchExactly).first();
    QCOMPARE(twin->checkState(), Qt::Checked);
    m_world->ui->addSelected->click();
    QCOMPARE(m_world->symbols(), QStringList({"TWIN"}));
    QCOMPARE(m_world->exchanges(), QStringList({"CASH"}));
    QCOMPARE(twin->background().color(), QColor(QStringLiteral("#00ff00")));
}

void TestCatalogue::uncheckingRemovesSymbolAndExchange()
{
    m_world->setSelection(QStringList({"NIFTY-I", "GOLDM-I", "ACC", "SILVERM-I"}), QStringList({"FUTURE", "MCX", "CASH", "MCX"}));
    m_world->ui->commBox->click();
    QCOMPARE(m_world->checked(), QStringList({"GOLDM-I", "SILVERM-I"}));
    m_world->ui->symbolsListWidget->findItems(QStringLiteral("GOLDM-I"), Qt::MatchExactly).first()->setCheckState(Qt::Unchecked);
    m_world->ui->addSelected->click();
    QCOMPARE(m_world->symbols(), QStringList({"NIFTY-I", "ACC", "SILVERM-I"}));
    QCOMPARE(m_world->exchanges(), QStringList({"FUTURE", "CASH", "MCX"}));
}

void TestCatalogue::selectAllAndNoneChangeNothingUntilAdd()
{
    m_world->setSelection(QStringList({"GOLDM-I"}), QStringList({"MCX"}));
    m_world->ui->commBox->click();
    m_world->ui->selectAll->click();
    QCOMPARE(m_world->checked(), seeded(QStringLiteral("MCX")));
    QCOMPARE(m_world->symbols(), QStringList({"GOLDM-I"}));
    m_world->ui->selectNone->click();
    QVERIFY(m_world->checked().isEmpty());
    QCOMPARE(m_world->symbols(), QStringList({"GOLDM-I"}));
    QCOMPARE(m_world->exchanges(), QStringList({"MCX"}));

    m_world->ui->addSelected->click();
    QVERIFY(m_world->symbols().isEmpty());
    QVERIFY(m_world->exchanges().isEmpty());
}

void TestCatalogue::deleteAllEmptiesSelectionAndTable()
{
    MainForm(*m_world->window).connectButton->click();
    m_world->setSelection(QStringList({"NIFTY-I", "GOLDM-I"}), QStringList({"FUTURE", "MCX"}));
    m_world->window->addDisplayTable();
    QCOMPARE(m_world->ui->displayTableWidget->model()->rowCount(), 2);

    m_world->ui->DeleteAll->click();
    QVERIFY(m_world->symbols().isEmpty());
    QVERIFY(m_world->exchanges().isEmpty());
    const QAbstractItemModel *table = m_world->ui->displayTableWidget->model();
    QCOMPARE(table->rowCount(), 0);
    QStringList headers;
    for (int c = 0; c < table->columnCount(); ++c)
        headers << table->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"SYMBOL", "LTP", "LTQ", "Backfill", "Del"}));
    QVERIFY(inside(sessionOf(*m_world->window)).liveDownloader()->url.toString().contains(QStringLiteral("&send=&hash=")));
}

void TestCatalogue::enableInterfaceFillsWidgets()
{
    m_world->storeSelection({"NIFTY-I"}, {"FUTURE"});
    startAccount(*m_world->window, QStringLiteral("TEST-USER-1"), AllFeeds, {"1", "2", "5"},
                                     QStringLiteral("Markets open 09:15."));
    const MainForm *ui = m_world->ui.get();
    QCOMPARE(ui->daysBox->count(), 3);
    QCOMPARE(ui->daysBox->itemText(2), QStringLiteral("5"));
    QCOMPARE(ui->messageBox->toPlainText(), QStringLiteral("Markets open 09:15."));
    QCOMPARE(ui->machineIDLabel->text(), QStringLiteral("TEST-USER-1"));
    QVERIFY(ui->connectButton->isHidden());
    QVERIFY(!ui->connectButton->isEnabled());
    QVERIFY(inside(sessionOf(*m_world->window)).liveDownloader());
    // The restored selection already aims the live request.
    QVERIFY(inside(sessionOf(*m_world->window)).liveDownloader()->url.toString().contains(QStringLiteral("uid=TEST-USER-1&send=NIFTY-I&hash=key")));
    QCOMPARE(ui->displayTableWidget->model()->rowCount(), 1);
    QVERIFY(m_world->environment->boxes.isEmpty());
}

void TestCatalogue::feedWordsEnableBoxes_data()
{
    QTest::addColumn<QString>("feeds");
    QTest::addColumn<QStringList>("enabled");
    QTest::newRow("all") << AllFeeds << QStringList({"CASH", "FUTURE", "OPTION", "MCX", "CURRENCY", "SPOTINDEX", "NCDEX"});
    QTest::newRow("CURR inside CURRENCY") << QStringLiteral("CASH,CURRENCY") << QStringList({"CASH", "CURRENCY"});
    QTest::newRow("COMM enables MCX") << QStringLiteral("COMM") << QStringList({"MCX"});
    QTest::newRow("case-sensitive") << QStringLiteral("cash,Future,agricomm") << QStringList();
    QTest::newRow("AgriComm") << QStringLiteral("SPOT,AgriComm") << QStringList({"SPOTINDEX", "NCDEX"});
    QTest::newRow("empty") << QString() << QStringList();
}

void TestCatalogue::feedWordsEnableBoxes()
{
    QFETCH(QString, feeds);
    QFETCH(QStringList, enabled);
    startAccount(*m_world->window, QStringLiteral("U"), feeds, {}, QString());
    QCOMPARE(sessionOf(*m_world->window).enabledExchanges(), enabled);
}

void TestCatalogue::restorePrunesDisabledExchanges_data()
{
    QTest::addColumn<QString>("feeds");
    QTest::addColumn<QStringList>("storedSymbols");
    QTest::addColumn<QStringList>("storedExchanges");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QStringList>("exchanges");

    QTest::newRow("all enabled") << AllFeeds << QStringList({"NIFTY-I", "GOLDM-I"}) << QStringList({"FUTURE", "MCX"})
                                 << QStringList({"NIFTY-I", "GOLDM-I"}) << QStringList({"FUTURE", "MCX"});
    QTest::newRow("two consecutive disabled")
        << QStringLiteral("CASH,FUTURE") << QStringList({"ACC", "GOLDM-I", "SILVERM-I", "NIFTY-I"})
        << QStringList({"CASH", "MCX", "MCX", "FUTURE"}) << QStringList({"ACC", "NIFTY-I"})
        << QStringList({"CASH", "FUTURE"});
    QTest::newRow("disabled at both ends")
        << QStringLiteral("FUTURE") << QStringList({"ACC", "NIFTY-I", "INDIAVIX"})
        << QStringList({"CASH", "FUTURE", "SPOTINDEX"}) << QStringList({"NIFTY-I"}) << QStringList({"FUTURE"});
    QTest::newRow("duplicates kept") << AllFeeds << QStringList({"ACC", "ACC"}) << QStringList({"CASH", "FUTURE"})
                                     << QStringList({"ACC", "ACC"}) << QStringList({"CASH", "FUTURE"});
    // Unequal lists, as only an outside edit of the store can leave them: cut to pairs.
    QTest::newRow("more symbols") << AllFeeds << QStringList({"ACC", "NIFTY-I", "GOLDM-I"})
                                  << QStringList({"CASH", "FUTURE"}) << QStringList({"ACC", "NIFTY-I"})
                                  << QStringList({"CASH", "FUTURE"});
    QTest::newRow("more exchanges") << QStringLiteral("CASH") << QStringList({"ACC"})
                                    << QStringList({"CASH", "MCX", "CASH"}) << QStringList({"ACC"})
                                    << QStringList({"CASH"});
    QTest::newRow("empty symbols dropped") << AllFeeds << QStringList({"", "ACC", ""}) << QStringList({"CASH", "CASH", "MCX"})
                                           << QStringList({"ACC"}) << QStringList({"CASH"});
    QTest::newRow("no symbols") << AllFeeds << QStringList() << QStringList({"CASH", "MCX"}) << QStringList()
                                << QStringList();
}

void TestCatalogue::restorePrunesDisabledExchanges()
{
    QFETCH(QString, feeds);
    QFETCH(QStringList, storedSymbols);
    QFETCH(QStringList, storedExchanges);
    QFETCH(QStringList, symbols);
    QFETCH(QStringList, exchanges);

    m_world->storeSelection(storedSymbols, storedExchanges);
    startAccount(*m_world->window, QStringLiteral("U"), feeds, {}, QString());
    QCOMPARE(m_world->symbols(), symbols);
    QCOMPARE(m_world->exchanges(), exchanges);
    const QAbstractItemModel *table = m_world->ui->displayTableWidget->model();
    QCOMPARE(table->rowCount(), symbols.size());
    for (int row = 0; row < symbols.size(); ++row) {
        QCOMPARE(table->index(row, 0).data().toString(), symbols.at(row));
        QCOMPARE(table->index(row, 3).data(DisplayTableModel::ExchangeRole).toString(), exchanges.at(row));
    }
}

void TestCatalogue::restoreClicksSavedBoxes()
{
    m_world->storeSelection({"GOLDM-I", "NIFTY-I"}, {"MCX", "FUTURE"});
    {
        const StoredSettings store;
        store.seed(Store::feedBoxKey(1), true);
        store.seed(Store::feedBoxKey(3), true);
        store.seed(Store::feedBoxKey(4), true); // CURR is not among the feeds below
    }
    startAccount(*m_world->window, QStringLiteral("U"), QStringLiteral("CASH,FUTURE,COMM"), {}, QString());

    QCOMPARE(sessionOf(*m_world->window).currentExchange(), QStringLiteral("MCX"));
    QVERIFY(m_world->ui->commBox->isChecked());
    QVERIFY(!m_world->ui->currBox->isChecked());
    QVERIFY(sessionOf(*m_world->window).feedFlags()[3]);
    QVERIFY(!sessionOf(*m_world->window).feedFlags()[1]);
    QVERIFY(!sessionOf(*m_world->window).feedFlags()[4]);
    QCOMPARE(m_world->listed(), seeded(QStringLiteral("MCX")));
    QCOMPARE(m_world->checked(), QStringList({"GOLDM-I"}));
    // Add Symbol ran over the restored marks: painted, nothing added.
    QCOMPARE(m_world->ui->symbolsListWidget->findItems(QStringLiteral("GOLDM-I"), Qt::MatchExactly)
                 .first()->background().color(),
             QColor(QStringLiteral("#00ff00")));
    QCOMPARE(m_world->symbols(), QStringList({"GOLDM-I", "NIFTY-I"}));
    QCOMPARE(m_world->exchanges(), QStringList({"MCX", "FUTURE"}));
}

void TestCatalogue::emptyRestoreAsksForSymbols()
{
    startAccount(*m_world->window, QStringLiteral("U"), AllFeeds, {}, QString());
    QVERIFY(inside(sessionOf(*m_world->window)).liveDownloader());
    QCOMPARE(m_world->environment->boxes, QStringList({EmptySelectionBox}));
    QCOMPARE(m_world->ui->symbolsListWidget->count(), 0);
    QCOMPARE(m_world->ui->displayTableWidget->model()->rowCount(), 0);
}

// The trader closes the window while its start-up is still restoring the stored choices (here
// inside a box the restore raised): the half-restored choices must not be stored over them.
void TestCatalogue::closedWhileRestoringKeepsTheStore()
{
    m_world->storeSelection({"GOLDM-I", "NIFTY-I"}, {"MCX", "FUTURE"});
    {
        const StoredSettings store;
        store.seed(Store::feedBoxKey(1), true);
        store.seed(Store::feedBoxKey(3), true);
    }
    // The first restored box's list cannot be read: the box about it is where the trader closes.
    m_world->sql(QStringLiteral("DROP TABLE Contract"));
    QStringList *boxes = &m_world->environment->boxes;
    Seams::setInformationHandler([boxes](QWidget *parent, const QString &title, const QString &text) {
        *boxes << title + QLatin1Char('|') + text;
        if (parent)
            parent->close();
    });
    const auto restore = qScopeGuard([boxes] {
        Seams::setInformationHandler([boxes](QWidget *, const QString &title, const QString &text) {
            *boxes << title + QLatin1Char('|') + text;
        });
    });

    startAccount(*m_world->window, QStringLiteral("U"), AllFeeds, {}, QString());
    QVERIFY(!m_world->environment->boxes.isEmpty());
    const StoredSettings store;
    QCOMPARE(store.value(Store::feedBoxKey(1)).toBool(), true);
    QCOMPARE(store.value(Store::feedBoxKey(3)).toBool(), true);
    QCOMPARE(store.value(Store::SelectedSymbols).toStringList(), QStringList({"GOLDM-I", "NIFTY-I"}));
    QCOMPARE(store.value(Store::SelectedExchanges).toStringList(), QStringList({"MCX", "FUTURE"}));
}

QTEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
