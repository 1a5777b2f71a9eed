// Watch-list files: Save and Load through the file-dialog seams (the text rule: tst_watchlistformat).
#include "app/seams.h"
#include "support/mainform.h"
#include "symbols/displaytablemodel.h"
#include "symbolswindow.h"

#include <QFile>
#include <QPushButton>
#include <QTableView>

class TestWatchList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void saveWritesExactBytes();
    void saveAndLoadThroughDialogs();
    void cancelledDialogsChangeNothing();
    void failedSaveIsReported_data();
    void failedSaveIsReported();
    void unreadableFileKeepsSelection_data();
    void unreadableFileKeepsSelection();
    void oddFilesLoad_data();
    void oddFilesLoad();
    void unbalancedFileIsCutAndReported();
    void loadKeepsListCheckMarks();

private:
    void answerDialogs(const QString &fileName);
    QByteArray read(const QString &fileName) const;

    std::unique_ptr<SymbolsWorld> m_world;
    QStringList m_captions;
    QStringList m_filters;
    std::unique_ptr<QTemporaryDir> m_files;
};

void TestWatchList::initTestCase()
{
    m_world = std::make_unique<SymbolsWorld>();
}

void TestWatchList::init()
{
    // The text rules need no window.
    static const QStringList rules = {"format", "parse", "roundTrip", "pairUp"};
    if (rules.contains(QLatin1String(QTest::currentTestFunction())))
        return;
    m_files = std::make_unique<QTemporaryDir>();
    m_captions.clear();
    m_filters.clear();
    m_world->openWindow();
    MainForm(*m_world->window).connectButton->click();
}

void TestWatchList::cleanup()
{
    m_world->closeWindow();
}

void TestWatchList::answerDialogs(const QString &fileName)
{
    auto answer = [this, fileName](QWidget *parent, const QString &caption, const QString &filter) {
        if (parent != m_world->window.get())
            m_captions << QStringLiteral("wrong parent");
        m_captions << caption;
        m_filters << filter;
        return fileName;
    };
    Seams::setSaveFileNameHandler(answer);
    Seams::setOpenFileNameHandler(answer);
}

QByteArray TestWatchList::read(const QString &fileName) const
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void TestWatchList::saveWritesExactBytes()
{
    const QString fileName = m_files->filePath(QStringLiteral("mine.qvxList"));
    answerDialogs(fileName);
    m_world->setSelection(QStringList({"NIFTY-I", "GOLDM-I"}), QStringList({"FUTURE", "MCX"}));
    m_world->ui->save_list->click();
    QCOMPARE(read(fileName), QByteArray("NIFTY-I,GOLDM-I#FUTURE,MCX"));
    QCOMPARE(QFileInfo(fileName).size(), 26);
    QCOMPARE(m_captions, QStringList({"Save Wishlist To"}));
    QCOMPARE(m_filters, QStringList({"Quorvix List(*.qvxList)"}));

    // An existing file is replaced, and the empty selection is a lone '#'.
    m_world->setSelection({}, {});
    m_world->ui->save_list->click();
    QCOMPARE(read(fileName), QByteArray("#"));
    QVERIFY(m_world->environment->boxes.isEmpty());
}

void TestWatchList::saveAndLoadThroughDialogs()
{
    const QString fileName = m_files->filePath(QStringLiteral("swing.qvxList"));
    answerDialogs(fileName);
    m_world->setSelection(QStringList({"NIFTY-I", "GOLDM-I", "M&M"}), QStringList({"FUTURE", "MCX", "CASH"}));
    m_world->ui->save_list->click();

    m_world->setSelection(QStringList({"ACC"}), QStringList({"CASH"}));
    m_world->window->addDisplayTable();
    m_world->ui->load_list_2->click();

    QCOMPARE(m_world->symbols(), QStringList({"NIFTY-I", "GOLDM-I", "M&M"}));
    QCOMPARE(m_world->exchanges(), QStringList({"FUTURE", "MCX", "CASH"}));
    QCOMPARE(m_captions, QStringList({"Save Wishlist To", "Import Wishlist"}));
    QCOMPARE(m_filters.last(), QStringLiteral("Quorvix List(*.qvxList)"));
    // The load re-aims the live request and rebuilds the table.
    QVERIFY(inside(sessionOf(*m_world->window)).liveDownloader()->url.toString(QUrl::FullyEncoded)
                .contains(QStringLiteral("send=NIFTY-I%7CGOLDM-I%7CM%26M&hash=")));
    QCOMPARE(m_world->ui->displayTableWidget->model()->rowCount(), 3);
    QCOMPARE(m_world->ui->displayTableWidget->model()->index(1, 3).data(DisplayTableModel::ExchangeRole).toString(), QStringLiteral("MCX"));
    QVERIFY(m_world->environment->boxes.isEmpty());
}

void TestWatchList::cancelledDialogsChangeNothing()
{
    answerDialogs(QString());
    m_world->setSelection(QStringList({"ACC"}), QStringList({"CASH"}));
    m_world->ui->save_list->click();
    m_world->ui->load_list_2->click();
    QCOMPARE(m_world->symbols(), QStringList({"ACC"}));
    QCOMPARE(m_world->exchanges(), QStringList({"CASH"}));
    QCOMPARE(m_captions.size(), 2);
    QVERIFY(m_world->environment->boxes.isEmpty());
    QVERIFY(QDir(m_files->path()).isEmpty());
}

void TestWatchList::failedSaveIsReported_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("missing folder") << QStringLiteral("<dir>/no/such/folder/list.qvxList");
    QTest::newRow("a folder") << QStringLiteral("<dir>");
    QTest::newRow("device full") << QStringLiteral("/dev/full");
}

void TestWatchList::failedSaveIsReported()
{
    QFETCH(QString, fileName);
    fileName.replace(QLatin1String("<dir>"), m_files->path());
    if (fileName == QLatin1String("/dev/full") && !QFileInfo::exists(fileName))
        QSKIP("no /dev/full here");
    answerDialogs(fileName);
    m_world->setSelection(QStringList({"ACC"}), QStringList({"CASH"}));
    m_world->ui->save_list->click();
    QCOMPARE(m_world->environment->boxes.size(), 1);
    const QString box = m_world->environment->boxes.first();
    QVERIFY2(box.startsWith(QStringLiteral("Save Failed|The watch list could not be saved to:\n")
                            + QDir::toNativeSeparators(fileName)),
             qPrintable(box));
    QCOMPARE(m_world->symbols(), QStringList({"ACC"}));
}

void TestWatchList::unreadableFileKeepsSelection_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("missing") << QStringLiteral("<dir>/gone.qvxList");
    QTest::newRow("a folder") << QStringLiteral("<dir>");
}

void TestWatchList::unreadableFileKeepsSelection()
{
    QFETCH(QString, fileName);
    fileName.replace(QLatin1String("<dir>"), m_files->path());
    answerDialogs(fileName);
    m_world->setSelection(QStringList({"NIFTY-I", "GOLDM-I"}), QStringList({"FUTURE", "MCX"}));
    m_world->window->addDisplayTable();
    const QString urlBefore = inside(sessionOf(*m_world->window)).liveDownloader()->url.toString();

    m_world->ui->load_list_2->click();
    QCOMPARE(m_world->symbols(), QStringList({"NIFTY-I", "GOLDM-I"}));
    QCOMPARE(m_world->exchanges(), QStringList({"FUTURE", "MCX"}));
    QCOMPARE(m_world->ui->displayTableWidget->model()->rowCount(), 2);
    QCOMPARE(inside(sessionOf(*m_world->window)).liveDownloader()->url.toString(), urlBefore);
    QCOMPARE(m_world->environment->boxes.size(), 1);
    QVERIFY2(m_world->environment->boxes.first().startsWith(
                 QStringLiteral("Load Failed|The watch list file could not be read:\n") + QDir::toNativeSeparators(fileName)),
             qPrintable(m_world->environment->boxes.first()));
}

void TestWatchList::oddFilesLoad_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QStringList>("exchanges");
    // An empty symbol would import every line with an empty symbol field: it is not loaded.
    QTest::newRow("hash alone") << QByteArray("#") << QStringList() << QStringList();
    QTest::newRow("empty file") << QByteArray() << QStringList() << QStringList();
    QTest::newRow("empty symbols in pairs") << QByteArray(",ACC,,TCS,#CASH,CASH,MCX,FUTURE,")
                                            << QStringList({"ACC", "TCS"}) << QStringList({"CASH", "FUTURE"});
    QTest::newRow("trailing comma without an exchange") << QByteArray("ACC,#CASH") << QStringList({"ACC"})
                                                        << QStringList({"CASH"});
    QTest::newRow("no hash") << QByteArray("ACC,TCS") << QStringList({"ACC", "TCS"}) << QStringList({"ACC", "TCS"});
    QTest::newRow("several hashes") << QByteArray("ACC#junk#CASH") << QStringList({"ACC"}) << QStringList({"CASH"});
    QTest::newRow("duplicates") << QByteArray("ACC,ACC#CASH,CASH") << QStringList({"ACC", "ACC"})
                                << QStringList({"CASH", "CASH"});
    QTest::newRow("NUL inside") << QByteArray("TCS#CASH\0\0garbage", 17) << QStringList({"TCS"}) << QStringList({"CASH"});
}

void TestWatchList::oddFilesLoad()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, symbols);
    QFETCH(QStringList, exchanges);
    const QString fileName = m_files->filePath(QStringLiteral("odd.qvxList"));
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    answerDialogs(fileName);
    m_world->setSelection(QStringList({"NIFTY-I"}), QStringList({"FUTURE"}));

    m_world->ui->load_list_2->click();
    QCOMPARE(m_world->symbols(), symbols);
    QCOMPARE(m_world->exchanges(), exchanges);
    QCOMPARE(m_world->ui->displayTableWidget->model()->rowCount(), symbols.size());
    QVERIFY(m_world->environment->boxes.isEmpty());
}

void TestWatchList::unbalancedFileIsCutAndReported()
{
    const QString fileName = m_files->filePath(QStringLiteral("hand-made.qvxList"));
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("ACC,TCS,INFY#CASH");
    file.close();
    answerDialogs(fileName);

    m_world->ui->load_list_2->click();
    QCOMPARE(m_world->symbols(), QStringList({"ACC"}));
    QCOMPARE(m_world->exchanges(), QStringList({"CASH"}));
    QCOMPARE(m_world->ui->displayTableWidget->model()->rowCount(), 1);
    QCOMPARE(m_world->environment->boxes,
             QStringList({"Watch List Incomplete|These symbols have no exchange in the file and were left out:\nTCS, INFY"}));

    // Surplus exchanges lose nothing a trader picked: cut without a word.
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("ACC#CASH,MCX");
    file.close();
    m_world->environment->boxes.clear();
    m_world->ui->load_list_2->click();
    QCOMPARE(m_world->exchanges(), QStringList({"CASH"}));
    QVERIFY(m_world->environment->boxes.isEmpty());
}

void TestWatchList::loadKeepsListCheckMarks()
{
    const QString fileName = m_files->filePath(QStringLiteral("mcx.qvxList"));
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("SILVERM-I#MCX");
    file.close();
    answerDialogs(fileName);
    m_world->setSelection(QStringList({"GOLDM-I"}), QStringList({"MCX"}));
    m_world->ui->commBox->click();

    m_world->ui->load_list_2->click();
    QCOMPARE(sessionOf(*m_world->window).currentExchange(), QStringLiteral("MCX"));
    QCOMPARE(m_world->checked(), QStringList({"GOLDM-I"}));
    // Add Symbol now applies the old marks to the loaded selection.
    m_world->ui->addSelected->click();
    QCOMPARE(m_world->symbols(), QStringList({"GOLDM-I"}));
    QCOMPARE(m_world->exchanges(), QStringList({"MCX"}));
}

QTEST_MAIN(TestWatchList)
#include "tst_watchlist.moc"
