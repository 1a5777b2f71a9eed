// The preferences dialog against a real (private) settings store.
#include "app/eventlog.h"
#include "app/seams.h"
#include "app/settings.h"
#include "app/settingsstore.h"
#include "support/storedsettings.h"
#include "support/testenvironment.h"
#include "ui_settings.h"

#include <QtTest>

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

namespace {

using Values = QVariantMap;

void writeStore(const Values &values) { StoredSettings().seed(values); }
Values readStore() { return StoredSettings().values(); }

// The six boxes in store order: disable 5-day, fast, layout, control, then the two below the grid.
const char *const BoxNames[] = {"autoBackfill5",    "fastBackfill",        "saveLayout",
                                "controlAmibroker", "backfillAfterOutage", "notifyFeedTrouble"};

// The boxes' check states as '0' and '1', in the order above.
QString checks(const settings &dialog)
{
    QString states;
    for (const char *name : BoxNames)
        states += dialog.findChild<QCheckBox *>(QLatin1String(name))->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    return states;
}

void setChecks(settings &dialog, const QString &states)
{
    int i = 0;
    for (const char *name : BoxNames)
        dialog.findChild<QCheckBox *>(QLatin1String(name))->setChecked(states.at(i++) == QLatin1Char('1'));
}

QRadioButton *mode(const settings &dialog, int number)
{
    return dialog.findChild<QRadioButton *>(QStringLiteral("mode%1").arg(number));
}

// What OK writes: the six boxes, as checks() gives them, and the data mode.
Values written(const char *states, int dataMode)
{
    const Store::Key<bool> keys[] = {Store::DisableAutoBackfill5, Store::FastBackfill,       Store::SaveLayout,
                                     Store::ControlAmibroker,     Store::BackfillAfterOutage, Store::NotifyFeedTrouble};
    Values values{{Store::DataMode, dataMode}};
    for (int i = 0; i < 6; ++i)
        values.insert(keys[i], states[i] == '1');
    return values;
}

// What the program reads for the two boxes below the grid, as checks() gives them.
QString lowerBoxesRead()
{
    return QString::number(Store::backfillAfterOutage()) + QString::number(Store::notifyFeedTrouble());
}

void press(settings &dialog, QDialogButtonBox::StandardButton which)
{
    dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(which)->click();
}

}

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void form();
    void newWidgetsMoveNothing_data();
    void newWidgetsMoveNothing();
    void gridPlaces_data();
    void gridPlaces();
    void loadEditAndClose_data();
    void loadEditAndClose();
    void memberFollowsLoadsOnly();
    void okEndsAModalRun();
    void firstRunValuesFillOnlyAbsentKeys_data();
    void firstRunValuesFillOnlyAbsentKeys();
    void openLogFolder_data();
    void openLogFolder();
    void writesReachTheDisk();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void TestSettings::initTestCase()
{
    // Qt reads XDG_CONFIG_HOME once per process, so one private store serves every test.
    m_env = std::make_unique<TestEnvironment>();
}

void TestSettings::init()
{
    StoredSettings().clear();
}

void TestSettings::form()
{
    settings dialog(nullptr);
    QCOMPARE(dialog.objectName(), QStringLiteral("settings"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Settings"));
    // Two rows taller than the original 490 by 252: the outage and notification boxes have a row
    // each below the rest.
    QCOMPARE(dialog.minimumSize(), QSize(490, 313));
    QCOMPARE(dialog.maximumSize(), QSize(490, 313));
    QCOMPARE(dialog.windowFlags(), Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                                       | Qt::WindowCloseButtonHint);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));

    auto *group = dialog.findChild<QButtonGroup *>(QStringLiteral("buttonGroup"));
    QVERIFY(group && group->exclusive());
    QCOMPARE(group->buttons(), (QList<QAbstractButton *>{mode(dialog, 1), mode(dialog, 2)}));

    auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QCOMPARE(buttons->font().family(), QStringLiteral("Verdana"));
    QCOMPARE(buttons->font().pointSize(), 10);
    // checks() covers every box.
    QCOMPARE(dialog.findChildren<QCheckBox *>().size(), 6);

    // The two boxes below sit outside the grid, in the band it leaves free below its rows, so that
    // they take no share of the grid's spare height; last in the tab order.
    dialog.show();
    auto *grid = dialog.findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    auto *box = dialog.findChild<QCheckBox *>(QStringLiteral("backfillAfterOutage"));
    QCOMPARE(grid->indexOf(box), -1);
    QCOMPARE(box->text(), QStringLiteral("Backfill after an outage"));
    QCOMPARE(box->font().family(), QStringLiteral("Verdana"));
    QCOMPARE(box->font().pointSize(), 11);
    const QMargins margins = grid->contentsMargins();
    QCOMPARE(margins.bottom(), 313 - 252 + margins.top());
    QCOMPARE(box->geometry(), QRect(margins.left(), 252 - margins.top(), 490 - margins.left() - margins.right(), 24));
    auto *notify = dialog.findChild<QCheckBox *>(QStringLiteral("notifyFeedTrouble"));
    QCOMPARE(grid->indexOf(notify), -1);
    QCOMPARE(notify->text(), QStringLiteral("Notify me when the feed has trouble"));
    QCOMPARE(notify->geometry(), box->geometry().translated(0, 24));
    QList<QWidget *> chain;
    for (QWidget *widget = mode(dialog, 1); chain.size() < 11; widget = widget->nextInFocusChain()) {
        if (widget->focusPolicy() & Qt::TabFocus)
            chain << widget;
    }
    const auto named = [&dialog](const char *name) { return dialog.findChild<QWidget *>(QLatin1String(name)); };
    QCOMPARE(chain, (QList<QWidget *>{named("mode1"), named("mode2"), named("autoBackfill5"), named("fastBackfill"),
                                      named("saveLayout"), named("controlAmibroker"),
                                      buttons->button(QDialogButtonBox::Ok), buttons->button(QDialogButtonBox::Cancel),
                                      named("openLogFolder"), box, notify}));

    // The form's own initial states, before any load overwrites them.
    QDialog bare;
    Ui::settings ui;
    ui.setupUi(&bare);
    QCOMPARE((QList<bool>{ui.autoBackfill5->isChecked(), ui.fastBackfill->isChecked(), ui.saveLayout->isChecked(),
                          ui.controlAmibroker->isChecked(), ui.backfillAfterOutage->isChecked()}),
             (QList<bool>{false, true, true, true, true}));
    // Enter in the dialog stays with OK.
    QVERIFY(!ui.openLogFolder->autoDefault());
}

void TestSettings::newWidgetsMoveNothing_data()
{
    // The spare height of the fixed-size dialog is shared out by the grid in whole pixels, so a
    // pixel more or less in a font's line height (Qt 5 and Qt 6 read DejaVu Sans' metrics
    // differently) must not move an original widget either.
    QTest::addColumn<int>("pointSizeChange");
    QTest::newRow("fonts as designed") << 0;
    QTest::newRow("fonts a point smaller") << -1;
    QTest::newRow("fonts a point larger") << 1;
    QTest::newRow("fonts two points larger") << 2;
}

void TestSettings::newWidgetsMoveNothing()
{
    QFETCH(int, pointSizeChange);
    const auto resizeFonts = [pointSizeChange](QWidget &form) {
        // Only the fonts the form sets: the dialog buttons inherit theirs from the button box.
        for (QWidget *widget : form.findChildren<QWidget *>()) {
            if (!widget->testAttribute(Qt::WA_SetFont))
                continue;
            QFont font = widget->font();
            font.setPointSize(font.pointSize() + pointSizeChange);
            widget->setFont(font);
        }
    };

    // The form as it was (the two new widgets and the band kept for the outage box left out, the
    // original size) against the form as it is: every original widget at the same place and size.
    QDialog before;
    Ui::settings old;
    old.setupUi(&before);
    old.openLogFolder->hide();
    old.backfillAfterOutage->hide();
    old.notifyFeedTrouble->hide();
    QMargins margins = before.layout()->contentsMargins();
    margins.setBottom(margins.top());
    before.layout()->setContentsMargins(margins);
    before.setMinimumSize(490, 252);
    before.setMaximumSize(490, 252);
    resizeFonts(before);
    before.show();
    before.layout()->activate();

    settings dialog(nullptr);
    resizeFonts(dialog);
    dialog.show();
    dialog.layout()->activate();

    const QRect outage = dialog.findChild<QWidget *>(QStringLiteral("backfillAfterOutage"))->geometry();
    for (const char *name : {"label", "mode1", "mode2", "autoBackfill5", "fastBackfill", "saveLayout",
                             "controlAmibroker", "buttonBox"}) {
        const QWidget *was = before.findChild<QWidget *>(QLatin1String(name));
        const QWidget *is = dialog.findChild<QWidget *>(QLatin1String(name));
        QVERIFY2(is->geometry() == was->geometry(), name);
        QVERIFY2(!is->geometry().intersects(dialog.findChild<QWidget *>(QStringLiteral("openLogFolder"))->geometry()), name);
        if (pointSizeChange <= 0)
            QVERIFY2(is->geometry().bottom() < outage.top(), name);
    }
}

void TestSettings::gridPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("columnSpan");
    QTest::addColumn<int>("pointSize");

    QTest::newRow("label") << "label" << "Data Mode : " << 0 << 0 << 1 << 11;
    QTest::newRow("mode1") << "mode1" << "Mode 1" << 0 << 1 << 1 << 11;
    QTest::newRow("mode2") << "mode2" << "Mode 2(default)" << 0 << 2 << 1 << 11;
    QTest::newRow("auto backfill") << "autoBackfill5" << "Disable 5 Day Auto Backfill" << 3 << 0 << 4 << 11;
    QTest::newRow("fast") << "fastBackfill" << "Fast Backfill" << 4 << 0 << 4 << 11;
    QTest::newRow("layout") << "saveLayout" << "Save Layout" << 5 << 0 << 4 << 11;
    QTest::newRow("control") << "controlAmibroker" << "Control Amibroker From DataFeed" << 6 << 0 << 4 << 11;
    QTest::newRow("buttons") << "buttonBox" << "" << 7 << 0 << 2 << 10;
    QTest::newRow("log folder, beside the buttons") << "openLogFolder" << "Open Log Folder" << 7 << 2 << 2 << 10;
}

void TestSettings::gridPlaces()
{
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, columnSpan);

    settings dialog(nullptr);
    auto *grid = dialog.findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    auto *widget = dialog.findChild<QWidget *>(name);
    QVERIFY(grid && widget);
    QCOMPARE(dialog.layout(), grid);
    int r = -1, c = -1, rowSpan = 0, colSpan = 0;
    grid->getItemPosition(grid->indexOf(widget), &r, &c, &rowSpan, &colSpan);
    QCOMPARE((QList<int>{r, c, rowSpan, colSpan}), (QList<int>{row, column, 1, columnSpan}));

    if (name != QLatin1String("buttonBox")) {
        QTEST(widget->property("text").toString(), "text");
        QCOMPARE(widget->font().family(), QStringLiteral("Verdana"));
        QTEST(widget->font().pointSize(), "pointSize");
    }
}

void TestSettings::loadEditAndClose_data()
{
    QTest::addColumn<Values>("stored");
    QTest::addColumn<QString>("loaded");  // checks() after the load at construction
    QTest::addColumn<int>("loadedMode");  // the radio button that ends up checked
    QTest::addColumn<QString>("edits");   // the boxes as the trader leaves them; empty: untouched
    QTest::addColumn<int>("chosenMode");  // 0: leave the radio buttons as loaded
    QTest::addColumn<Values>("expected"); // the store after OK; empty: Cancel instead

    // The boxes below the grid read absent as on, so an untouched OK writes them as true.
    const Values none;
    const Values outageOff{{Store::BackfillAfterOutage, false}};
    Values kept = written("010001", 1);
    kept.insert(Store::SelectedSymbols, QStringList{"NIFTY-I"});
    QTest::newRow("empty store: Mode 1 despite the (default) caption, untouched OK writes the defaults")
        << none << "000011" << 1 << "" << 0 << written("000011", 1);
    QTest::newRow("data mode 2") << Values{{Store::DataMode, 2}} << "000011" << 2 << "" << 0 << written("000011", 2);
    QTest::newRow("data mode 3 falls back to Mode 1 and is written back as 1")
        << Values{{Store::DataMode, 3}} << "000011" << 1 << "" << 0 << written("000011", 1);
    QTest::newRow("all on, mode 1")
        << Values{{Store::DisableAutoBackfill5, true}, {Store::FastBackfill, true}, {Store::SaveLayout, true},
                  {Store::ControlAmibroker, true}, {Store::DataMode, 1}}
        << "111111" << 1 << "" << 0 << written("111111", 1);
    QTest::newRow("only control") << Values{{Store::ControlAmibroker, true}} << "000111" << 1 << "" << 0
                                  << written("000111", 1);
    QTest::newRow("edits and Mode 2") << Values{{Store::DataMode, 1}} << "000011" << 1 << "101111" << 2
                                      << written("101111", 2);
    QTest::newRow("back to Mode 1, other keys kept")
        << Values{{Store::DataMode, 2}, {Store::SelectedSymbols, QStringList{"NIFTY-I"}},
                  {Store::BackfillAfterOutage, false}}
        << "000001" << 2 << "010001" << 1 << kept;
    QTest::newRow("every box and the mode changed, then Cancel")
        << Values{{Store::DisableAutoBackfill5, true}, {Store::FastBackfill, true}, {Store::SaveLayout, false},
                  {Store::ControlAmibroker, true}, {Store::DataMode, 2}}
        << "110111" << 2 << "001000" << 1 << none;
    QTest::newRow("lower boxes absent among other keys")
        << Values{{Store::DisableAutoBackfill5, true}, {Store::DataMode, 2}} << "100011" << 2 << "" << 0
        << written("100011", 2);
    QTest::newRow("outage stored off") << outageOff << "000001" << 1 << "" << 0 << written("000001", 1);
    QTest::newRow("outage stored on") << Values{{Store::BackfillAfterOutage, true}} << "000011" << 1 << "" << 0
                                      << written("000011", 1);
    QTest::newRow("outage switched off") << none << "000011" << 1 << "000001" << 0 << written("000001", 1);
    QTest::newRow("outage switched on") << outageOff << "000001" << 1 << "000011" << 0 << written("000011", 1);
    QTest::newRow("outage switched off, then Cancel") << none << "000011" << 1 << "000001" << 0 << none;
    QTest::newRow("outage switched on, then Cancel") << outageOff << "000001" << 1 << "000011" << 0 << none;
    QTest::newRow("notify switched off") << none << "000011" << 1 << "000010" << 0 << written("000010", 1);
    QTest::newRow("notify stored off, switched on")
        << Values{{Store::NotifyFeedTrouble, false}} << "000010" << 1 << "000011" << 0 << written("000011", 1);
}

// The store loads into the form at construction; OK writes the form back, Cancel writes nothing.
void TestSettings::loadEditAndClose()
{
    QFETCH(Values, stored);
    QFETCH(QString, loaded);
    QFETCH(int, loadedMode);
    QFETCH(QString, edits);
    QFETCH(int, chosenMode);
    QFETCH(Values, expected);

    writeStore(stored);
    QCOMPARE(lowerBoxesRead(), loaded.right(2));
    settings dialog(nullptr);
    QCOMPARE(checks(dialog), loaded);
    QVERIFY(mode(dialog, loadedMode)->isChecked() && !mode(dialog, 3 - loadedMode)->isChecked());
    // The member keeps the stored number as it is, 0 when absent.
    QCOMPARE(dialog.dataMode, stored.value(Store::DataMode).toInt());
    QCOMPARE(dialog.controlAmibroker, loaded.at(3) == QLatin1Char('1'));
    // Loading never writes.
    QCOMPARE(readStore(), stored);

    dialog.show();
    if (!edits.isEmpty())
        setChecks(dialog, edits);
    if (chosenMode)
        mode(dialog, chosenMode)->setChecked(true);
    press(dialog, expected.isEmpty() ? QDialogButtonBox::Cancel : QDialogButtonBox::Ok);
    QVERIFY(!dialog.isVisible());

    if (expected.isEmpty()) {
        QCOMPARE(readStore(), stored);
        QCOMPARE(dialog.controlAmibroker, loaded.at(3) == QLatin1Char('1'));
        // The next opening (load, then exec) shows the stored values, not the abandoned edits.
        dialog.load();
        QCOMPARE(checks(dialog), loaded);
        QVERIFY(mode(dialog, loadedMode)->isChecked() && !mode(dialog, 3 - loadedMode)->isChecked());
        QCOMPARE(lowerBoxesRead(), loaded.right(2));
        return;
    }
    const Values store = readStore();
    QCOMPARE(store.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QVariant got = store.value(it.key());
        const bool list = it.value().userType() == QMetaType::QStringList;
        QVERIFY2(list ? got == it.value() : got.toString() == it.value().toString(), qPrintable(it.key()));
    }
    // The reload after OK brings the members in line with what was written.
    QCOMPARE(dialog.dataMode, expected.value(Store::DataMode).toInt());
    QCOMPARE(dialog.controlAmibroker, expected.value(Store::ControlAmibroker).toBool());
    QCOMPARE(checks(dialog), edits.isEmpty() ? loaded : edits);
    QCOMPARE(lowerBoxesRead(), checks(dialog).right(2));
}

void TestSettings::memberFollowsLoadsOnly()
{
    // The close sequence reads the member, not the store: a store change shows up at the next load.
    writeStore({{Store::ControlAmibroker, true}});
    settings dialog(nullptr);
    QVERIFY(dialog.controlAmibroker);

    writeStore({{Store::ControlAmibroker, false}});
    QVERIFY(dialog.controlAmibroker);
    dialog.load();
    QVERIFY(!dialog.controlAmibroker);

    // An absent key after a load reads as false, whatever the member held before.
    writeStore({{Store::ControlAmibroker, true}});
    dialog.load();
    QVERIFY(dialog.controlAmibroker);
    StoredSettings().remove(Store::ControlAmibroker);
    dialog.load();
    QVERIFY(!dialog.controlAmibroker);
}

void TestSettings::okEndsAModalRun()
{
    QWidget window;
    auto *dialog = new settings(&window);
    QCOMPARE(dialog->parentWidget(), &window);
    QTimer::singleShot(0, dialog, [dialog] {
        mode(*dialog, 2)->setChecked(true);
        press(*dialog, QDialogButtonBox::Ok);
    });
    dialog->load();
    dialog->exec();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(StoredSettings().value(Store::DataMode).toInt(), 2);
    QCOMPARE(dialog->dataMode, 2);
}

void TestSettings::firstRunValuesFillOnlyAbsentKeys_data()
{
    QTest::addColumn<Values>("before");
    QTest::addColumn<Values>("after");

    const QStringList defaultSymbols{"BANKNIFTY-I", "CRUDEOIL-I", "GOLDM-I", "SILVERM-I",
                                     "USDINR-I",    "INDIAVIX",   "ICICIBANK", "NIFTY-I"};
    const QStringList defaultExchanges{"FUTURE", "MCX", "MCX", "MCX", "CURRENCY", "SPOTINDEX", "CASH", "FUTURE"};
    const Values firstRun{{Store::SelectedSymbols, defaultSymbols}, {Store::SelectedExchanges, defaultExchanges},
                          {Store::DisableAutoBackfill5, false},     {Store::DataMode, 2},
                          {Store::FastBackfill, true},              {Store::SaveLayout, false},
                          {Store::ControlAmibroker, false}};
    const auto with = [](Values values, const Values &changes) {
        for (auto it = changes.cbegin(); it != changes.cend(); ++it)
            values.insert(it.key(), it.value());
        return values;
    };
    const Values trader{{Store::SelectedSymbols, QStringList{"SBIN", "NIFTY-I"}},
                        {Store::SelectedExchanges, QStringList{"CASH", "FUTURE"}},
                        {Store::DisableAutoBackfill5, true}, {Store::DataMode, 1},
                        {Store::FastBackfill, false},        {Store::SaveLayout, true},
                        {Store::ControlAmibroker, true},     {Store::feedBoxKey(0), true},
                        {Store::feedBoxKey(3), false}};

    QTest::newRow("first run: every value") << Values() << firstRun;
    QTest::newRow("lapsed account: every choice kept") << trader << trader;
    QTest::newRow("only a selection stored")
        << Values{{Store::SelectedSymbols, QStringList{"SBIN"}}, {Store::SelectedExchanges, QStringList{"CASH"}}}
        << with(firstRun, {{Store::SelectedSymbols, QStringList{"SBIN"}},
                           {Store::SelectedExchanges, QStringList{"CASH"}}});
    QTest::newRow("stored switches kept, the rest filled")
        << Values{{Store::SaveLayout, true}, {Store::ControlAmibroker, true}, {Store::DisableAutoBackfill5, true}}
        << with(firstRun, {{Store::SaveLayout, true}, {Store::ControlAmibroker, true},
                           {Store::DisableAutoBackfill5, true}});
    QTest::newRow("feed boxes alone get the first-run values beside them")
        << Values{{Store::feedBoxKey(1), true}} << with(firstRun, {{Store::feedBoxKey(1), true}});
    QTest::newRow("stored values equal to the first-run ones") << firstRun << firstRun;
}

void TestSettings::firstRunValuesFillOnlyAbsentKeys()
{
    QFETCH(Values, before);
    QFETCH(Values, after);

    writeStore(before);
    Store::writeFirstRunValues();
    QCOMPARE(readStore(), after);
}

// The close stores the trader's choices and may then end AmiBroker: what was written must be in
// the file by then, not only in this process.
void TestSettings::writesReachTheDisk()
{
#ifdef Q_OS_WIN
    QSKIP("the store is the registry there, not a file to read");
#endif
    const QString file = StoredSettings().fileName();
    const auto onDisk = [&file] {
        QFile text(file);
        return text.open(QIODevice::ReadOnly) ? text.readAll() : QByteArray();
    };
    // Each with the type it always had: a bool as true, not 1; a list as a list.
    Store::write(Store::SaveLayout, true);
    QVERIFY(onDisk().contains("saveLayout=true"));
    Store::write(Store::SelectedSymbols, QStringList{"SBIN", "M&M"});
    QVERIFY(onDisk().contains("selectedSymbolsList=SBIN, M&M"));
    QCOMPARE(Store::read(Store::SelectedSymbols), (QStringList{"SBIN", "M&M"}));
    {
        Store::Batch batch;
        batch.write(Store::feedBox(2), true);
        batch.write(Store::DataMode, 1);
        batch.sync();
        const QByteArray text = onDisk();
        QVERIFY(text.contains("checkbox2=true"));
        QVERIFY(text.contains("Data%20Mode=1"));
        batch.write(Store::FastBackfill, true);
    }
    QVERIFY(onDisk().contains("fastBackfill=true"));
    Store::remove(Store::SaveLayout);
    QVERIFY(!onDisk().contains("saveLayout"));
}

void TestSettings::openLogFolder_data()
{
    QTest::addColumn<bool>("logOpen");
    QTest::newRow("the install folder's logs") << false;
    QTest::newRow("the open log's folder") << true;
}

void TestSettings::openLogFolder()
{
    QFETCH(bool, logOpen);

    QList<QUrl> opened;
    Seams::setOpenUrlHandler([&opened](const QUrl &url) { opened << url; });
    QTemporaryDir elsewhere;
    std::unique_ptr<EventLog> log;
    if (logOpen)
        log = std::make_unique<EventLog>(elsewhere.path() + QStringLiteral("/trader logs"));
    const QString folder = logOpen ? elsewhere.path() + QStringLiteral("/trader logs")
                                   : m_env->root() + QStringLiteral("/logs");

    settings dialog(nullptr);
    dialog.show();
    dialog.findChild<QPushButton *>(QStringLiteral("openLogFolder"))->click();

    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(folder)});
    // Opened even before the first line is written: a file manager shows the (empty) folder.
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(dialog.isVisible());
    QVERIFY(m_env->boxes.isEmpty());
    QCOMPARE(readStore(), Values());
    Seams::setOpenUrlHandler({});
}

QTEST_MAIN(TestSettings)

#include "tst_settings.moc"
