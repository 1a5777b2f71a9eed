#pragma once

// A main window wired to the local vendor on loopback, with the automation journal as witness:
// the common ground of the backfill tests.

#include "app/config.h"
#include "symbols/feeds.h"
#include "support/mainform.h"
#include "feed/amibrokerlivedata2.h"
#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"
#include "symbols/selection.h"
#include "vendor/account.h"
#include "support/displaytable.h"
#include "support/localvendor.h"
#include "support/testenvironment.h"
#include "vendor/vendorservice.h"
#include "vendorsim.h"

#include <QDateTime>
#include <QFile>
#include <QPair>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include <memory>

namespace BackfillTest {

inline const QString UserId = QStringLiteral("BACKFILL-USER");
inline const QString RequestKey = QStringLiteral("backfill-key-41");
inline const QString ServerDate = QStringLiteral("07122026");
inline const QString OneDayPath = QStringLiteral("day");
constexpr int LongWait = 30000;
inline const QVector<int> RetryDelays = {100, 200, 400};

struct JournalLine
{
    qint64 msecsSinceEpoch = 0;
    QString text;
};

using Rows = QList<QPair<QString, QString>>; // symbol, exchange

class Harness
{
public:
    Harness()
    {
        env = std::make_unique<TestEnvironment>(UserId);
        VendorSim::SeedOptions options;
        options.userId = UserId;
        options.secureKey = RequestKey;
        options.serverDate = ServerDate;
        options.oneDayPath = OneDayPath;
        if (!vendor.start(env->root(), options))
            qWarning("the local vendor did not start: %s", qPrintable(vendor.error));
        // The backfill file server of the start-up backfill is the local vendor too.
        qputenv("QUORVIX_BACKFILL_SERVER", server.hostPort().toUtf8());
        Config::reload();

        window = std::make_unique<AssembledWindow>();
        Account account;
        account.secureKey = RequestKey;
        account.backfillPath = server.hostPort() + VendorSim::BackfillPath;
        sessionOf(*window).takeAccount(account);
        // Short pauses between repeats of a failing request: the rule, not the wall clock, is tested.
        inside(sessionOf(*window)).backfillRun().setRetryDelays(RetryDelays);
        // Days other than 5 only set the base.
        sessionOf(*window).setOneDayBackfillBase(Vendor::oneDayBackfillBase(server.hostPort(), ServerDate, OneDayPath));
        sessionOf(*window).setUserId(UserId);
        ui()->progressBarRT->setFormat(QString());
    }

    ~Harness()
    {
        window.reset();
        server.stop();
        qunsetenv("QUORVIX_DB");
        qunsetenv("QUORVIX_BACKFILL_SERVER");
    }

    std::unique_ptr<MainForm> ui() const { return std::make_unique<MainForm>(*window); }
    QPushButton *backfillButton() const { return ui()->backfillButton; }

    // The selection list and the display table built from it.
    void select(const Rows &rows) const
    {
        QStringList symbols;
        QStringList exchanges;
        for (const auto &row : rows) {
            symbols << row.first;
            exchanges << row.second;
        }
        sessionOf(*window).assignSelection(symbols, exchanges);
    }

    // Enables exactly the feeds of these exchange names, as the account's feeds text would.
    void enableExchanges(const QStringList &exchanges) const
    {
        QStringList words;
        for (const auto &feed : Feeds::All) {
            if (exchanges.contains(QLatin1String(feed.exchange)))
                words << QLatin1String(feed.feedWord);
        }
        sessionOf(*window).enableFeeds(words.join(QLatin1Char(',')));
    }

    // The row's Backfill button, drawn in the table: rowButton(row)->click() clicks it there.
    struct RowButton
    {
        QTableView *table;
        int row;
        void click() const { DisplayTable::clickButton(table, row, 3); }
        const RowButton *operator->() const { return this; }
    };
    RowButton rowButton(int row) const { return {ui()->displayTableWidget, row}; }

    [[nodiscard]] bool runFinished() const
    {
        return ui()->progressBarRT->format() == QLatin1String("Backfill Done")
            && backfillButton()->text() == QLatin1String("Backfill") && backfillButton()->isEnabled();
    }

    [[nodiscard]] QList<VendorSim::Request> requests(const QString &endpoint) const
    {
        QList<VendorSim::Request> seen;
        const QList<VendorSim::Request> all = server.requests();
        for (const VendorSim::Request &request : all) {
            if (request.endpoint == endpoint)
                seen << request;
        }
        return seen;
    }

    // The query texts of the intraday backfill requests, in the order they arrived.
    [[nodiscard]] QStringList backfillQueries() const
    {
        QStringList queries;
        const QList<VendorSim::Request> seen = requests(QStringLiteral("backfill"));
        for (const VendorSim::Request &request : seen)
            queries << request.query;
        return queries;
    }

    // Journal lines with their time, optionally only those starting with a prefix.
    [[nodiscard]] QList<JournalLine> journal(const QString &prefix = QString()) const
    {
        QList<JournalLine> lines;
        QFile file(env->root() + QStringLiteral("/automation.log"));
        if (!file.open(QIODevice::ReadOnly))
            return lines;
        const QList<QByteArray> raw = file.readAll().split('\n');
        for (const QByteArray &line : raw) {
            const int tab = line.indexOf('\t');
            if (tab < 0)
                continue;
            const QString text = QString::fromUtf8(line.mid(tab + 1)).section(QLatin1Char('\t'), 0, 0);
            if (!text.startsWith(prefix))
                continue;
            const QDateTime time = QDateTime::fromString(QString::fromLatin1(line.left(tab)), Qt::ISODateWithMs);
            lines << JournalLine{time.toMSecsSinceEpoch(), text};
        }
        return lines;
    }

    [[nodiscard]] QStringList importTexts() const
    {
        QStringList texts;
        const QList<JournalLine> lines = journal(QStringLiteral("Import("));
        for (const JournalLine &line : lines)
            texts << line.text;
        return texts;
    }

    [[nodiscard]] static QString intradayImport()
    {
        const Config &config = Config::instance();
        return QStringLiteral("Import(0,%1,%2)")
            .arg(config.nativePath(QStringLiteral("autobackfill.txt")),
                 config.nativePath(QStringLiteral("dataFormat.dll")));
    }

    [[nodiscard]] static QString endOfDayImport(const QString &entry)
    {
        const Config &config = Config::instance();
        return QStringLiteral("Import(0,%1,%2)")
            .arg(config.nativePath(QStringLiteral("Backfill/") + entry),
                 config.nativePath(QStringLiteral("dataFormatEod.dll")));
    }

    // Where the local vendor serves an end-of-day archive.
    [[nodiscard]] static QString archivePath(const QString &archive)
    {
        return QStringLiteral("/backfillS21/e/%1/%2/%3").arg(ServerDate, OneDayPath, archive);
    }

    [[nodiscard]] QString query(const QString &days, const QString &sentSymbol) const
    {
        return QStringLiteral("uid=%1&hash=%2&d=%3&send=%4").arg(UserId, RequestKey, days, sentSymbol);
    }

    LocalVendor vendor;
    VendorSim::Server &server = vendor.server;
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<AssembledWindow> window;
};

}
