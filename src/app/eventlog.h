#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

class QUrl;

// The program's own log: <install folder>/logs/tickvane-YYYY-MM-DD.log (local date), one UTF-8 line
// per event, "2026-12-07 10:15:02.345 WARN feed live replies failing: Connection refused", 14 days
// kept. The program opens one for its whole life; anyone, on any thread, logs through the static
// functions, which cost a buffered append: a writer thread puts the lines on disk every 250 ms.
// A folder that cannot be written is retried silently; lines beyond the buffer are counted and
// reported once writing works again. Without an open log the static functions do nothing.
class EventLog final
{
public:
    enum class Level { Debug, Info, Warning, Error };
    using Clock = std::function<QDateTime()>;

    static constexpr int DaysKept = 14;
    static constexpr int FlushIntervalMs = 250;
    static constexpr int RetryIntervalMs = 1000;
    static constexpr int DefaultCapacity = 10000;

    // Opens the log in folder (empty: the install folder's "logs") and becomes the process-wide
    // log; removes day files older than DaysKept. One log at a time.
    explicit EventLog(const QString &folder = QString());
    // Writes what is buffered and stops being the process-wide log.
    ~EventLog();
    Q_DISABLE_COPY_MOVE(EventLog)

    static void info(const QString &subsystem, const QString &text);
    static void warning(const QString &subsystem, const QString &text);
    static void error(const QString &subsystem, const QString &text);
    static void write(Level level, const QString &subsystem, const QString &text);

    // Writes every buffered line now, on the caller's thread; false while the folder cannot be written.
    static bool flush();
    // Lines dropped since writing last worked (reported in the log once it works again).
    [[nodiscard]] static int droppedLines();

    // The open log's folder, else the install folder's "logs".
    [[nodiscard]] static QString folder();
    // "tickvane-2026-12-07.log"
    [[nodiscard]] static QString fileName(const QDate &date);
    // One line without its line end; the text redacted and kept on one line.
    [[nodiscard]] static QString formatLine(const QDateTime &time, Level level, const QString &subsystem,
                                            const QString &text);
    [[nodiscard]] static QString levelName(Level level);

    // The value of every "hash=" (also "hash%3D") written as "***": the request key never reaches
    // the log. Every logged text passes through it; callers may use it for anything they show.
    [[nodiscard]] static QString redacted(const QString &text);
    // An address as text without its password and with its hash value redacted.
    [[nodiscard]] static QString redacted(const QUrl &url);

    // Tests set the local time; an empty clock is the real one.
    static void setClock(Clock clock);
    // Lines kept in memory while the folder cannot be written (DefaultCapacity unless a test sets it).
    static void setCapacity(int lines);

    // Routes Qt's own messages (qDebug .. qFatal) into the open log as subsystem "qt", then on to
    // the handler that was installed before. A GUI program on Windows shows them nowhere else.
    static void installMessageHandler();
    static void uninstallMessageHandler();

    struct Private;

private:
    std::unique_ptr<Private> d;
};
