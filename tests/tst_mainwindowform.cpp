// The main window's form: the widgets the rest of the program reaches by name, where they sit
// and what they say. Built on a plain dialog so that no database or vendor is needed.
#include "feed/amibrokerlivedata2.h"
#include "symbols/feeds.h"
#include "ui_amibrokerlivedata2.h"

#include <QtTest>

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMetaMethod>
#include <QRadioButton>
#include <QTableView>
#include <QTextEdit>

namespace {

const QString SettingsStyle = QStringLiteral("background-color: rgb(0, 79, 116);\ncolor: rgb(244, 244, 244);");
const QString LightStyle = QStringLiteral("background-color: rgb(215, 218, 255);");
const QString WhiteStyle = QStringLiteral("background-color: rgb(255, 255, 255);");

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

}

class TestMainWindowForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void window();
    void widget_data();
    void widget();
    void fonts_data();
    void fonts();
    void feedBoxesAreExclusiveAndUnchecked();
    void daysBoxItems();
    void readOnlyWidgets();
    void absoluteGeometryOnly();
    void everyNamedSlotFindsItsSignal();

private:
    QDialog *m_dialog = nullptr;
    Ui::amibrokerlivedata2 *m_ui = nullptr;
};

void TestMainWindowForm::init()
{
    m_dialog = new QDialog;
    m_ui = new Ui::amibrokerlivedata2;
    m_ui->setupUi(m_dialog);
}

void TestMainWindowForm::cleanup()
{
    delete m_ui;
    m_ui = nullptr;
    delete m_dialog;
    m_dialog = nullptr;
}

void TestMainWindowForm::window()
{
    QCOMPARE(m_dialog->objectName(), QStringLiteral("amibrokerlivedata2"));
    QCOMPARE(m_dialog->minimumSize(), QSize(754, 578));
    QCOMPARE(m_dialog->maximumSize(), QSize(754, 578));
    QCOMPARE(m_dialog->size(), QSize(754, 578));
    QCOMPARE(m_dialog->font().family(), QStringLiteral("Verdana"));
    QCOMPARE(m_dialog->font().pointSize(), 9);
    // Qt keeps the opacity in 1/255 steps.
    QCOMPARE(qRound(m_dialog->windowOpacity() * 100), 97);
    QCOMPARE(m_dialog->styleSheet(), QStringLiteral("background-color: rgb(170, 170, 170);"));
    QVERIFY(!m_dialog->windowIcon().isNull());
    QCOMPARE(m_dialog->windowIcon().availableSizes().value(0), QSize(216, 224));
}

void TestMainWindowForm::widget_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("styleSheet");

    const QString window = QStringLiteral("amibrokerlivedata2");
    QTest::newRow("settings") << "amibrokerPathButton" << "QPushButton" << window
                              << QRect(20, 20, 121, 71) << "Settings" << SettingsStyle;
    QTest::newRow("restart") << "restartButton" << "QPushButton" << window << QRect(145, 20, 91, 71)
                             << "Restart" << SettingsStyle;
    QTest::newRow("eod") << "pushButton" << "QPushButton" << window << QRect(544, 20, 81, 71) << "EOD"
                         << "background-color: rgb(170, 0, 0);\ncolor: rgb(238, 238, 238);";
    QTest::newRow("support") << "contactSupportButton" << "QPushButton" << window
                             << QRect(540, 100, 191, 51) << "Contact Support"
                             << "background-color: rgb(0, 0, 0);\ncolor: rgb(255, 255, 255);";
    QTest::newRow("backfill group") << "backfillGroup" << "QGroupBox" << window << QRect(242, 18, 191, 71)
                                    << "Backfill Days" << "";
    QTest::newRow("days") << "daysBox" << "QComboBox" << "backfillGroup" << QRect(10, 29, 61, 31) << ""
                          << "";
    QTest::newRow("backfill") << "backfillButton" << "QPushButton" << "backfillGroup"
                              << QRect(80, 20, 101, 41) << "Backfill" << SettingsStyle;
    QTest::newRow("feeds") << "realTimeDataGroupBox" << "QGroupBox" << window << QRect(20, 100, 511, 51)
                           << "Feeds" << "";
    QTest::newRow("comm") << "commBox" << "QRadioButton" << "realTimeDataGroupBox"
                          << QRect(270, 20, 61, 17) << "COMM" << "";
    QTest::newRow("agricomm, captionless") << "agricommBox" << "QRadioButton" << "realTimeDataGroupBox"
                                           << QRect(530, 20, 21, 17) << "" << "";
    QTest::newRow("symbols") << "symbolsListWidget" << "QListWidget" << window << QRect(20, 160, 195, 241)
                             << "" << WhiteStyle;
    QTest::newRow("table") << "displayTableWidget" << "DisplayTableView" << window
                           << QRect(222, 160, 509, 265) << "" << WhiteStyle;
    QTest::newRow("select none") << "selectNone" << "QPushButton" << window << QRect(115, 403, 101, 32)
                                 << "None" << LightStyle;
    QTest::newRow("add") << "addSelected" << "QPushButton" << window << QRect(20, 436, 196, 32)
                         << "Add Symbol" << LightStyle;
    QTest::newRow("delete all") << "DeleteAll" << "QPushButton" << window << QRect(630, 473, 101, 40)
                                << "Delete All" << "background-color: rgb(157, 0, 0);\ncolor: rgb(255, 255, 255);";
    QTest::newRow("load") << "load_list_2" << "QPushButton" << window << QRect(630, 430, 101, 38) << "Load"
                          << "background-color: rgb(244, 244, 244);";
    QTest::newRow("backfill progress") << "progressBarRT" << "QProgressBar" << window
                                       << QRect(222, 430, 298, 38) << "" << "color: rgb(255, 255, 255);";
    QTest::newRow("user id") << "machineIDLabel" << "QLineEdit" << window << QRect(100, 474, 311, 31) << ""
                             << "";
    QTest::newRow("messages") << "messageBox" << "QTextEdit" << window << QRect(100, 518, 511, 31) << ""
                              << "";
    QTest::newRow("status") << "statusLabel" << "QLabel" << window << QRect(630, 518, 101, 31)
                            << "Connected / Disconnected" << "";
    QTest::newRow("connect") << "connectButton" << "QPushButton" << window << QRect(30, 500, 16, 23)
                             << "Connect" << "";
}

void TestMainWindowForm::widget()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(QString, styleSheet);

    const QList<QWidget *> found = m_dialog->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QWidget *widget = found.first();
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QVERIFY(widget->parentWidget());
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(captionOf(widget), caption);
    QCOMPARE(widget->styleSheet(), styleSheet);
}

void TestMainWindowForm::fonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pointSize");

    QTest::newRow("feeds group") << "realTimeDataGroupBox" << 10;
    QTest::newRow("cash") << "cashBox" << 7;
    QTest::newRow("spot") << "spotBox" << 7;
    QTest::newRow("agricomm") << "agricommBox" << 8;
    QTest::newRow("symbols list inherits the window") << "symbolsListWidget" << 9;
    QTest::newRow("table inherits the window") << "displayTableWidget" << 9;
}

void TestMainWindowForm::fonts()
{
    QFETCH(QString, name);
    QFETCH(int, pointSize);

    auto *widget = m_dialog->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->font().family(), QStringLiteral("Verdana"));
    QCOMPARE(widget->font().pointSize(), pointSize);
}

void TestMainWindowForm::feedBoxesAreExclusiveAndUnchecked()
{
    const QList<QRadioButton *> boxes = m_ui->realTimeDataGroupBox->findChildren<QRadioButton *>();
    QCOMPARE(boxes.size(), 7);
    for (const auto &box : Feeds::All) {
        auto *button = m_ui->realTimeDataGroupBox->findChild<QRadioButton *>(QLatin1String(box.boxName));
        QVERIFY2(button, box.boxName);
        QVERIFY(!button->isChecked());
        QVERIFY(button->autoExclusive());
    }

    m_ui->cashBox->setChecked(true);
    m_ui->agricommBox->setChecked(true);
    QVERIFY(!m_ui->cashBox->isChecked());
    QVERIFY(m_ui->agricommBox->isChecked());
}

void TestMainWindowForm::daysBoxItems()
{
    QStringList items;
    for (int i = 0; i < m_ui->daysBox->count(); ++i)
        items << m_ui->daysBox->itemText(i);
    QCOMPARE(items, QStringList({"1", "3", "5", "10", "15", "20", "30", "60", "90", "120"}));
    QCOMPARE(m_ui->daysBox->currentText(), QStringLiteral("1"));
}

void TestMainWindowForm::readOnlyWidgets()
{
    QVERIFY(m_ui->machineIDLabel->isReadOnly());
    QVERIFY(m_ui->machineIDLabel->text().isEmpty());
    QVERIFY(m_ui->messageBox->isReadOnly());
    QCOMPARE(m_ui->messageBox->lineWidth(), 0);
    QVERIFY(m_ui->messageBox->toPlainText().isEmpty());
    QCOMPARE(m_ui->displayTableWidget->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void TestMainWindowForm::absoluteGeometryOnly()
{
    // Widgets such as the combo box keep private layouts; the form itself adds none.
    QVERIFY(!m_dialog->layout());
    for (const QGroupBox *group : m_dialog->findChildren<QGroupBox *>())
        QVERIFY(!group->layout());
    for (const QLayout *layout : m_dialog->findChildren<QLayout *>())
        QVERIFY2(layout->objectName().isEmpty(), qPrintable(layout->objectName()));
    // Nothing may stick out of the fixed window, apart from the deliberately hidden agricultural box.
    const QRect window(QPoint(0, 0), m_dialog->size());
    for (QWidget *child : m_dialog->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->objectName().isEmpty())
            continue;
        QVERIFY2(window.contains(child->geometry()), qPrintable(child->objectName()));
    }
    QVERIFY(!QRect(QPoint(0, 0), m_ui->realTimeDataGroupBox->size()).intersects(m_ui->agricommBox->geometry()));
}

// Every on_<object>_<signal> slot of the main window must meet an object of that name with that
// signal, or connectSlotsByName leaves the button dead without a word at run time.
void TestMainWindowForm::everyNamedSlotFindsItsSignal()
{
    const QMetaObject &meta = amibrokerlivedata2::staticMetaObject;
    const QList<QObject *> children = m_dialog->findChildren<QObject *>();
    int checked = 0;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod slot = meta.method(i);
        const QByteArray signature = slot.methodSignature();
        if (slot.methodType() != QMetaMethod::Slot || !signature.startsWith("on_"))
            continue;
        bool matched = false;
        for (QObject *child : children) {
            const QByteArray prefix = "on_" + child->objectName().toLatin1() + '_';
            if (child->objectName().isEmpty() || !signature.startsWith(prefix))
                continue;
            const QByteArray signal = signature.mid(prefix.size());
            if (child->metaObject()->indexOfSignal(signal.constData()) >= 0)
                matched = true;
        }
        QVERIFY2(matched, signature.constData());
        ++checked;
    }
    QCOMPARE(checked, 20);
}

int main(int argc, char **argv)
{
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    TestMainWindowForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindowform.moc"
