// The main window over an assembled engine: its form, the feed boxes and catalogue list, the
// selection buttons, the account's hand-over, the watch-list buttons, the message and status
// lines, the restart and settings buttons and the close sequence.
#include "app/config.h"
#include "app/seams.h"
#include "app/settings.h"
#include "app/settingsstore.h"
#include "support/controller.h"
#include "support/storedsettings.h"
#include "symbols/displaytablemodel.h"
#include "symbols/feeds.h"
#include "vendor/connectionmonitor.h"
#include "vendor/connectionprobe.h"
#include "symbolswindow.h"
#include "ui_amibrokerlivedata2.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLayout>
#include <QMetaMethod>
#include <QTcpServer>
#include <QUrlQuery>

namespace {

const QString AllFeeds = QStringLiteral("CASH,FUTURE,OPTION,COMM,CURR,SPOT,AgriComm");
const QString SettingsStyle = QStringLiteral("background-color: rgb(0, 79, 116);\ncolor: rgb(244, 244, 244);");
const QString LightStyle = QStringLiteral("background-color: rgb(215, 218, 255);");
const QString WhiteStyle = QStringLiteral("background-color: rgb(255, 255, 255);");
const QString WatchListFilter = QStringLiteral("Quorvix List(*.qvxList)");
const QColor Added(QStringLiteral("#00ff00"));

// Only the POSIX stand-in journals the end of AmiBroker; on Windows taskkill really ends Broker.exe.
#ifdef Q_OS_WIN
const QStringList EndedLine;
#else
const QStringList EndedLine{QStringLiteral("taskkill Broker.exe")};
#endif

// The caption a trader sees on a group, button or label; other widgets have none.
QString captionOf(const QWidget *widget)
{
    if (const auto *group = qobject_cast<const QGroupBox *>(widget))
        return group->title();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    return QString();
}

QStringList items(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

// "<symbol>@<exchange>" of each table row.
QStringList tableRows(const QAbstractItemModel *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row)
        rows << table->index(row, 0).data().toString() + QLatin1Char('@')
                    + table->index(row, 3).data(DisplayTableModel::ExchangeRole).toString();
    return rows;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

}

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form_data();
    void form();
    void freshWindow();
    void updateProgress_data();
    void updateProgress();
    void feedBoxes_data();
    void feedBoxes();
    void disabledBoxAndFailedLookup();
    void addSymbol();
    void restoredChoicesShown_data();
    void restoredChoicesShown();
    void watchListFiles();
    void watchListFailures_data();
    void watchListFailures();
    void messageLine();
    void statusLabelFollowsProbe();
    void settingsButtonShowsStoredChoices();
    void closeSequence_data();
    void closeSequence();

private:
    void answerDialogs(const QString &fileName);

    std::unique_ptr<SymbolsWorld> m_world;
    std::unique_ptr<QTemporaryDir> m_files;
    QStringList m_captions;
    std::unique_ptr<authDialog> m_controller;
};

void TestMainWindow::initTestCase()
{
    Q_INIT_RESOURCE(resources);
    QCoreApplication::setApplicationVersion(QStringLiteral("4.02"));
    m_world = std::make_unique<SymbolsWorld>();
}

void TestMainWindow::init()
{
    m_world->openWindow();
    m_world->environment->clearJournal();
    m_files = std::make_unique<QTemporaryDir>();
    m_captions.clear();
}

void TestMainWindow::cleanup()
{
    m_controller.reset();
    m_world->closeWindow();
    Seams::setPauseHandler([](int) {});
    qputenv("QUORVIX_PROBE", "127.0.0.1:1");
    Config::reload();
}

void TestMainWindow::answerDialogs(const QString &fileName)
{
    auto answer = [this, fileName](QWidget *parent, const QString &caption, const QString &filter) {
        m_captions << (parent == m_world->window.get() ? caption : QStringLiteral("wrong parent"));
        if (filter != WatchListFilter)
            m_captions << QStringLiteral("wrong filter ") + filter;
        return fileName;
    };
    Seams::setSaveFileNameHandler(answer);
    Seams::setOpenFileNameHandler(answer);
}

void TestMainWindow::form_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("styleSheet");
    QTest::addColumn<int>("pointSize"); // Verdana; 0: not checked

    const auto row = [](const char *name, const char *className, const char *parent, const QRect &geometry,
                        const char *caption, const QString &styleSheet, int pointSize = 0) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(className)
                            << QString::fromLatin1(parent) << geometry << QString::fromLatin1(caption) << styleSheet
                            << pointSize;
    };
    const char *const window = "amibrokerlivedata2", *const feeds = "realTimeDataGroupBox";
    row("amibrokerPathButton", "QPushButton", window, {20, 20, 121, 71}, "Settings", SettingsStyle);
    row("restartButton", "QPushButton", window, {145, 20, 91, 71}, "Restart", SettingsStyle);
    row("pushButton", "QPushButton", window, {544, 20, 81, 71}, "EOD",
        QStringLiteral("background-color: rgb(170, 0, 0);\ncolor: rgb(238, 238, 238);"));
    row("contactSupportButton", "QPushButton", window, {540, 100, 191, 51}, "Contact Support",
        QStringLiteral("background-color: rgb(0, 0, 0);\ncolor: rgb(255, 255, 255);"));
    row("backfillGroup", "QGroupBox", window, {242, 18, 191, 71}, "Backfill Days", "");
    row("daysBox", "QComboBox", "backfillGroup", {10, 29, 61, 31}, "", "");
    row("backfillButton", "QPushButton", "backfillGroup", {80, 20, 101, 41}, "Backfill", SettingsStyle);
    row(feeds, "QGroupBox", window, {20, 100, 511, 51}, "Feeds", "", 10);
    row("cashBox", "QRadioButton", feeds, {40, 20, 61, 17}, "CASH", "", 7);
    row("commBox", "QRadioButton", feeds, {270, 20, 61, 17}, "COMM", "");
    row("spotBox", "QRadioButton", feeds, {420, 20, 51, 17}, "SPOT", "", 7);
    row("agricommBox", "QRadioButton", feeds, {530, 20, 21, 17}, "", "", 8); // captionless
    row("symbolsListWidget", "QListWidget", window, {20, 160, 195, 241}, "", WhiteStyle, 9);
    row("displayTableWidget", "DisplayTableView", window, {222, 160, 509, 265}, "", WhiteStyle, 9);
    row("selectNone", "QPushButton", window, {115, 403, 101, 32}, "None", LightStyle);
    row("addSelected", "QPushButton", window, {20, 436, 196, 32}, "Add Symbol", LightStyle);
    row("DeleteAll", "QPushButton", window, {630, 473, 101, 40}, "Delete All",
        QStringLiteral("background-color: rgb(157, 0, 0);\ncolor: rgb(255, 255, 255);"));
    row("load_list_2", "QPushButton", window, {630, 430, 101, 38}, "Load",
        QStringLiteral("background-color: rgb(244, 244, 244);"));
    row("progressBarRT", "QProgressBar", window, {222, 430, 298, 38}, "", QStringLiteral("color: rgb(255, 255, 255);"));
    row("machineIDLabel", "QLineEdit", window, {100, 474, 311, 31}, "", "");
    row("messageBox", "QTextEdit", window, {100, 518, 511, 31}, "", "");
    row("statusLabel", "QLabel", window, {630, 518, 101, 31}, "Connected / Disconnected", "");
    row("connectButton", "QPushButton", window, {30, 500, 16, 23}, "Connect", "");
}

void TestMainWindow::form()
{
    QFETCH(QString, name);
    QFETCH(int, pointSize);

    // The form as designed: the window built over it sets its flags, which drops the inherited
    // font of the widgets with style sheets of their own.
    QDialog dialog;
    Ui::amibrokerlivedata2 ui;
    ui.setupUi(&dialog);
    const QList<QWidget *> found = dialog.findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QWidget *widget = found.first();
    QTEST(QString::fromLatin1(widget->metaObject()->className()), "className");
    QTEST(widget->parentWidget()->objectName(), "parentName");
    QTEST(widget->geometry(), "geometry");
    QTEST(captionOf(widget), "caption");
    QTEST(widget->styleSheet(), "styleSheet");
    if (pointSize) {
        QCOMPARE(widget->font().family(), QStringLiteral("Verdana"));
        QCOMPARE(widget->font().pointSize(), pointSize);
    }
}

void TestMainWindow::freshWindow()
{
    AssembledWindow &window = *m_world->window;
    const MainForm &ui = *m_world->ui;
    QCOMPARE(window.objectName(), QStringLiteral("amibrokerlivedata2"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Tickvane 4.02 M"));
    QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(window.minimumSize(), QSize(754, 578));
    QCOMPARE(window.maximumSize(), QSize(754, 578));
    QCOMPARE(window.size(), QSize(754, 578));
    QCOMPARE(window.font().family(), QStringLiteral("Verdana"));
    QCOMPARE(window.font().pointSize(), 9);
    // Qt keeps the opacity in 1/255 steps.
    QCOMPARE(qRound(window.windowOpacity() * 100), 97);
    QCOMPARE(window.styleSheet(), QStringLiteral("background-color: rgb(170, 170, 170);"));
    QCOMPARE(window.windowIcon().availableSizes().value(0), QSize(216, 224));
    QCOMPARE(window.findChild<settings *>()->parent(), &window);

    QVERIFY(ui.progressBar->isTextVisible());
    QCOMPARE(ui.progressBar->alignment(), Qt::AlignCenter);
    QVERIFY(ui.progressBarRT->isTextVisible());
    QCOMPARE(ui.progressBarRT->alignment(), Qt::AlignCenter);
    QCOMPARE(items(ui.daysBox), QStringList({"1", "3", "5", "10", "15", "20", "30", "60", "90", "120"}));
    QCOMPARE(ui.daysBox->currentText(), QStringLiteral("1"));
    QVERIFY(ui.machineIDLabel->isReadOnly());
    QVERIFY(ui.machineIDLabel->text().isEmpty());
    QVERIFY(ui.messageBox->isReadOnly());
    QCOMPARE(ui.messageBox->lineWidth(), 0);
    QVERIFY(ui.messageBox->toPlainText().isEmpty());
    QCOMPARE(ui.displayTableWidget->editTriggers(), QAbstractItemView::NoEditTriggers);

    // Widgets such as the combo box keep private layouts; the form itself adds none.
    QVERIFY(!window.layout());
    for (const QLayout *layout : window.findChildren<QLayout *>()) {
        if (layout->parentWidget()->window() == &window)
            QVERIFY2(layout->objectName().isEmpty(), qPrintable(layout->objectName()));
    }
    // Nothing sticks out of the fixed window, apart from the deliberately hidden agricultural box.
    const QRect bounds(QPoint(0, 0), window.size());
    for (QWidget *child : window.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!child->objectName().isEmpty() && !child->isWindow())
            QVERIFY2(bounds.contains(child->geometry()), qPrintable(child->objectName()));
    }
    QVERIFY(!QRect(QPoint(0, 0), ui.realTimeDataGroupBox->size()).intersects(ui.agricommBox->geometry()));

    QCOMPARE(ui.realTimeDataGroupBox->findChildren<QRadioButton *>().size(), Feeds::Count);
    for (const Feeds::Feed &feed : Feeds::All) {
        auto *box = ui.realTimeDataGroupBox->findChild<QRadioButton *>(QLatin1String(feed.boxName));
        QVERIFY2(box && !box->isChecked() && box->autoExclusive(), feed.boxName);
    }
    ui.cashBox->setChecked(true);
    ui.agricommBox->setChecked(true);
    QVERIFY(!ui.cashBox->isChecked());

    // Every on_<object>_<signal> slot of the main window must meet an object of that name with that
    // signal, or connectSlotsByName leaves the button dead without a word at run time.
    const QMetaObject &meta = amibrokerlivedata2::staticMetaObject;
    const QList<QObject *> children = window.findChildren<QObject *>();
    int checked = 0;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod slot = meta.method(i);
        const QByteArray signature = slot.methodSignature();
        if (slot.methodType() != QMetaMethod::Slot || !signature.startsWith("on_"))
            continue;
        bool matched = false;
        for (QObject *child : children) {
            const QByteArray prefix = "on_" + child->objectName().toLatin1() + '_';
            if (!child->objectName().isEmpty() && signature.startsWith(prefix)
                && child->metaObject()->indexOfSignal(signature.mid(prefix.size()).constData()) >= 0)
                matched = true;
        }
        QVERIFY2(matched, signature.constData());
        ++checked;
    }
    QCOMPARE(checked, 20);

    // The session starts the feed once; the button goes with it.
    QVERIFY(ui.connectButton->isEnabled());
    ui.connectButton->click();
    QVERIFY(inside(sessionOf(window)).liveDownloader());
    QVERIFY(!ui.connectButton->isEnabled());
}

void TestMainWindow::updateProgress_data()
{
    QTest::addColumn<QString>("progress");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<int>("value");

    QTest::newRow("complete") << QStringLiteral("100") << QStringLiteral("512.0 bytes/sec") << 100;
    QTest::newRow("whole number") << QStringLiteral("42") << QStringLiteral("1.5 kB/s") << 42;
    QTest::newRow("fraction gives 0") << QStringLiteral("37.5") << QStringLiteral("1.5 kB/s") << 0;
    QTest::newRow("unknown size gives 0") << QStringLiteral("-inf") << QStringLiteral("inf MB/s") << 0;
}

void TestMainWindow::updateProgress()
{
    QFETCH(QString, progress);
    QFETCH(QString, speed);

    QProgressBar *bar = m_world->ui->progressBar;
    m_world->window->updateProgress(QStringLiteral("50"), QStringLiteral("0.0 bytes/sec"));
    QCOMPARE(bar->value(), 50);
    m_world->window->updateProgress(progress, speed);
    QTEST(bar->value(), "value");
    QCOMPARE(bar->format(), QStringLiteral("Tick Data : ") + speed);
    QCOMPARE(bar->text(), QStringLiteral("Tick Data : ") + speed);
}

void TestMainWindow::feedBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("exchange");
    QTest::addColumn<QStringList>("checked");
    for (const Feeds::Feed &feed : Feeds::All) {
        const QString exchange = QLatin1String(feed.exchange);
        // Checked by text: ACC was picked under FUTURE, GOLDM-I under CASH.
        const QStringList checked = exchange == QLatin1String("CASH") ? QStringList{"ACC"}
            : exchange == QLatin1String("MCX")                        ? QStringList{"GOLDM-I"}
                                                                      : QStringList();
        QTest::newRow(feed.boxName) << QString::fromLatin1(feed.boxName) << exchange << checked;
    }
}

// A box lists its exchange's catalogue, checkable, with the selected symbols checked; going to
// another box lists that one's.
void TestMainWindow::feedBoxes()
{
    QFETCH(QString, box);
    QFETCH(QString, exchange);
    QFETCH(QStringList, checked);

    m_world->setSelection({"ACC", "GOLDM-I", "acc"}, {"FUTURE", "CASH", "CASH"});
    QRadioButton *other = box == QLatin1String("cashBox") ? m_world->ui->futureBox : m_world->ui->cashBox;
    other->click();
    m_world->window->findChild<QRadioButton *>(box)->click();
    QCOMPARE(sessionOf(*m_world->window).currentExchange(), exchange);
    QCOMPARE(m_world->listed(), VendorSim::catalogue(exchange));
    QCOMPARE(m_world->checked(), checked);
    QVERIFY(!other->isChecked());
    for (int i = 0; i < m_world->ui->symbolsListWidget->count(); ++i)
        QVERIFY(m_world->ui->symbolsListWidget->item(i)->flags() & Qt::ItemIsUserCheckable);
}

void TestMainWindow::disabledBoxAndFailedLookup()
{
    const MainForm &ui = *m_world->ui;
    ui.cashBox->click();
    sessionOf(*m_world->window).enableFeeds(QStringLiteral("CASH"));
    QVERIFY(ui.cashBox->isEnabled());
    QVERIFY(!ui.futureBox->isEnabled());
    const QStringList before = m_world->listed();
    ui.futureBox->setChecked(true); // toggles both boxes; the account has no future feed
    QCOMPARE(sessionOf(*m_world->window).currentExchange(), QStringLiteral("CASH"));
    QCOMPARE(m_world->listed(), before);
    QVERIFY(QMetaObject::invokeMethod(m_world->window.get(), "on_futureBox_toggled", Q_ARG(bool, false)));
    QCOMPARE(sessionOf(*m_world->window).currentExchange(), QStringLiteral("CASH"));
    QVERIFY(m_world->environment->boxes.isEmpty());

    // A list that cannot be read: an empty box and an empty list.
    sessionOf(*m_world->window).enableFeeds(AllFeeds);
    m_world->sql(QStringLiteral("DROP TABLE Contract"));
    ui.optionBox->click();
    QCOMPARE(m_world->environment->boxes, QStringList({"|"}));
    QCOMPARE(ui.symbolsListWidget->count(), 0);
}

// The marks go to the session in list order; what was added is painted green, the rest white,
// and the table follows the selection.
void TestMainWindow::addSymbol()
{
    const MainForm &ui = *m_world->ui;
    QListWidget *list = ui.symbolsListWidget;
    m_world->addContract(QStringLiteral("TWIN"), QStringLiteral("CASH"));
    m_world->addContract(QStringLiteral("TWIN"), QStringLiteral("MCX"));
    ui.cashBox->click();
    list->findItems(QStringLiteral("TWIN"), Qt::MatchExactly).first()->setCheckState(Qt::Checked);
    ui.addSelected->click();

    ui.commBox->click();
    QListWidgetItem *twin = list->findItems(QStringLiteral("TWIN"), Qt::MatchExactly).first();
    QCOMPARE(twin->checkState(), Qt::Checked);
    for (int i : {0, 2, 4})
        list->item(i)->setCheckState(Qt::Checked);
    ui.addSelected->click();
    const QStringList added{list->item(0)->text(), list->item(2)->text(), list->item(4)->text()};
    QCOMPARE(m_world->symbols(), QStringList{"TWIN"} + added);
    QCOMPARE(m_world->exchanges(), QStringList({"CASH", "MCX", "MCX", "MCX"}));
    QCOMPARE(list->item(0)->background().color(), Added);
    QCOMPARE(twin->background().color(), Added);
    QCOMPARE(list->item(1)->background().color(), QColor(QStringLiteral("#ffffff")));
    QCOMPARE(list->item(1)->background().style(), Qt::SolidPattern);
    QCOMPARE(ui.displayTableWidget->model()->rowCount(), 4);

    list->item(2)->setCheckState(Qt::Unchecked);
    ui.addSelected->click();
    QCOMPARE(m_world->symbols(), (QStringList{"TWIN", added.at(0), added.at(2)}));

    // All and None only mark; Add applies the marks.
    ui.selectAll->click();
    QCOMPARE(m_world->checked(), m_world->listed());
    ui.selectNone->click();
    QVERIFY(m_world->checked().isEmpty());
    QCOMPARE(m_world->symbols().size(), 3);
    ui.addSelected->click();
    QVERIFY(m_world->symbols().isEmpty());

    m_world->setSelection({"NIFTY-I", "GOLDM-I"}, {"FUTURE", "MCX"});
    m_world->window->addDisplayTable();
    QCOMPARE(ui.displayTableWidget->model()->rowCount(), 2);
    ui.DeleteAll->click();
    QVERIFY(m_world->symbols().isEmpty());
    const QAbstractItemModel *table = ui.displayTableWidget->model();
    QCOMPARE(table->rowCount(), 0);
    QStringList headers;
    for (int c = 0; c < table->columnCount(); ++c)
        headers << table->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"SYMBOL", "LTP", "LTQ", "Backfill", "Del"}));
}

void TestMainWindow::restoredChoicesShown_data()
{
    QTest::addColumn<QString>("feeds");
    QTest::addColumn<QStringList>("storedSymbols");
    QTest::addColumn<QStringList>("storedExchanges");
    QTest::addColumn<QList<int>>("storedBoxes");
    QTest::addColumn<QString>("box");          // the feed box shown checked
    QTest::addColumn<QStringList>("rows");     // the table, "<symbol>@<exchange>"
    QTest::addColumn<QStringList>("boxes");

    QTest::newRow("selection") << AllFeeds << QStringList{"NIFTY-I"} << QStringList{"FUTURE"} << QList<int>() << ""
                               << QStringList{"NIFTY-I@FUTURE"} << QStringList();
    QTest::newRow("pruned to the account's feeds")
        << QStringLiteral("CASH,FUTURE") << QStringList({"ACC", "GOLDM-I", "NIFTY-I"})
        << QStringList({"CASH", "MCX", "FUTURE"}) << QList<int>() << "" << QStringList({"ACC@CASH", "NIFTY-I@FUTURE"}) << QStringList();
    // Add Symbol runs over the restored marks: painted, nothing added.
    QTest::newRow("stored box") << QStringLiteral("CASH,FUTURE,COMM") << QStringList({"GOLDM-I", "NIFTY-I"})
                                << QStringList({"MCX", "FUTURE"}) << QList<int>{1, 3, 4} << "commBox"
                                << QStringList({"GOLDM-I@MCX", "NIFTY-I@FUTURE"}) << QStringList();
    QTest::newRow("nothing stored")
        << AllFeeds << QStringList() << QStringList() << QList<int>() << "" << QStringList()
        << QStringList{"Select Symbols|No Symbol Selected.\nPlease Add Symbols for Live Data!"};
}

void TestMainWindow::restoredChoicesShown()
{
    QFETCH(QString, feeds);
    QFETCH(QStringList, storedSymbols);
    QFETCH(QStringList, storedExchanges);
    QFETCH(QList<int>, storedBoxes);
    QFETCH(QString, box);

    SymbolsWorld::storeSelection(storedSymbols, storedExchanges);
    for (int index : storedBoxes)
        Store::write(Store::feedBox(index), true);
    startAccount(*m_world->window, QStringLiteral("TEST-USER-1"), feeds, {"1", "2", "5"},
                 QStringLiteral("Markets open 09:15."));

    const MainForm &ui = *m_world->ui;
    QCOMPARE(items(ui.daysBox), QStringList({"1", "2", "5"}));
    QCOMPARE(ui.messageBox->toPlainText(), QStringLiteral("Markets open 09:15."));
    QCOMPARE(ui.machineIDLabel->text(), QStringLiteral("TEST-USER-1"));
    QVERIFY(ui.connectButton->isHidden());
    QVERIFY(!ui.connectButton->isEnabled());
    const FeedSession &session = sessionOf(*m_world->window);
    for (const Feeds::Feed &feed : Feeds::All) {
        auto *radio = m_world->window->findChild<QRadioButton *>(QLatin1String(feed.boxName));
        QCOMPARE(radio->isEnabled(), session.enabledExchanges().contains(QLatin1String(feed.exchange)));
        QCOMPARE(radio->isChecked(), box == QLatin1String(feed.boxName));
    }
    QTEST(tableRows(ui.displayTableWidget->model()), "rows");
    QTEST(m_world->environment->boxes, "boxes");
    // The live request already asks for the restored selection.
    const QUrl live = inside(sessionOf(*m_world->window)).liveDownloader()->url;
    QCOMPARE(QUrlQuery(live).queryItemValue(QStringLiteral("send")), session.selection().symbols().join('|'));
    if (box.isEmpty()) {
        QCOMPARE(ui.symbolsListWidget->count(), 0);
    } else {
        QCOMPARE(m_world->listed(), VendorSim::catalogue(QStringLiteral("MCX")));
        QCOMPARE(m_world->checked(), QStringList({"GOLDM-I"}));
        QCOMPARE(ui.symbolsListWidget->findItems(QStringLiteral("GOLDM-I"), Qt::MatchExactly).first()->background(),
                 QBrush(Added));
    }
}

void TestMainWindow::watchListFiles()
{
    const MainForm &ui = *m_world->ui;
    const QString fileName = m_files->filePath(QStringLiteral("swing.qvxList"));
    answerDialogs(fileName);
    m_world->setSelection({"NIFTY-I", "GOLDM-I", "M&M"}, {"FUTURE", "MCX", "CASH"});
    ui.save_list->click();
    QCOMPARE(readFile(fileName), QByteArray("NIFTY-I,GOLDM-I,M&M#FUTURE,MCX,CASH"));

    m_world->setSelection({"ACC"}, {"CASH"});
    m_world->window->addDisplayTable();
    ui.load_list_2->click();
    QCOMPARE(tableRows(ui.displayTableWidget->model()), QStringList({"NIFTY-I@FUTURE", "GOLDM-I@MCX", "M&M@CASH"}));
    QCOMPARE(m_captions, QStringList({"Save Wishlist To", "Import Wishlist"}));

    // An existing file is replaced; the empty selection is a lone '#'.
    m_world->setSelection({}, {});
    ui.save_list->click();
    QCOMPARE(readFile(fileName), QByteArray("#"));

    // Symbols without an exchange are left out and named; surplus exchanges go without a word.
    writeFile(fileName, "ACC,TCS,INFY#CASH");
    ui.load_list_2->click();
    QCOMPARE(tableRows(ui.displayTableWidget->model()), QStringList({"ACC@CASH"}));
    QCOMPARE(m_world->environment->boxes, QStringList{QStringLiteral("Watch List Incomplete|These symbols have no "
                                                                    "exchange in the file and were left out:\nTCS, INFY")});
    m_world->environment->boxes.clear();
    writeFile(fileName, "SILVERM-I#MCX,CASH");
    ui.load_list_2->click();
    QCOMPARE(m_world->exchanges(), QStringList({"MCX"}));
    QVERIFY(m_world->environment->boxes.isEmpty());

    // The listed marks stay as they were: Add applies them to the loaded selection.
    m_world->setSelection({"GOLDM-I"}, {"MCX"});
    ui.commBox->click();
    ui.load_list_2->click();
    QCOMPARE(m_world->symbols(), QStringList({"SILVERM-I"}));
    QCOMPARE(m_world->checked(), QStringList({"GOLDM-I"}));
    ui.addSelected->click();
    QCOMPARE(m_world->symbols(), QStringList({"GOLDM-I"}));

    // Cancelled dialogs change nothing and write nothing.
    QVERIFY(QFile::remove(fileName));
    m_captions.clear();
    answerDialogs(QString());
    ui.save_list->click();
    ui.load_list_2->click();
    QCOMPARE(m_captions.size(), 2);
    QCOMPARE(m_world->symbols(), QStringList({"GOLDM-I"}));
    QVERIFY(QDir(m_files->path()).isEmpty());
    QVERIFY(m_world->environment->boxes.isEmpty());
}

void TestMainWindow::watchListFailures_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("save to a missing folder") << true << QStringLiteral("<dir>/no/such/folder/list.qvxList");
    QTest::newRow("save to a folder") << true << QStringLiteral("<dir>");
    QTest::newRow("save to a full device") << true << QStringLiteral("/dev/full");
    QTest::newRow("load a missing file") << false << QStringLiteral("<dir>/gone.qvxList");
    QTest::newRow("load a folder") << false << QStringLiteral("<dir>");
}

// Said in a box; the selection the trader has is kept.
void TestMainWindow::watchListFailures()
{
    QFETCH(bool, save);
    QFETCH(QString, fileName);
    fileName.replace(QLatin1String("<dir>"), m_files->path());
    if (fileName == QLatin1String("/dev/full") && !QFileInfo::exists(fileName))
        QSKIP("no /dev/full here");
    answerDialogs(fileName);
    m_world->setSelection({"NIFTY-I", "GOLDM-I"}, {"FUTURE", "MCX"});
    m_world->window->addDisplayTable();

    (save ? m_world->ui->save_list : m_world->ui->load_list_2)->click();
    QCOMPARE(m_world->environment->boxes.size(), 1);
    const QString expected = save ? QStringLiteral("Save Failed|The watch list could not be saved to:\n")
                                  : QStringLiteral("Load Failed|The watch list file could not be read:\n");
    QVERIFY2(m_world->environment->boxes.first().startsWith(expected + QDir::toNativeSeparators(fileName)),
             qPrintable(m_world->environment->boxes.first()));
    QCOMPARE(m_world->symbols(), QStringList({"NIFTY-I", "GOLDM-I"}));
    QCOMPARE(m_world->ui->displayTableWidget->model()->rowCount(), 2);
}

// While AmiBroker cannot be reached the message line says so; once it is back, the broadcast returns.
void TestMainWindow::messageLine()
{
    m_world->closeWindow();
    const QString root = m_world->environment->root();
    const QString down = root + QStringLiteral("/automation.down");
    QVERIFY(QFile(down).open(QIODevice::WriteOnly));
    m_world->openWindow();
    startAccount(*m_world->window, QStringLiteral("TEST-USER-1"), QStringLiteral("CASH"), {"1"},
                 QStringLiteral("Holiday on Friday."));
    QTextEdit *line = m_world->ui->messageBox;
    QCOMPARE(line->toPlainText(), QStringLiteral("AmiBroker not reachable"));

    writeFile(root + QStringLiteral("/rt.txt"), "NSE,TCS,20261207,10:00:00,3500.5,10,1,0\n");
    liveDataUpdator &worker = inside(sessionOf(*m_world->window)).worker();
    QVERIFY(QFile::remove(down));
    worker.updateDataAmi();
    QCOMPARE(line->toPlainText(), QStringLiteral("Holiday on Friday."));
    QVERIFY(QFile(down).open(QIODevice::WriteOnly));
    worker.updateDataAmi();
    QCOMPARE(line->toPlainText(), QStringLiteral("AmiBroker not reachable"));
    QVERIFY(QFile::remove(down));
    QFile::remove(root + QStringLiteral("/rt.txt"));
}

// The controller's connection probe writes the status label.
void TestMainWindow::statusLabelFollowsProbe()
{
    m_world->closeWindow();
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost));
    qputenv("QUORVIX_PROBE", QByteArray("127.0.0.1:") + QByteArray::number(listener.serverPort()));
    Config::reload();
    Store::write(Store::DisableAutoBackfill5, true);
    m_controller = newController();
    m_controller->start();

    QLabel *status = MainForm(*mainWindowOf(*m_controller)).statusLabel;
    QCOMPARE(status->text(), QStringLiteral("Connected / Disconnected"));
    m_controller->connectionMonitor()->probe();
    QTRY_COMPARE(status->text(), ConnectionProbe::statusText(true));
}

// Choices stored after the window was built are what the dialog opens with.
void TestMainWindow::settingsButtonShowsStoredChoices()
{
    AssembledWindow &window = *m_world->window;
    window.show();
    StoredSettings().seed(Store::DataMode, 2);

    QWidget *modal = nullptr;
    int dataModeShown = -1;
    QTimer::singleShot(0, &window, [&] {
        modal = QApplication::activeModalWidget();
        dataModeShown = window.findChild<settings *>()->dataMode;
        if (modal)
            modal->close();
    });
    m_world->ui->amibrokerPathButton->click();
    QCOMPARE(modal, window.findChild<settings *>());
    QCOMPARE(dataModeShown, 2);
}

void TestMainWindow::closeSequence_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("saveLayout");
    QTest::addColumn<bool>("controlAmibroker");
    QTest::addColumn<QStringList>("expected");

    const QString layout = QStringLiteral("SaveLayout(%1)").arg(QDir::toNativeSeparators(
        m_world->environment->root() + QStringLiteral("/Amibroker/QVF1000/Layouts/Default.awl")));
    QTest::newRow("database only") << "close" << false << false << QStringList{"SaveDatabase()"};
    QTest::newRow("escape closes alike") << "escape" << false << false << QStringList{"SaveDatabase()"};
    QTest::newRow("restart button closes alike") << "restart" << false << false << QStringList{"SaveDatabase()"};
    QTest::newRow("layout before database") << "close" << true << false << QStringList{layout, "SaveDatabase()"};
    QTest::newRow("AmiBroker ended after saving")
        << "close" << false << true << QStringList{"SaveDatabase()"} + EndedLine;
    QTest::newRow("everything") << "close" << true << true << QStringList{layout, "SaveDatabase()"} + EndedLine;
}

// The close saves the choices and AmiBroker's database; AmiBroker is ended, when the trader asked
// for that, from behind the hidden window after a pause. The restart button ends the event loop
// with the restart code besides.
void TestMainWindow::closeSequence()
{
    QFETCH(QString, how);
    QFETCH(bool, saveLayout);
    QFETCH(bool, controlAmibroker);
    QFETCH(QStringList, expected);

    StoredSettings().seed({{Store::SaveLayout, saveLayout}, {Store::ControlAmibroker, controlAmibroker}});
    AssembledWindow &window = *m_world->window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    m_world->ui->connectButton->click();
    window.findChild<settings *>()->load();
    sessionOf(window).assignSelection({"NIFTY-I", "GOLDM-I"}, {"FUTURE", "MCX"});

    QList<int> pauses;
    bool visibleDuringPause = true;
    int journalAtPause = -1;
    Seams::setPauseHandler([&](int ms) {
        pauses << ms;
        visibleDuringPause = window.isVisible();
        journalAtPause = m_world->environment->journal().size();
    });
    m_world->environment->clearJournal();
    if (how == QLatin1String("escape")) {
        QTest::keyClick(&window, Qt::Key_Escape);
    } else if (how == QLatin1String("close")) {
        QVERIFY(window.close());
    } else {
        QTimer::singleShot(0, &window, [this] { m_world->ui->restartButton->click(); });
        // Never hang: a wrong exit code shows up as -1.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(-1); });
        guard.start(60000);
        QCOMPARE(QCoreApplication::exec(), 4444);
        // The next cycle's last window must still end its event loop, and nothing queued may end
        // it with 0: whatever is queued now runs before this exit, queued behind a zero timer.
        QVERIFY(QGuiApplication::quitOnLastWindowClosed());
        QTimer::singleShot(0, qApp, [] {
            QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(7); }, Qt::QueuedConnection);
        });
        QCOMPARE(QCoreApplication::exec(), 7);
    }

    QVERIFY(!window.isVisible());
    QCOMPARE(m_world->environment->journal(), expected);
    QCOMPARE(pauses, controlAmibroker ? QList<int>{2000} : QList<int>());
    if (controlAmibroker) {
        QVERIFY(!visibleDuringPause);
        // Both saves were issued before the pause, the end of AmiBroker after it.
        QCOMPARE(journalAtPause, expected.size() - EndedLine.size());
    }
    QCOMPARE(Store::read(Store::SelectedSymbols), QStringList({"NIFTY-I", "GOLDM-I"}));
    // No poll follows the close.
    QVERIFY(!inside(sessionOf(window)).liveDownloader()->pollTimer->isActive());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
