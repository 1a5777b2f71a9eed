// Cost of one log line on the caller's thread (the live path), and of putting lines on disk (the
// writer thread's share, off the live path). Each measured block holds 1,000 lines.
// Run: build/benchmarks/bench_eventlog
#include "app/eventlog.h"

#include <QtTest>

#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int LinesPerBlock = 1000;

}

class BenchEventLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void append_data();
    void append();
    void appendAndWrite_data();
    void appendAndWrite();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<EventLog> m_log;
};

void BenchEventLog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    // Room for every line the measurement appends between two writes: nothing is dropped.
    EventLog::setCapacity(1 << 24);
    m_log = std::make_unique<EventLog>(m_dir->path() + QStringLiteral("/logs"));
}

void BenchEventLog::cleanup()
{
    m_log.reset();
    m_dir.reset();
    EventLog::setCapacity(EventLog::DefaultCapacity);
}

namespace {

void addTexts()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("short") << QStringLiteral("live replies recovered");
    QTest::newRow("address with key")
        << QStringLiteral("live replies failing: Error transferring http://127.0.0.1:8080/rt.php?uid=TEST-USER-1"
                          "&send=NIFTY-I,BANKNIFTY-I,CRUDEOIL-I&hash=0123456789abcdef - server replied: "
                          "Service Unavailable");
}

}

void BenchEventLog::append_data()
{
    addTexts();
}

void BenchEventLog::append()
{
    QFETCH(QString, text);
    const QString subsystem = QStringLiteral("feed");
    // The writer thread runs meanwhile and takes the buffer every 250 ms.
    QBENCHMARK {
        for (int i = 0; i < LinesPerBlock; ++i)
            EventLog::info(subsystem, text);
    }
    QCOMPARE(EventLog::droppedLines(), 0);
}

void BenchEventLog::appendAndWrite_data()
{
    addTexts();
}

void BenchEventLog::appendAndWrite()
{
    QFETCH(QString, text);
    const QString subsystem = QStringLiteral("feed");
    // Formatting, redaction, UTF-8 and the file append: what the writer thread spends per line.
    QBENCHMARK {
        for (int i = 0; i < LinesPerBlock; ++i)
            EventLog::info(subsystem, text);
        QVERIFY(EventLog::flush());
    }
}

QTEST_GUILESS_MAIN(BenchEventLog)

#include "bench_eventlog.moc"
