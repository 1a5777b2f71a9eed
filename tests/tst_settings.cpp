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

// The form's check states in store order: disable 5-day, fast, layout, control.
QList<bool> checks(const settings &dialog)
{
    QList<bool> states;
    for (const char *name : {"autoBackfill5", "fastBackfill", "saveLayout", "controlAmibroker"})
        states << dialog.findChild<QCheckBox *>(QLatin1String(name))->isChecked();
    return states;
}

void setChecks(settings &dialog, const QList<bool> &states)
{
    int i = 0;
    for (const char *name : {"autoBackfill5", "fastBackfill", "saveLayout", "controlAmibroker"})
        dialog.findChild<QCheckBox *>(QLatin1String(name))->setChecked(states.at(i++));
}

QRadioButton *mode(const settings &dialog, int number)
{
    return dialog.findChild<QRadioButton *>(QStringLiteral("mode%1").arg(number));
}

// What OK writes: the four boxes, the data mode and the two boxes below the grid.
Values written(bool disable5, bool fast, bool layout, bool control, int dataMode, bool outage = true)
{
    return {{Store::DisableAutoBackfill5, disable5}, {Store::FastBackfill, fast}, {Store::SaveLayout, layout},
            {Store::ControlAmibroker, control}, {Store::DataMode, dataMode}, {Store::BackfillAfterOutage, outage},
            {Store::NotifyFeedTrouble, true}};
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
    void outageBoxBelowTheGrid();
    void gridPlaces_data();
    void gridPlaces();
    void loadAtConstruction_data();
    void loadAtConstruction();
    void okWritesTheForm_data();
    void okWritesTheForm();
    void cancelLeavesTheStore();
    void memberFollowsLoadsOnly();
    void okEndsAModalRun();
    void firstRunValuesFillOnlyAbsentKeys_data();
    void firstRunValuesFillOnlyAbsentKeys();
    void backfillAfterOutage_data();
    void backfillAfterOutage();
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
    // Two rows taller than the described 490 by 252: the outage and notification boxes have a row
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
    // differently) must not move a described widget either.
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
    // described size) against the form as it is: every described widget at the same place and size.
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

void TestSettings::outageBoxBelowTheGrid()
{
    // Outside the grid, in the band the grid leaves free below the described rows, so that it
    // takes no share of the grid's spare height; last in the tab order.
    settings dialog(nullptr);
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

    auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QList<QWidget *> chain;
    for (QWidget *widget = dialog.findChild<QWidget *>(QStringLiteral("mode1")); chain.size() < 11;
         widget = widget->nextInFocusChain()) {
        if (widget->focusPolicy() & Qt::TabFocus)
            chain << widget;
    }
    const auto named = [&dialog](const char *name) { return dialog.findChild<QWidget *>(QLatin1String(name)); };
    QCOMPARE(chain, (QList<QWidget *>{named("mode1"), named("mode2"), named("autoBackfill5"), named("fastBackfill"),
                                      named("saveLayout"), named("controlAmibroker"),
                                      buttons->button(QDialogButtonBox::Ok), buttons->button(QDialogButtonBox::Cancel),
                                      named("openLogFolder"), box, notify}));
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
    QFETCH(QString, text);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, columnSpan);
    QFETCH(int, pointSize);

    settings dialog(nullptr);
    auto *grid = dialog.findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    auto *widget = dialog.findChild<QWidget *>(name);
    QVERIFY(grid && widget);
    QCOMPARE(dialog.layout(), grid);
    int r = -1, c = -1, rowSpan = 0, colSpan = 0;
    grid->getItemPosition(grid->indexOf(widget), &r, &c, &rowSpan, &colSpan);
    QCOMPARE((QList<int>{r, c, rowSpan, colSpan}), (QList<int>{row, column, 1, columnSpan}));

    if (name != QLatin1String("buttonBox")) {
        QCOMPARE(widget->property("text").toString(), text);
        QCOMPARE(widget->font().family(), QStringLiteral("Verdana"));
        QCOMPARE(widget->font().pointSize(), pointSize);
    }
}

void TestSettings::loadAtConstruction_data()
{
    QTest::addColumn<Values>("stored");
    QTest::addColumn<QList<bool>>("expectedChecks");
    QTest::addColumn<int>("expectedMode");        // the radio button that ends up checked
    QTest::addColumn<int>("expectedDataMode");
    QTest::addColumn<bool>("expectedControl");

    QTest::newRow("empty store: everything false, Mode 1 despite the (default) caption")
        << Values() << QList<bool>{false, false, false, false} << 1 << 0 << false;
    QTest::newRow("data mode 2")
        << Values{{Store::DataMode, 2}} << QList<bool>{false, false, false, false} << 2 << 2 << false;
    QTest::newRow("data mode 3 falls back to Mode 1")
        << Values{{Store::DataMode, 3}} << QList<bool>{false, false, false, false} << 1 << 3 << false;
    QTest::newRow("all on, mode 1")
        << Values{{Store::DisableAutoBackfill5, true}, {Store::FastBackfill, true}, {Store::SaveLayout, true},
                  {Store::ControlAmibroker, true}, {Store::DataMode, 1}}
        << QList<bool>{true, true, true, true} << 1 << 1 << true;
    QTest::newRow("only control")
        << Values{{Store::ControlAmibroker, true}} << QList<bool>{false, false, false, true} << 1 << 0 << true;
}

void TestSettings::loadAtConstruction()
{
    QFETCH(Values, stored);
    QFETCH(QList<bool>, expectedChecks);
    QFETCH(int, expectedMode);
    QFETCH(int, expectedDataMode);
    QFETCH(bool, expectedControl);

    writeStore(stored);
    settings dialog(nullptr);
    QCOMPARE(checks(dialog), expectedChecks);
    QVERIFY(mode(dialog, expectedMode)->isChecked() && !mode(dialog, 3 - expectedMode)->isChecked());
    QCOMPARE(dialog.dataMode, expectedDataMode);
    QCOMPARE(dialog.controlAmibroker, expectedControl);
    // Loading never writes.
    QCOMPARE(readStore(), stored);
}

void TestSettings::okWritesTheForm_data()
{
    QTest::addColumn<Values>("stored");
    QTest::addColumn<QList<bool>>("edits");
    QTest::addColumn<int>("chosenMode");    // 0: leave the radio buttons as loaded
    QTest::addColumn<Values>("expected");

    // The boxes below the grid load as checked from an absent key, so an untouched OK writes them as true.
    QTest::newRow("untouched empty store writes its defaults, Mode 1")
        << Values() << QList<bool>{false, false, false, false} << 0 << written(false, false, false, false, 1);
    QTest::newRow("stored 3 is written back as 1")
        << Values{{Store::DataMode, 3}} << QList<bool>{false, false, false, false} << 0
        << written(false, false, false, false, 1);
    QTest::newRow("edits and Mode 2") << Values{{Store::DataMode, 1}} << QList<bool>{true, false, true, true} << 2
                                      << written(true, false, true, true, 2);
    Values kept = written(false, true, false, false, 1, false);
    kept.insert(Store::SelectedSymbols, QStringList{"NIFTY-I"});
    QTest::newRow("back to Mode 1, other keys kept")
        << Values{{Store::DataMode, 2}, {Store::SelectedSymbols, QStringList{"NIFTY-I"}},
                  {Store::BackfillAfterOutage, false}}
        << QList<bool>{false, true, false, false} << 1 << kept;
}

void TestSettings::okWritesTheForm()
{
    QFETCH(Values, stored);
    QFETCH(QList<bool>, edits);
    QFETCH(int, chosenMode);
    QFETCH(Values, expected);

    writeStore(stored);
    settings dialog(nullptr);
    dialog.show();
    setChecks(dialog, edits);
    if (chosenMode)
        mode(dialog, chosenMode)->setChecked(true);

    press(dialog, QDialogButtonBox::Ok);

    QVERIFY(!dialog.isVisible());
    const Values written = readStore();
    QCOMPARE(written.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QVariant got = written.value(it.key());
        const bool list = it.value().userType() == QMetaType::QStringList;
        QVERIFY2(list ? got == it.value() : got.toString() == it.value().toString(), qPrintable(it.key()));
    }
    // The reload after OK brings the members in line with what was written.
    QCOMPARE(dialog.dataMode, expected.value(Store::DataMode).toInt());
    QCOMPARE(dialog.controlAmibroker, expected.value(Store::ControlAmibroker).toBool());
    QCOMPARE(checks(dialog), edits);
}

void TestSettings::cancelLeavesTheStore()
{
    const Values stored{{Store::DisableAutoBackfill5, true}, {Store::FastBackfill, true},
                        {Store::SaveLayout, false}, {Store::ControlAmibroker, true}, {Store::DataMode, 2}};
    writeStore(stored);
    settings dialog(nullptr);
    dialog.show();
    for (QCheckBox *box : dialog.findChildren<QCheckBox *>())
        box->toggle();
    mode(dialog, 1)->setChecked(true);

    press(dialog, QDialogButtonBox::Cancel);

    QVERIFY(!dialog.isVisible());
    QCOMPARE(readStore(), stored);
    QVERIFY(dialog.controlAmibroker);

    // The next opening (load, then exec) shows the stored values, not the abandoned edits.
    dialog.load();
    QCOMPARE(checks(dialog), (QList<bool>{true, true, false, true}));
    QVERIFY(mode(dialog, 2)->isChecked() && !mode(dialog, 1)->isChecked());
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

void TestSettings::backfillAfterOutage_data()
{
    // Both boxes below the grid read absent as on.
    QTest::addColumn<QString>("key");
    QTest::addColumn<Values>("stored");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<bool>("toggle");
    QTest::addColumn<QVariant>("afterOk");   // invalid: Cancel instead of OK, nothing written

    const Values others{{Store::DisableAutoBackfill5, true}, {Store::DataMode, 2}};
    const QString outage = Store::BackfillAfterOutage.name, notify = Store::NotifyFeedTrouble.name;
    const Values outageOff{{Store::BackfillAfterOutage, false}};
    QTest::newRow("absent reads as on") << outage << Values() << true << false << QVariant(true);
    QTest::newRow("absent among other keys") << outage << others << true << false << QVariant(true);
    QTest::newRow("stored off") << outage << outageOff << false << false << QVariant(false);
    QTest::newRow("stored on") << outage << Values{{Store::BackfillAfterOutage, true}} << true << false << QVariant(true);
    QTest::newRow("switched off") << outage << Values() << true << true << QVariant(false);
    QTest::newRow("switched on") << outage << outageOff << false << true << QVariant(true);
    QTest::newRow("switched off, then Cancel") << outage << Values() << true << true << QVariant();
    QTest::newRow("switched on, then Cancel") << outage << outageOff << false << true << QVariant();
    QTest::newRow("notify: absent reads as on") << notify << others << true << false << QVariant(true);
    QTest::newRow("notify: switched off") << notify << Values() << true << true << QVariant(false);
    QTest::newRow("notify: stored off, switched on")
        << notify << Values{{Store::NotifyFeedTrouble, false}} << false << true << QVariant(true);
}

void TestSettings::backfillAfterOutage()
{
    QFETCH(QString, key);
    QFETCH(Values, stored);
    QFETCH(bool, loaded);
    QFETCH(bool, toggle);
    QFETCH(QVariant, afterOk);

    const auto storedValue = [&key] {
        return key == Store::NotifyFeedTrouble ? Store::notifyFeedTrouble() : Store::backfillAfterOutage();
    };
    writeStore(stored);
    QCOMPARE(storedValue(), loaded);
    settings dialog(nullptr);
    dialog.show();
    auto *box = dialog.findChild<QCheckBox *>(key);
    QCOMPARE(box->isChecked(), loaded);
    if (toggle)
        box->toggle();

    if (!afterOk.isValid()) {
        press(dialog, QDialogButtonBox::Cancel);
        QCOMPARE(readStore(), stored);
        dialog.load();
        QCOMPARE(box->isChecked(), loaded);
        return;
    }
    press(dialog, QDialogButtonBox::Ok);
    QCOMPARE(readStore().value(key).toBool(), afterOk.toBool());
    QCOMPARE(storedValue(), afterOk.toBool());
    QCOMPARE(box->isChecked(), afterOk.toBool());
    // The other keys go as before.
    QCOMPARE(readStore().value(Store::DataMode).toInt(), stored.value(Store::DataMode).toInt() == 2 ? 2 : 1);
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
