#pragma once

// A feed engine wired to the local vendor on loopback, without a window, with the automation
// journal as witness: the common ground of the backfill tests.

#include "app/config.h"
#include "feed/feedsession.h"
#include "platform/automationobject.h"
#include "support/localvendor.h"
#include "support/sessionprobe.h"
#include "support/testenvironment.h"
#include "vendor/account.h"
#include "vendor/feedengine.h"
#include "vendor/vendorservice.h"
#include "vendorsim.h"

#include <QDateTime>
#include <QFile>
#include <QPair>
#include <QSignalSpy>
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
        startCycle();
    }

    ~Harness()
    {
        endCycle();
        server.stop();
        qunsetenv("QUORVIX_DB");
        qunsetenv("QUORVIX_BACKFILL_SERVER");
    }

    // A feed engine as the start-up controller assembles it; a second call is the next cycle's,
    // on the same install folder and store.
    void startCycle()
    {
        endCycle();
        engine = std::make_unique<FeedEngine>();
        engine->assemble(Platform::createAutomationObject);
        Account account;
        account.secureKey = RequestKey;
        account.backfillPath = server.hostPort() + VendorSim::BackfillPath;
        account.dataPathGet = server.hostPort() + VendorSim::LivePathGet;
        session().takeAccount(account);
        session().setUserId(UserId);
        // Short pauses between repeats of a failing request: the rule, not the wall clock, is tested.
        run().setRetryDelays(RetryDelays);
        session().setOneDayBackfillBase(Vendor::oneDayBackfillBase(server.hostPort(), ServerDate, OneDayPath));
        finished = std::make_unique<QSignalSpy>(engine->session.get(), &FeedSession::backfillFinished);
        progress = std::make_unique<QSignalSpy>(engine->session.get(), &FeedSession::backfillProgress);
    }

    void endCycle()
    {
        finished.reset();
        progress.reset();
        engine.reset();
    }

    [[nodiscard]] FeedSession &session() const { return *engine->session; }
    [[nodiscard]] BackfillRun &run() const { return inside(session()).backfillRun(); }

    void select(const Rows &rows) const
    {
        QStringList symbols;
        QStringList exchanges;
        for (const auto &row : rows) {
            symbols << row.first;
            exchanges << row.second;
        }
        session().assignSelection(symbols, exchanges);
    }

    // The last run reported "Backfill Done" and nothing runs any more.
    [[nodiscard]] bool runFinished() const
    {
        return !run().isActive() && !finished->isEmpty()
            && finished->last().at(0).toString() == QLatin1String("Backfill Done");
    }
    [[nodiscard]] QString finishedText(int field) const
    {
        return finished->isEmpty() ? QString() : finished->last().at(field).toString();
    }

    // The query texts of the intraday backfill requests, in the order they arrived.
    [[nodiscard]] QStringList backfillQueries() const
    {
        QStringList queries;
        const QList<VendorSim::Request> seen = server.requests(QStringLiteral("backfill"));
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

    // "<days>|<sent symbol>" items as the queries the vendor receives.
    [[nodiscard]] static QStringList queries(const QStringList &items)
    {
        QStringList texts;
        for (const QString &item : items)
            texts << QStringLiteral("uid=%1&hash=%2&d=%3&send=%4")
                         .arg(UserId, RequestKey, item.section(QLatin1Char('|'), 0, 0),
                              item.section(QLatin1Char('|'), 1));
        return texts;
    }

    LocalVendor vendor;
    VendorSim::Server &server = vendor.server;
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<FeedEngine> engine;
    std::unique_ptr<QSignalSpy> finished;
    std::unique_ptr<QSignalSpy> progress;
};

}
