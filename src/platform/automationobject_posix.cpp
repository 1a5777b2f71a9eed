#include "platform/automationobject.h"

#include "platform/journal.h"

#include <QFile>
#include <QRegularExpression>

#include <cstring>

namespace Platform {

namespace {

// Line count of the file an Import names, at the moment of the call; -1 when unreadable.
QString importedLineCount(const QString &methodText)
{
    static const QRegularExpression importCall(QStringLiteral("^Import\\(([^,]*),([^,]*),(.*)\\)$"));
    const QRegularExpressionMatch match = importCall.match(methodText);
    if (!match.hasMatch())
        return {};
    QFile file(match.captured(2));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QStringLiteral("-1");
    qint64 lines = 0;
    char buffer[65536];
    qint64 read = 0;
    char last = '\n';
    // At memchr's speed: a 20,000-symbol import file is a megabyte at every tick.
    while ((read = file.read(buffer, sizeof buffer)) > 0) {
        const char *at = buffer;
        const char *const end = at + read;
        while ((at = static_cast<const char *>(std::memchr(at, '\n', std::size_t(end - at))))) {
            ++lines;
            ++at;
        }
        last = end[-1];
    }
    if (last != '\n')
        ++lines;
    return QString::number(lines);
}

bool switchSet(const char *name)
{
    return QFile::exists(Journal::folder() + QLatin1Char('/') + QLatin1String(name));
}

// While <install folder>/automation.down exists, AmiBroker counts as closed: calls meet the
// transport error of a server that is gone.
bool amiBrokerDown()
{
    return switchSet("automation.down");
}

const QString Failed = QStringLiteral("failed");

class JournallingAutomationObject final : public AutomationObject
{
public:
    explicit JournallingAutomationObject(bool null)
        : m_null(null)
    {
    }

    bool isNull() const override { return m_null; }

    CallResult call(const QString &methodText) override
    {
        if (const CallResult failed = failure(); !failed.taken()) {
            Journal::append(methodText, Failed);
            return failed;
        }
        // automation.importfails: Import answers -1, as AmiBroker does for a file it cannot take.
        if (methodText.startsWith(QLatin1String("Import(")) && switchSet("automation.importfails")) {
            Journal::append(methodText, QStringLiteral("returned -1"));
            return {CallResult::Outcome::Taken, 0, -1};
        }
        Journal::append(methodText, importedLineCount(methodText));
        return {};
    }

    CallResult call(const QString &methodText, const QString &argument) override
    {
        if (const CallResult failed = failure(); !failed.taken()) {
            Journal::append(methodText, Failed);
            return failed;
        }
        Journal::append(methodText, argument);
        return {};
    }

private:
    // automation.exception: AmiBroker refuses each call (DISP_E_EXCEPTION on Windows); the object stays.
    CallResult failure() const
    {
        if (m_null || amiBrokerDown())
            return {CallResult::Outcome::Lost, ServerUnavailableError, 0};
        if (switchSet("automation.exception"))
            return {CallResult::Outcome::Refused, DispExceptionError, 0};
        return {};
    }

    bool m_null = false;
};

}

std::unique_ptr<AutomationObject> createAutomationObject(const QString &progId)
{
    const bool down = amiBrokerDown();
    Journal::append(QStringLiteral("create %1").arg(progId), down ? Failed : QString());
    return std::make_unique<JournallingAutomationObject>(down);
}

}
