// What a trader's machine keeps between runs outlives the move from the Qt 5 build to the Qt 6 build:
// the settings store, a watch-list file and the log. tests/carryover/ holds them as the Qt 5 build
// writes them (the Qt 5 run checks that byte for byte); both builds read them back, and the Qt 6
// build appends to the Qt 5 log.
#include "app/eventlog.h"
#include "app/settingsstore.h"
#include "symbols/watchlist.h"
#include "support/coreenvironment.h"
#include "support/storedsettings.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace {

using Entries = QList<QPair<QString, QVariant>>;

// Non-ASCII text of every width: Latin-1, the rest of the BMP, and beyond it (a surrogate pair).
const QString BroadcastMessage = QStringLiteral("Markt schließt 15:30 · बाज़ार बंद ₹ 🙂");
const QString WatchListName = QStringLiteral("Wochenliste Börse ₹");
const QStringList Symbols{QStringLiteral("NIFTY-I"), QStringLiteral("GOLDM-I"), QStringLiteral("ÉLAN-₹")};
const QStringList Exchanges{QStringLiteral("FUTURE"), QStringLiteral("MCX"), QStringLiteral("BÖRSE")};

// Everything the program keeps in the store, with the types it writes, plus two texts under
// "carryover/" that stand for any trader's text the store may come to hold.
Entries storeEntries()
{
    return {{Store::SelectedSymbols, Symbols},
            {Store::SelectedExchanges, Exchanges},
            {Store::DisableAutoBackfill5, true},
            {Store::DataMode, 2},
            {Store::FastBackfill, true},
            {Store::SaveLayout, false},
            {Store::ControlAmibroker, true},
            {Store::BackfillAfterOutage, false},
            {Store::NotifyFeedTrouble, false},
            {Store::feedBoxKey(0), true},
            {Store::feedBoxKey(3), false},
            {QStringLiteral("carryover/broadcast message"), BroadcastMessage},
            {QStringLiteral("carryover/watch-list name"), WatchListName}};
}

// A store read back as the program reads it: bools, ints, lists and texts.
QVariant asRead(const QVariant &stored, int type)
{
    switch (type) {
    case QMetaType::Bool:
        return stored.toBool();
    case QMetaType::Int:
        return stored.toInt();
    case QMetaType::QStringList:
        return stored.toStringList();
    default:
        return stored.toString();
    }
}

const QDateTime LogDay(QDate(2026, 12, 1), QTime(9, 15, 2, 345));

// The lines the Qt 5 build wrote into the log of the fixture's day.
void writeLogLines()
{
    EventLog::info(QStringLiteral("app"), QStringLiteral("start: Tickvane 4.02, install folder /home/trader/Börse ₹"));
    EventLog::info(QStringLiteral("vendor"), QStringLiteral("broadcast: %1").arg(BroadcastMessage));
    EventLog::warning(QStringLiteral("feed"), QStringLiteral("live replies failing: Connection refused"));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString fixture(const QString &name)
{
    return QFINDTESTDATA(QStringLiteral("carryover/") + name);
}

}

class tst_Carryover : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void writtenAsTheFixture_data();
    void writtenAsTheFixture();
    void storeReadsBack_data();
    void storeReadsBack();
    void watchListReadsBack();
    void logTakesNewLines();

private:
    [[nodiscard]] QString storePath() const;
    void writeStore() const;
    [[nodiscard]] QByteArray writeWatchList(const QString &folder) const;
    [[nodiscard]] QString writeLog(const QString &folder) const;

    std::unique_ptr<CoreEnvironment> m_env;
};

void tst_Carryover::initTestCase()
{
    // Qt reads XDG_CONFIG_HOME once per process, so one private store serves every test.
    m_env = std::make_unique<CoreEnvironment>();
    qInfo("Qt %s", qVersion());
}

void tst_Carryover::init()
{
    StoredSettings().clear();
    EventLog::setClock([] { return LogDay; });
}

QString tst_Carryover::storePath() const
{
    return StoredSettings().fileName();
}

void tst_Carryover::writeStore() const
{
    const StoredSettings store;
    store.clear();
    for (const auto &[key, value] : storeEntries())
        store.seed(key, value);
}

QByteArray tst_Carryover::writeWatchList(const QString &folder) const
{
    QFile file(folder + QLatin1Char('/') + WatchListName + QStringLiteral(".qvxList"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(WatchList::format(Symbols, Exchanges));
    file.close();
    return readAll(file.fileName());
}

QString tst_Carryover::writeLog(const QString &folder) const
{
    {
        EventLog log(folder);
        writeLogLines();
    }
    return folder + QLatin1Char('/') + EventLog::fileName(LogDay.date());
}

void tst_Carryover::writtenAsTheFixture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("writtenBy");   // the Qt major version whose bytes these are; 0: both

    // Qt 5 writes the store's non-ASCII text as \x escapes (no INI codec set), Qt 6 as UTF-8;
    // the files the program writes itself are the same bytes on both.
    QTest::newRow("settings store, Qt 5") << "Quorvix.conf" << 5;
    QTest::newRow("settings store, Qt 6") << "Quorvix-qt6.conf" << 6;
    QTest::newRow("watch list") << "watchlist.qvxList" << 0;
    QTest::newRow("log") << "tickvane-2026-12-01.log" << 0;
}

void tst_Carryover::writtenAsTheFixture()
{
    QFETCH(QString, name);
    QFETCH(int, writtenBy);
    const bool ours = writtenBy == 0 || writtenBy == QT_VERSION_MAJOR;

    QTemporaryDir dir;
    QString written;
    if (name.endsWith(QLatin1String(".conf"))) {
        writeStore();
        written = storePath();
    } else if (name.endsWith(QLatin1String(".qvxList"))) {
        (void)writeWatchList(dir.path());
        written = dir.path() + QLatin1Char('/') + WatchListName + QStringLiteral(".qvxList");
    } else {
        written = writeLog(dir.path());
    }
    const QByteArray bytes = readAll(written);
    QVERIFY(!bytes.isEmpty());

    // A developer lays the fixtures anew with TICKVANE_CARRYOVER_UPDATE=1, the Qt 6 one from the
    // Qt 6 build, the others from the Qt 5 build.
    if (ours && (writtenBy || QT_VERSION_MAJOR == 5) && qEnvironmentVariableIsSet("TICKVANE_CARRYOVER_UPDATE")) {
        QFile out(qEnvironmentVariable("TICKVANE_SOURCE") + QStringLiteral("/tests/carryover/") + name);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    }

    const QByteArray expected = readAll(fixture(name));
    QVERIFY(!expected.isEmpty());
    if (ours)
        QCOMPARE(bytes, expected);
    else
        QVERIFY(bytes != expected);
}

void tst_Carryover::storeReadsBack_data()
{
    QTest::addColumn<QString>("source");   // empty: written by this build
    QTest::addColumn<bool>("textIntact");

    // The move is one way: Qt 5 reads a store written as UTF-8 as Latin-1, so once the Qt 6 build
    // has written it, a Qt 5 build gets non-ASCII text garbled (ASCII stays as it was).
    QTest::newRow("store written by the Qt 5 build") << fixture(QStringLiteral("Quorvix.conf")) << true;
    QTest::newRow("store written by the Qt 6 build") << fixture(QStringLiteral("Quorvix-qt6.conf"))
                                                     << (QT_VERSION_MAJOR == 6);
    QTest::newRow("store written by this build") << QString() << true;
}

void tst_Carryover::storeReadsBack()
{
    QFETCH(QString, source);
    QFETCH(bool, textIntact);

    if (source.isEmpty()) {
        writeStore();
    } else {
        QFile::remove(storePath());
        QVERIFY(QFile::copy(source, storePath()));
    }

    const StoredSettings store;
    QStringList keys;
    for (const auto &[key, value] : storeEntries()) {
        keys << key;
        QVariant expected = value;
        if (!textIntact && value.userType() == QMetaType::QStringList) {
            QStringList garbled;
            for (const QString &text : value.toStringList())
                garbled << QString::fromLatin1(text.toUtf8());
            expected = garbled;
        } else if (!textIntact && value.userType() == QMetaType::QString) {
            expected = QString::fromLatin1(value.toString().toUtf8());
        }
        QCOMPARE(asRead(store.value(key), value.userType()), expected);
    }
    keys.sort();
    QStringList stored = store.values().keys();
    stored.sort();
    QCOMPARE(stored, keys);
    QVERIFY(!Store::backfillAfterOutage());
    // Through the typed keys, as the program reads them.
    QCOMPARE(Store::read(Store::DataMode), 2);
    QVERIFY(Store::read(Store::ControlAmibroker));
    QVERIFY(Store::read(Store::feedBox(0)));
    QVERIFY(!Store::read(Store::NotifyFeedTrouble));
}

void tst_Carryover::watchListReadsBack()
{
    // The trader's file keeps its non-ASCII name and content.
    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/') + WatchListName + QStringLiteral(".qvxList");
    QVERIFY(QFile::copy(fixture(QStringLiteral("watchlist.qvxList")), path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{WatchListName + QStringLiteral(".qvxList")});

    const WatchList::Selection loaded = WatchList::parse(readAll(path));
    QCOMPARE(loaded.symbols, Symbols);
    QCOMPARE(loaded.exchanges, Exchanges);
}

void tst_Carryover::logTakesNewLines()
{
    // The day's log of the Qt 5 build goes on in this build: its lines kept, the new ones after them.
    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/') + EventLog::fileName(LogDay.date());
    const QByteArray qt5 = readAll(fixture(QStringLiteral("tickvane-2026-12-01.log")));
    QVERIFY(QFile::copy(fixture(QStringLiteral("tickvane-2026-12-01.log")), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    const QString line = QStringLiteral("after the move: %1").arg(BroadcastMessage);
    {
        EventLog log(dir.path());
        EventLog::info(QStringLiteral("app"), line);
    }
    const QByteArray bytes = readAll(path);
    QVERIFY(bytes.startsWith(qt5));
    QCOMPARE(QString::fromUtf8(bytes.mid(qt5.size())).trimmed(),
             EventLog::formatLine(LogDay, EventLog::Level::Info, QStringLiteral("app"), line));
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(1).endsWith(BroadcastMessage));
}

QTEST_GUILESS_MAIN(tst_Carryover)

#include "tst_carryover.moc"
